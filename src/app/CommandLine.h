// The program's command line. Parsed before the windowing system starts, so
// that --help and --version work without a display.
#pragma once

#include <string>
#include <vector>

namespace panora {

// What to connect to right after start-up, as the Connection menu would.
struct ConnectTarget {
  enum class Kind { None, Tcp, Serial, Usb, Simulate };
  Kind kind = Kind::None;
  std::string host;    // Tcp: the address as typed
  std::string port;    // Tcp: decimal 1..65535
  std::string device;  // Serial: the device path
};

struct CommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::string error;                // why the line was refused
  std::vector<std::string> qtArgs;  // the program name and Qt's own options, passed on
  ConnectTarget connect;            // --connect VALUE or --simulate
};

// Reads the value of --connect: "tcp:HOST:PORT", "serial:DEVICE" or "usb".
// False with the reason in error when the value is not one of them.
bool ParseConnectTarget(const std::string& value, ConnectTarget& target, std::string& error);

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The texts printed for --help and --version.
std::string HelpText();
std::string VersionText();

// Exit status for a refused command line.
inline constexpr int kExitUsage = 2;

}  // namespace panora
