// panora-sim: a simulated processor on a TCP port and/or a pseudo-terminal.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/engine/Server.h"

namespace {

const char kUsage[] =
    "usage: panora-sim [options]\n"
    "A simulated video wall processor: answers command frames like the real one.\n"
    "\n"
    "  --tcp HOST:PORT   listen on TCP (default 127.0.0.1:4001; port 0 picks a free one)\n"
    "  --pty PATH        open a pseudo-terminal and put a symlink to it at PATH\n"
    "                    (without --tcp only the pty is served)\n"
    "  --log FILE        append a line per frame received and sent\n"
    "  --log-max SIZE    at SIZE bytes (suffix k or M for thousands or millions;\n"
    "                    default 10M; 0: no cap) the log moves to FILE.1, replacing\n"
    "                    an older one, and a new log starts\n"
    "  --state FILE      write the processor's state as JSON after each change\n"
    "  --version A.B.C   firmware version to report (default 1.0.0)\n"
    "  --refuse          refuse the connect handshake\n"
    "faults:\n"
    "  --silent          never answer\n"
    "  --delay MS        wait MS milliseconds before each answer\n"
    "  --garbage         answer with random bytes\n"
    "  --split           send each answer in two pieces, 20 ms apart\n"
    "  --drop-after N    close the connection after N frames\n"
    "  --flood BPS       after a connection's first answer, repeat it at BPS bytes\n"
    "                    a second for 3 s (11520: a 115200 baud line kept full)\n"
    "  --help            this text\n"
    "\n"
    "Serves up to 8 TCP clients at once, all on one processor state; part of a\n"
    "frame followed by 200 ms of silence is dropped (and logged).\n"
    "Prints \"listening on tcp HOST:PORT\" and/or \"listening on pty PATH -> DEVICE\".\n"
    "SIGTERM or SIGINT ends it.\n";

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "panora-sim: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

// Bytes, with an optional k (thousands) or M (millions).
bool ParseSize(const char* s, std::uint64_t& out) {
  if (!s || !*s || *s < '0' || *s > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(s, &end, 10);
  if (errno != 0) return false;
  std::uint64_t scale = 1;
  if (*end == 'k' || *end == 'K') {
    scale = 1000;
    ++end;
  } else if (*end == 'M') {
    scale = 1000000;
    ++end;
  }
  if (*end != '\0' || v > (1ull << 50) / scale) return false;
  out = v * scale;
  return true;
}

bool ParseInt(const char* s, long lo, long hi, long& out) {
  if (!s || !*s) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtol(s, &end, 10);
  return errno == 0 && *end == '\0' && out >= lo && out <= hi;
}

// HOST:PORT, HOST may be [v6] in brackets.
bool ParseHostPort(const std::string& s, std::string& host, int& port) {
  const auto colon = s.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = s.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  long p = 0;
  if (!ParseInt(s.c_str() + colon + 1, 0, 65535, p)) return false;
  port = static_cast<int>(p);
  return true;
}

bool ParseVersion(const char* s, panora::sim::EngineOptions& e) {
  unsigned a = 0, b = 0, c = 0;
  char tail = 0;
  if (std::sscanf(s, "%u.%u.%u%c", &a, &b, &c, &tail) != 3 || a > 255 || b > 255 || c > 255) return false;
  e.versionMajor = static_cast<std::uint8_t>(a);
  e.versionMinor = static_cast<std::uint8_t>(b);
  e.versionBuild = static_cast<std::uint8_t>(c);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  panora::sim::ServerOptions opt;
  bool tcpGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto needValue = [&]() {
      if (!value) return false;
      ++i;
      return true;
    };
    long n = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--tcp") {
      if (!needValue() || !ParseHostPort(value, opt.tcpHost, opt.tcpPort))
        return Usage("--tcp needs HOST:PORT");
      tcpGiven = true;
    } else if (a == "--pty") {
      if (!needValue() || !*value) return Usage("--pty needs a path");
      opt.ptyPath = value;
    } else if (a == "--log") {
      if (!needValue() || !*value) return Usage("--log needs a file");
      opt.logPath = value;
    } else if (a == "--log-max") {
      if (!needValue() || !ParseSize(value, opt.logMaxBytes)) return Usage("--log-max needs a size in bytes");
    } else if (a == "--state") {
      if (!needValue() || !*value) return Usage("--state needs a file");
      opt.statePath = value;
    } else if (a == "--version") {
      if (!needValue() || !ParseVersion(value, opt.engine))
        return Usage("--version needs A.B.C, each 0..255");
    } else if (a == "--refuse") {
      opt.engine.refuse = true;
    } else if (a == "--silent") {
      opt.silent = true;
    } else if (a == "--delay") {
      if (!needValue() || !ParseInt(value, 0, 3600000, n)) return Usage("--delay needs milliseconds");
      opt.delayMs = static_cast<int>(n);
    } else if (a == "--garbage") {
      opt.garbage = true;
    } else if (a == "--split") {
      opt.split = true;
    } else if (a == "--drop-after") {
      if (!needValue() || !ParseInt(value, 1, 1000000000, n))
        return Usage("--drop-after needs a count of 1 or more");
      opt.dropAfter = static_cast<int>(n);
    } else if (a == "--flood") {
      if (!needValue() || !ParseInt(value, 1, 100000000, n)) return Usage("--flood needs bytes a second");
      opt.floodBps = static_cast<int>(n);
    } else {
      return Usage(("unknown argument " + a).c_str());
    }
  }
  opt.useTcp = tcpGiven || opt.ptyPath.empty();

  // The serving threads inherit this mask; only sigwait below sees the signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  panora::sim::Server server(opt);
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "panora-sim: %s\n", error.c_str());
    return 1;
  }
  if (opt.useTcp) std::printf("listening on tcp %s:%d\n", opt.tcpHost.c_str(), server.TcpPort());
  if (!opt.ptyPath.empty()) {
    std::printf("listening on pty %s -> %s\n", opt.ptyPath.c_str(), server.PtySlaveName().c_str());
  }
  std::fflush(stdout);

  int sig = 0;
  while (sigwait(&stopSignals, &sig) != 0) {
  }
  server.Stop();
  return 0;
}
