// The program's command line. Parsed before the windowing system starts, so
// that --help and --version work without a display.
#pragma once

#include <string>
#include <vector>

namespace panora {

struct CommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::string error;                // why the line was refused
  std::vector<std::string> qtArgs;  // the program name and Qt's own options, passed on
  // Options of the device link go here when it adds them (--connect, --simulate).
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The texts printed for --help and --version.
std::string HelpText();
std::string VersionText();

// Exit status for a refused command line.
inline constexpr int kExitUsage = 2;

}  // namespace panora
