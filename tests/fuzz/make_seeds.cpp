// Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/NAME) from
// the program's own frames, the simulator's answers to them and the files the
// program writes. Run from the source root after changing the protocol or a
// file format:
//   clang++ -std=c++20 -Isrc -Itools -Itests tests/fuzz/make_seeds.cpp \
//     build/fuzz/libpanora_fuzz.a -fsanitize=address,undefined -o build/fuzz/make_seeds &&
//   build/fuzz/make_seeds
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ctl/profile_cmd.h"
#include "link/Catalogue.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "model/ModeTable.h"
#include "model/Profile.h"
#include "sim/engine/Engine.h"

using namespace panora;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kRoot = "tests/fuzz/corpus/";

void Put(const std::string& name, const Bytes& b) {
  std::ofstream(kRoot + name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}
void Put(const std::string& name, const std::string& s) {
  Put(name, Bytes(s.begin(), s.end()));
}

Bytes Frame(std::uint8_t command, std::uint8_t sub, const Bytes& payload) {
  Bytes f(payload.size() + 12);
  BuildFrame(f.data(), payload.data(), static_cast<int>(payload.size()), command, sub);
  return f;
}

// A payload with small values that most handlers accept.
Bytes Payload(int n, int seed) {
  Bytes p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) p[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i * 7 + seed) % 4);
  return p;
}

void Append(Bytes& to, const Bytes& b) {
  to.insert(to.end(), b.begin(), b.end());
}

}  // namespace

int main() {
  // Every command of the catalogue once, as the program sends it.
  Bytes stream, structured{1};
  for (const CommandInfo& c : CommandCatalogue()) {
    const Bytes payload = Payload(c.payloadLength, c.command);
    Append(stream, Frame(c.command, c.subFirst, payload));
    structured.push_back(c.command);
    structured.push_back(c.subFirst);
    structured.push_back(static_cast<std::uint8_t>(payload.size()));
    Append(structured, payload);
  }
  Bytes decoderSeed{7};  // pieces of 8 bytes
  Append(decoderSeed, stream);
  Put("decoder/catalogue", decoderSeed);
  Bytes noisy{0};  // byte by byte, with noise between the frames
  Append(noisy, Bytes{0x00, 0x7D, 0x7D, 0x3A, 0x00});
  Append(noisy, Frame(cmd::kHandshake, 0, {}));
  Append(noisy, Bytes{0x7D, 0x3A, 0x00, 0x05, 0x31});
  Append(noisy, Frame(cmd::kVersion, 0, {}));
  Put("decoder/noisy", noisy);
  Bytes simSeed{0};
  Append(simSeed, stream);
  Put("sim/catalogue-stream", simSeed);
  Put("sim/catalogue-frames", structured);

  // Answers of the simulator to the four commands whose answer the program
  // reads, each noted first, whole and then split in two blocks.
  sim::Engine engine;
  Bytes replies;
  for (std::uint8_t c : {cmd::kHandshake, cmd::kVersion, cmd::kQueryPosition, cmd::kBezel}) {
    const CommandInfo* info = nullptr;
    for (const CommandInfo& row : CommandCatalogue())
      if (row.command == c) info = &row;
    const std::uint8_t sub = info ? info->subFirst : 0;
    const Bytes answer = engine.Handle(Frame(c, sub, Payload(info ? info->payloadLength : 0, 1)));
    Bytes one{0xC0, c, sub, static_cast<std::uint8_t>(answer.size())};
    Append(one, answer);
    const std::size_t half = answer.size() / 2;
    one.push_back(static_cast<std::uint8_t>(half));
    one.insert(one.end(), answer.begin(), answer.begin() + static_cast<long>(half));
    one.push_back(static_cast<std::uint8_t>(answer.size() - half));
    one.insert(one.end(), answer.begin() + static_cast<long>(half), answer.end());
    Put("reply/answer-" + std::to_string(c), one);
    Append(replies, one);
  }
  Put("reply/all", replies);

  // The profile a fresh program saves, and one with names and buttons set.
  CProfile p;
  p.ResetAllSlots();
  p.ResetWorkingForMode(kStartupMode);
  Bytes file;
  EncodeProfile(p, file);
  Put("profile/default.cfg", file);
  p.m_nToolMode = {8, 9, 10, 11, 12, 13, 14, 15};
  p.m_strModeName[8] = "Wall left";
  p.m_strModeName[9] = "Caf\xc3\xa9";  // é: one Windows-1252 byte
  EncodeProfile(p, file);
  Put("profile/named.cfg", file);
  // Its JSON, without indentation to keep the seed small.
  Put("ctl_json/named.json", nlohmann::ordered_json::parse(ProfileToJsonText(p)).dump());

  // The remote control's connections: byte 0 the server (1: token, 2: an
  // events WebSocket already), byte 1 the piece size, then what the client sends.
  const std::string host = "Host: 127.0.0.1:8080\r\n";
  const std::string auth = "Authorization: Bearer fuzz-token-0123\r\n";
  auto post = [&](const std::string& path, const std::string& body, const std::string& extra) {
    return "POST " + path + " HTTP/1.1\r\n" + host + extra + "Content-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  auto routes = [&](const std::string& extra) {
    return "GET /api/v1/state HTTP/1.1\r\n" + host + extra + "\r\n" + post("/api/v1/mode", R"({"mode":8})", extra) +
           post("/api/v1/windows/2", R"({"x":0,"y":0,"w":960,"h":540})", extra) +
           post("/api/v1/inputs", R"({"CH1":2,"CH4":1})", extra) +
           post("/api/v1/layers", R"({"output":"all","layers":{"CH1":4,"CH2":3,"CH3":2,"CH4":1}})", extra) +
           post("/api/v1/display", R"({"Out1":["CH1","CH2"],"Out2":[]})", extra) +
           post("/api/v1/resolution", R"({"all":3})", extra) + post("/api/v1/setup/send", R"({"userModes":true})", extra) +
           "GET / HTTP/1.0\r\n" + host + "Connection: keep-alive\r\n\r\n";
  };
  Put("http/routes", std::string("\x00\x3c", 2) + routes(""));
  Put("http/token", std::string("\x01\x06", 2) + routes(auth + "Origin: http://localhost:8080\r\n"));
  Put("http/refused", std::string("\x01\x00", 2) + "GET /api/v1/state HTTP/1.1\r\nHost: evil.example:8080\r\n" + auth +
                          "\r\n" + post("/api/v1/mode", R"({"mode":99,"mode":1})", auth) +
                          "POST /api/v1/mode HTTP/1.1\r\n" + host + auth + "Content-Type: text/plain\r\nContent-Length: 2\r\n\r\n{}");
  Put("http/framing", std::string("\x00\x10", 2) + "POST /api/v1/mode HTTP/1.1\r\n" + host +
                          "Content-Type: application/json\r\nExpect: 100-continue\r\nContent-Length: 10\r\n\r\n{\"mode\":1}"
                          "POST /api/v1/mode HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  std::string frames = "GET /api/v1/events HTTP/1.1\r\n" + host +
                       "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: panora.v1, bearer.fuzz-token-0123\r\n\r\n";
  Put("http/upgrade", std::string("\x01\x05", 2) + frames);
  // Masked client frames: a ping, a fragmented text message, a close.
  std::string ws;
  for (const std::string& f : {std::string("\x89\x82\x01\x02\x03\x04", 6) + "\x69\x6b",
                               std::string("\x01\x81\x00\x00\x00\x00a", 7), std::string("\x80\x81\x00\x00\x00\x00b", 7),
                               std::string("\x88\x82\x00\x00\x00\x00\x03\xe8", 8)})
    ws += f;
  Put("http/frames", std::string("\x03\x02", 2) + ws);

  Put("settings/VideoLibconfig.ini",
      "[IP address]\r\nIP0=192\r\nIP1=168\r\nIP2=0\r\nIP3=178\r\n[IP port]\r\nport=4001\r\n");
  Put("settings/commented.ini",
      "; settings\n[ip ADDRESS]\nip0 = 10 ; lab\nIP3=\"7\"\n\n[IP port]\nport = \"5000\"\n");
  return 0;
}
