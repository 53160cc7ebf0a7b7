#include "app/CommandLine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

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

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The network link takes dotted IPv4 text only; a host name is looked up
// here, once, so that the operator may write one.
bool ResolveHost(const std::string& host, std::string& dotted) {
  in_addr a{};
  if (inet_pton(AF_INET, host.c_str(), &a) == 1) {
    dotted = host;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return false;
  char text[INET_ADDRSTRLEN] = {};
  const auto* sin = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
  const bool ok = inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr;
  freeaddrinfo(res);
  if (ok) dotted = text;
  return ok;
}

}  // namespace

bool ParseConnectTarget(const std::string& value, ConnectTarget& target, std::string& error) {
  target = ConnectTarget{};
  if (value == "usb") {
    target.kind = ConnectTarget::Kind::Usb;
    return true;
  }
  if (value.rfind("serial:", 0) == 0) {
    target.device = value.substr(7);
    if (target.device.empty()) {
      error = "--connect serial: needs a device, for example serial:/dev/ttyUSB0";
      return false;
    }
    target.kind = ConnectTarget::Kind::Serial;
    return true;
  }
  if (value.rfind("tcp:", 0) == 0) {
    const std::string rest = value.substr(4);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) {
      error = "--connect tcp: needs HOST:PORT, for example tcp:192.168.0.178:4001";
      return false;
    }
    const std::string host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (!AllDigits(port) || port.size() > 5 || std::stol(port) < 1 || std::stol(port) > 65535) {
      error = "--connect tcp: the port must be a number from 1 to 65535, not '" + port + "'";
      return false;
    }
    if (host.find_first_not_of("0123456789.") == std::string::npos) {
      in_addr a{};
      if (inet_pton(AF_INET, host.c_str(), &a) != 1) {
        error = "--connect tcp: '" + host + "' is not an IPv4 address";
        return false;
      }
    }
    if (!ResolveHost(host, target.host)) {
      error = "--connect tcp: unknown host '" + host + "' (give an IPv4 address or a host name)";
      return false;
    }
    target.port = std::to_string(std::stol(port));
    target.kind = ConnectTarget::Kind::Tcp;
    return true;
  }
  error = "--connect takes tcp:HOST:PORT, serial:DEVICE or usb, not '" + value + "'";
  return false;
}

bool IsLoopbackText(const std::string& address) {
  in_addr a4{};
  if (inet_pton(AF_INET, address.c_str(), &a4) == 1) return (ntohl(a4.s_addr) >> 24) == 127;
  in6_addr a6{};
  return inet_pton(AF_INET6, address.c_str(), &a6) == 1 && IN6_IS_ADDR_LOOPBACK(&a6);
}

bool ParseControlTarget(const std::string& value, ControlTarget& target, std::string& error) {
  target = ControlTarget{};
  std::string address = "127.0.0.1", port = value;
  if (!value.empty() && value[0] == '[') {
    const std::size_t close = value.find("]:");
    if (close == std::string::npos) {
      error = "--control takes [IPv6]:PORT with brackets and a port, not '" + value + "'";
      return false;
    }
    address = value.substr(1, close - 1);
    port = value.substr(close + 2);
  } else if (const std::size_t colon = value.rfind(':'); colon != std::string::npos) {
    address = value.substr(0, colon);
    port = value.substr(colon + 1);
  }
  if (!AllDigits(port) || port.size() > 5 || std::stol(port) > 65535) {
    error = "--control: the port must be a number from 0 to 65535, not '" + port + "'";
    return false;
  }
  in_addr a4{};
  in6_addr a6{};
  if (inet_pton(AF_INET, address.c_str(), &a4) != 1 && inet_pton(AF_INET6, address.c_str(), &a6) != 1) {
    error = "--control: '" + address + "' is not an IP address (give one such as 127.0.0.1)";
    return false;
  }
  target.on = true;
  target.address = address;
  target.port = static_cast<int>(std::stol(port));
  return true;
}

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
    if (arg == "--connect" || arg.rfind("--connect=", 0) == 0 || arg == "--simulate") {
      if (cl.connect.kind != ConnectTarget::Kind::None) {
        cl.action = CommandLine::Action::Refuse;
        cl.error = "only one of --connect and --simulate may be given, once";
        return cl;
      }
      if (arg == "--simulate") {
        cl.connect.kind = ConnectTarget::Kind::Simulate;
        continue;
      }
      std::string value;
      if (arg == "--connect") {
        if (i + 1 >= argc) {
          cl.action = CommandLine::Action::Refuse;
          cl.error = "option --connect needs a value (tcp:HOST:PORT, serial:DEVICE or usb)";
          return cl;
        }
        value = argv[++i];
      } else {
        value = arg.substr(10);
      }
      if (!ParseConnectTarget(value, cl.connect, cl.error)) {
        cl.action = CommandLine::Action::Refuse;
        return cl;
      }
      continue;
    }
    if (arg == "--control" || arg.rfind("--control=", 0) == 0) {
      if (arg == "--control" && i + 1 >= argc) {
        cl.action = CommandLine::Action::Refuse;
        cl.error = "option --control needs a value (PORT or ADDRESS:PORT)";
        return cl;
      }
      const std::string value = arg == "--control" ? std::string(argv[++i]) : arg.substr(10);
      if (!ParseControlTarget(value, cl.control, cl.error)) {
        cl.action = CommandLine::Action::Refuse;
        return cl;
      }
      continue;
    }
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
         "      --connect tcp:HOST:PORT\n"
         "                 connect over TCP/IP right after start-up, as Connection >\n"
         "                 TCP/IP does with that address\n"
         "      --connect serial:DEVICE\n"
         "                 open the serial port DEVICE (for example /dev/ttyUSB0) and\n"
         "                 send the handshake, as Connection > RS232 does\n"
         "      --connect usb\n"
         "                 try the USB serial ports in order, as Connection > USB does\n"
         "      --simulate\n"
         "                 start a simulated processor inside the program and connect\n"
         "                 to it over TCP/IP (no hardware needed)\n"
         "      --control [ADDRESS:]PORT\n"
         "                 serve the remote control (HTTP and WebSocket) on ADDRESS\n"
         "                 (127.0.0.1 unless given; port 0 picks a free one) and print\n"
         "                 its address; any address but a loopback one needs a token in\n"
         "                 PANORA_CONTROL_TOKEN or the settings file\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "A --connect or --control value that cannot be used ends the program with\n"
         "status 2, as does --control on another address than loopback without a token.\n"
         "Qt's -platform, -display and -style options are passed on to Qt.\n"
         "The set-up is kept in VideoLib/default.cfg; PANORA_HOME chooses the folder\n"
         "that holds VideoLib.\n";
}

std::string VersionText() {
  return std::string("Panora ") + PANORA_VERSION + "\n";
}

}  // namespace panora
