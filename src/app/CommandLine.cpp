#include "app/CommandLine.h"

#include <cstring>

namespace panora {
namespace {

// Qt's own options that take a value, passed on to the windowing system.
const char* const kQtValueOptions[] = {"-platform",        "-display",      "-style",       "-stylesheet",
                                       "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-platformtheme"};

bool IsQtValueOption(const char* arg) {
  for (const char* o : kQtValueOptions)
    if (std::strcmp(arg, o) == 0) return true;
  return false;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine cl;
  cl.qtArgs.emplace_back(argc > 0 && argv[0] != nullptr ? argv[0] : "panora");
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      cl.action = CommandLine::Action::Help;
      return cl;
    }
    if (arg == "--version") {
      cl.action = CommandLine::Action::Version;
      return cl;
    }
    // The device link's options (--connect, --simulate) are recognised here.
    if (IsQtValueOption(arg.c_str())) {
      if (i + 1 >= argc) {
        cl.action = CommandLine::Action::Refuse;
        cl.error = "option " + arg + " needs a value";
        return cl;
      }
      cl.qtArgs.push_back(arg);
      cl.qtArgs.emplace_back(argv[++i]);
      continue;
    }
    cl.action = CommandLine::Action::Refuse;
    cl.error = (!arg.empty() && arg[0] == '-') ? "unknown option " + arg : "unexpected argument " + arg;
    return cl;
  }
  return cl;
}

std::string HelpText() {
  return "Usage: panora [OPTION]...\n"
         "Controls a video wall processor over RS232, a USB serial port or TCP/IP.\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "Qt's -platform, -display and -style options are passed on to Qt.\n"
         "The set-up is kept in VideoLib/default.cfg; PANORA_HOME chooses the folder\n"
         "that holds VideoLib.\n";
}

std::string VersionText() {
  return std::string("Panora ") + PANORA_VERSION + "\n";
}

}  // namespace panora
