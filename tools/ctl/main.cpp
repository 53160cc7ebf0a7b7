// panora-ctl: builds frames and talks to a processor (or panora-sim) from
// scripts, and drives the running program through its remote control.
// Exit status: 0 done, 1 no connection (push: the link failed before every
// frame went out), 2 bad arguments or a profile that does not read, 3 no
// answer (or one the program would not take; push: a frame got none), 4
// handshake refused, 5 the program's remote control refused the request.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ctl/app_cmd.h"
#include "ctl/cli.h"
#include "ctl/link_io.h"
#include "ctl/profile_cmd.h"
#include "ctl/push_cmd.h"
#include "link/Catalogue.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

namespace {

using panora::ctl::Hex;

using namespace panora::ctl::exit_status;
using panora::ctl::ParseNumber;

const char kUsage[] =
    "usage: panora-ctl frame CMD SUB [BYTE...]     print a command frame in hex\n"
    "       panora-ctl recall-frame MODE           print the recall frame of mode 0..33\n"
    "       panora-ctl LINK [--timeout MS] send CMD SUB [BYTE...]\n"
    "                                              send a frame, print the answer frame\n"
    "       panora-ctl LINK handshake              \"Connection Success!\" or \"Connection error!\"\n"
    "       panora-ctl LINK version                \"Version:a.b.c\"\n"
    "       panora-ctl LINK recall MODE            recall mode 0..33, print the answer frame\n"
    "       panora-ctl LINK push FILE [--mode N] [--with-user-modes]\n"
    "                                              write the set-up of profile FILE\n"
    "       panora-ctl profile ...                 profile files (panora-ctl profile --help)\n"
    "       panora-ctl --app ADDR state            the running program's state as JSON\n"
    "       panora-ctl --app ADDR mode MODE        recall mode 0..33 in the running program\n"
    "       panora-ctl --app ADDR window CH X Y W H\n"
    "                                              place window CH (1..4), in output pixels\n"
    "       panora-ctl --app ADDR events           print the program's events, one JSON line\n"
    "                                              each, until interrupted\n"
    "       panora-ctl --app ADDR get PATH         GET any route of the API\n"
    "       panora-ctl --app ADDR post PATH JSON   POST a JSON body to any route of the API,\n"
    "                                              e.g. post /api/v1/inputs '{\"CH2\":3}'\n"
    "LINK is --tcp HOST:PORT or --serial DEVICE (115200 8N1).\n"
    "Numbers are decimal or 0x-hex; bytes 0..255, at most 1012 payload bytes.\n"
    "An answer must come within 1000 ms (--timeout changes that). An answer the\n"
    "program would take although it is no clean frame (wrong checksum, no \"END\",\n"
    "its length field read the program's way) is taken with a warning on stderr.\n"
    "push sends what Panora's Connection > Send Set-up sends for FILE's working\n"
    "record and windows shown in mode N (0..33, default 17): the recall of the\n"
    "mode, resolution, channel inputs, the layers of each output, output display,\n"
    "border, the four windows. --with-user-modes first makes each stored user\n"
    "mode as \"Save mode\" makes it. Each frame waits for its answer; stderr gets\n"
    "a line per frame (\"push: 3/13 channel inputs: answered\") and at the end\n"
    "\"push: A of N frames answered\".\n"
    "ADDR is HOST:PORT where the program's remote control listens (panora --control),\n"
    "or just PORT for 127.0.0.1. When the program asks for a token, it is taken from\n"
    "the environment variable PANORA_CONTROL_TOKEN (never from the command line).\n"
    "The program's answers must come within 10 s (--timeout changes that); its answer\n"
    "is printed on stdout, a refusal's text on stderr.\n"
    "Exit status: 0 done (push: every frame answered), 1 no connection (push: the\n"
    "link failed before every frame went out; events: the stream ended), 2 bad\n"
    "arguments or a FILE that does not read (nothing is sent), 3 no answer or one\n"
    "the program would not take (push: every frame went out, some got no answer),\n"
    "4 handshake refused, 5 the program refused the request (HTTP 4xx or 5xx).\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "panora-ctl: %s\n%s", why.c_str(), kUsage);
  return kExitUsage;
}

// CMD SUB [BYTE...] into a built frame.
bool ParseFrameArgs(const std::vector<std::string>& args, std::vector<std::uint8_t>& frame,
                    std::string& why) {
  if (args.size() < 2) {
    why = "a frame needs CMD and SUB";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  for (const auto& a : args) {
    long v = 0;
    if (!ParseNumber(a.c_str(), 0, 255, v)) {
      why = "not a byte (0..255, decimal or 0x-hex): " + a;
      return false;
    }
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  const int n = static_cast<int>(bytes.size()) - 2;
  if (n > panora::kMaxPayload) {
    why = "at most " + std::to_string(panora::kMaxPayload) + " payload bytes";
    return false;
  }
  frame.assign(static_cast<std::size_t>(n + panora::kFrameOverhead), 0);
  panora::BuildFrame(frame.data(), bytes.data() + 2, n, bytes[0], bytes[1]);
  return true;
}

bool ParseRecall(const std::vector<std::string>& args, std::vector<std::uint8_t>& frame, std::string& why) {
  long mode = 0;
  if (args.size() != 1 || !ParseNumber(args[0].c_str(), 0, panora::kModeCount - 1, mode)) {
    why = "MODE must be one number 0..33";
    return false;
  }
  frame.assign(panora::kFrameOverhead, 0);
  panora::BuildModeRecall(static_cast<int>(mode), frame.data());
  return true;
}

struct LinkSpec {
  std::string tcp;     // HOST:PORT
  std::string serial;  // device path
  std::string app;     // the running program's remote control
  int timeoutMs = 1000;
  bool timeoutGiven = false;
};

// Opens the link; returns null with a message on stderr.
std::unique_ptr<panora::ctl::Link> OpenLink(const LinkSpec& spec) {
  std::string error;
  if (!spec.serial.empty()) {
    auto link = panora::ctl::Link::OpenSerial(spec.serial, error);
    if (!link) std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
    return link;
  }
  const auto colon = spec.tcp.rfind(':');
  std::string host = spec.tcp.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  long port = 0;
  ParseNumber(spec.tcp.c_str() + colon + 1, 1, 65535, port);  // checked when parsing the options
  const int fd = panora::ctl::ConnectTcp(host, static_cast<int>(port), 3000, error);
  if (fd < 0) {
    std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
    return nullptr;
  }
  return std::make_unique<panora::ctl::Link>(fd, true);
}

// Sends a frame and waits for the answer frame. Returns an exit status; on
// kExitOk the answer is in answer.
int Exchange(const LinkSpec& spec, const std::vector<std::uint8_t>& frame,
             std::vector<std::uint8_t>& answer) {
  // The program reads an answer as the answer to the command it noted last.
  const int noted = frame.size() > 4 ? frame[4] : 0;
  auto link = OpenLink(spec);
  if (!link) return kExitConnect;
  std::string error;
  if (!link->Send(frame.data(), frame.size(), error)) {
    std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
    return kExitConnect;
  }
  std::string skipped;
  std::vector<std::string> faults;
  const auto wait = link->WaitAnswer(spec.timeoutMs, noted, answer, faults, skipped, error);
  if (wait == panora::ctl::Link::Wait::Frame) {
    for (const auto& f : faults)
      std::fprintf(stderr, "panora-ctl: warning: %s\n", panora::ctl::TakenAnswerText(f).c_str());
    return kExitOk;
  }
  std::fprintf(stderr, "panora-ctl: %s\n",
               panora::ctl::NoAnswerText(wait, spec.timeoutMs, error, skipped).c_str());
  return kExitNoAnswer;
}

// `push FILE [--mode N] [--with-user-modes]`.
int PushCommand(const LinkSpec& spec, const std::vector<std::string>& args) {
  std::string file;
  long mode = panora::kStartupMode;
  bool withUserModes = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "--mode") {
      if (k + 1 >= args.size() || !ParseNumber(args[k + 1].c_str(), 0, panora::kModeCount - 1, mode))
        return Usage("--mode needs a mode 0..33");
      ++k;
    } else if (args[k] == "--with-user-modes") {
      withUserModes = true;
    } else if (args[k].size() > 1 && args[k][0] == '-') {
      return Usage("unknown push option " + args[k]);
    } else if (file.empty()) {
      file = args[k];
    } else {
      return Usage("push takes one FILE");
    }
  }
  if (file.empty()) return Usage("push needs a profile FILE");
  if (spec.tcp.empty() && spec.serial.empty()) return Usage("push needs --tcp HOST:PORT or --serial DEVICE");
  // The file is read whole before anything goes out.
  std::vector<panora::FrameBytes> frames;
  std::string why;
  if (!panora::ctl::PushFrames(file, static_cast<int>(mode), withUserModes, frames, why)) {
    std::fprintf(stderr, "panora-ctl: %s; nothing was sent\n", why.c_str());
    return kExitUsage;
  }
  auto link = OpenLink(spec);
  if (!link) return kExitConnect;
  switch (panora::ctl::Push(*link, frames, spec.timeoutMs)) {
    case panora::ctl::PushResult::AllAnswered: return kExitOk;
    case panora::ctl::PushResult::SomeUnanswered: return kExitNoAnswer;
    default: return kExitConnect;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "profile") == 0) return RunProfileCommand(argc - 2, argv + 2);

  LinkSpec spec;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (i + 1 >= argc) return Usage(opt + " needs a value");
    const char* value = argv[++i];
    if (opt == "--tcp") {
      const char* colon = std::strrchr(value, ':');
      long port = 0;
      if (!colon || colon == value || !ParseNumber(colon + 1, 1, 65535, port)) {
        return Usage("--tcp needs HOST:PORT");
      }
      spec.tcp = value;
    } else if (opt == "--serial") {
      if (!*value) return Usage("--serial needs a device");
      spec.serial = value;
    } else if (opt == "--timeout") {
      long ms = 0;
      if (!ParseNumber(value, 1, 600000, ms)) return Usage("--timeout needs milliseconds");
      spec.timeoutMs = static_cast<int>(ms);
      spec.timeoutGiven = true;
    } else if (opt == "--app") {
      if (!*value) return Usage("--app needs HOST:PORT or PORT");
      spec.app = value;
    } else {
      return Usage("unknown option " + opt);
    }
  }
  if (!spec.tcp.empty() + !spec.serial.empty() + !spec.app.empty() > 1)
    return Usage("give one of --tcp, --serial and --app");
  if (i >= argc) return Usage("no command");
  const std::string command = argv[i];
  const std::vector<std::string> args(argv + i + 1, argv + argc);

  if (panora::ctl::IsAppCommand(command) != !spec.app.empty()) {
    return Usage(spec.app.empty() ? command + " needs --app HOST:PORT"
                                  : command + " does not go with --app (that is for a processor)");
  }
  if (!spec.app.empty()) {
    std::string why;
    const int rc =
        panora::ctl::RunAppCommand(spec.app, spec.timeoutGiven ? spec.timeoutMs : 10000, command, args, why);
    return rc == kExitUsage ? Usage(why) : rc;
  }

  std::vector<std::uint8_t> frame;
  std::string why;
  if (command == "frame" || command == "recall-frame") {
    if (!(command == "frame" ? ParseFrameArgs(args, frame, why) : ParseRecall(args, frame, why)))
      return Usage(why);
    std::printf("%s\n", Hex(frame).c_str());
    return kExitOk;
  }

  if (command == "push") return PushCommand(spec, args);

  using namespace panora::cmd;
  if (command == "send") {
    if (!ParseFrameArgs(args, frame, why)) return Usage(why);
  } else if (command == "recall") {
    if (!ParseRecall(args, frame, why)) return Usage(why);
  } else if (command == "handshake" || command == "version") {
    if (!args.empty()) return Usage(command + " takes no arguments");
    frame.assign(panora::kFrameOverhead, 0);
    const bool hs = command == "handshake";
    panora::BuildFrame(frame.data(), nullptr, 0, hs ? kHandshake : kVersion,
                       hs ? kSubHandshake : kSubVersion);
  } else {
    return Usage("unknown command " + command);
  }
  if (spec.tcp.empty() && spec.serial.empty())
    return Usage(command + " needs --tcp HOST:PORT or --serial DEVICE");

  if (command == "send" && frame.size() >= 12) {
    const auto* row = panora::FindCommand(frame[4], frame[5]);
    const int n = static_cast<int>(frame.size()) - panora::kFrameOverhead;
    if (!row) {
      std::fprintf(stderr, "panora-ctl: note: command 0x%02X sub-code 0x%02X is not in the catalogue\n",
                   frame[4], frame[5]);
    } else if (row->payloadLength != n) {
      std::fprintf(stderr,
                   "panora-ctl: note: command 0x%02X sub-code 0x%02X expects %d payload bytes, not %d\n",
                   frame[4], frame[5], row->payloadLength, n);
    }
  }

  std::vector<std::uint8_t> answer;
  if (const int rc = Exchange(spec, frame, answer); rc != kExitOk) return rc;

  if (command == "handshake" || command == "version") {
    // Read exactly as the program reads it, so the verdict is the program's.
    const auto reply = panora::ParseReply(answer.data(), static_cast<int>(answer.size()), frame[4]);
    if (!reply.accepted) {
      std::fprintf(stderr,
                   "panora-ctl: the program would not take this answer (length field below 5 or "
                   "too few bytes): %s\n",
                   Hex(answer).c_str());
      return kExitNoAnswer;
    }
    if (command == "version") {
      std::printf("%s\n", reply.VersionText().c_str());
      return kExitOk;
    }
    std::printf("%s\n", reply.handshakeOk ? "Connection Success!" : "Connection error!");
    return reply.handshakeOk ? kExitOk : kExitRefused;
  }
  std::printf("%s\n", Hex(answer).c_str());
  return kExitOk;
}
