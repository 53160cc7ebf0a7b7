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

// Where the remote control listens when --control asks for it.
struct ControlTarget {
  bool on = false;
  std::string address = "127.0.0.1";  // IPv4 or IPv6 text
  int port = 0;                        // 0: a free port of the system's choice
};

// Whether an address given as text is a loopback one (127.0.0.0/8, ::1).
bool IsLoopbackText(const std::string& address);

// Reads the value of --control: "PORT", "ADDRESS:PORT" or "[IPv6]:PORT".
bool ParseControlTarget(const std::string& value, ControlTarget& target, std::string& error);

struct CommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::string error;                // why the line was refused
  std::vector<std::string> qtArgs;  // the program name and Qt's own options, passed on
  ConnectTarget connect;            // --connect VALUE or --simulate
  ControlTarget control;            // --control VALUE
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
