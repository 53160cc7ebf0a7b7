#include "sim/engine/Engine.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "link/Catalogue.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

namespace panora::sim {

namespace {

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
  return buf;
}

std::uint16_t Be16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// Both picture commands repeat their value three times; a processor would not
// trust a value whose copies disagree.
bool ThreeCopiesAgree(const std::uint8_t* p, int part) {
  for (int i = 0; i < part; ++i) {
    if (p[i] != p[part + i] || p[i] != p[2 * part + i]) return false;
  }
  return true;
}

}  // namespace

State FactoryState() {
  State s;
  s.mode = 8;
  for (int c = 0; c < kChannels; ++c) {
    s.setUp.geometry[c] = {static_cast<std::uint16_t>(c % 2 * 960), static_cast<std::uint16_t>(c / 2 * 540),
                           960, 540};
    s.setUp.input[c] = static_cast<std::uint8_t>(c + 1);
    s.setUp.border[c] = 0;
    s.contrast[c] = 100;
    s.brightness[c] = 512;
  }
  for (int o = 0; o < kOutputs; ++o) {
    s.setUp.resolution[o] = 1;
    s.setUp.outputMask[o] = 0x0F;
    for (int c = 0; c < kChannels; ++c) s.setUp.layers[o][c] = static_cast<std::uint8_t>(c + 1);
  }
  return s;
}

std::vector<std::uint8_t> BuildAnswer(std::uint8_t command, std::uint8_t sub, std::uint8_t result,
                                      const std::vector<std::uint8_t>& payload) {
  const int n = static_cast<int>(payload.size());
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n + kFrameOverhead));
  BuildFrame(out.data(), payload.data(), n, command, sub);
  // Byte 6 carries the result; the checksum covers it like any other byte.
  out[6] = result;
  FrameChecksum(out.data(), n + 4);
  return out;
}

int ModeOfRecall(std::uint8_t command, std::uint8_t sub) {
  for (int mode = 0; mode < kModeCount; ++mode) {
    ModeRecallCode code;
    if (ModeRecallBytes(mode, code) && code.command == command && code.subCode == sub) return mode;
  }
  return -1;
}

int SaveTarget(int mode) {
  // The program's mode table says where "Save mode" stores; the processor agrees.
  return panora::SaveTarget(mode);
}

Engine::Engine(EngineOptions options) : m_options(options), m_state(FactoryState()) {}

Outcome Engine::Process(const std::vector<std::uint8_t>& frame) {
  Outcome out;
  if (frame.size() < static_cast<std::size_t>(kFrameOverhead)) {
    // Not a frame at all; nothing sensible to echo.
    out.problem = "frame shorter than 12 bytes";
    out.answer = BuildAnswer(0, 0, 0, {0});
    return out;
  }
  const std::uint8_t command = frame[4];
  const std::uint8_t sub = frame[5];
  const int n = static_cast<int>(frame.size()) - kFrameOverhead;
  const std::uint8_t* payload = frame.data() + kFrameHeaderSize;

  const CommandInfo* info = FindCommand(command, sub);
  out.known = info != nullptr;
  if (info == nullptr) {
    out.problem = "unknown command " + Hex2(command) + " sub-code " + Hex2(sub);
  } else if (info->payloadLength != n) {
    out.problem = "command " + Hex2(command) + " sub-code " + Hex2(sub) + " needs " +
                  std::to_string(info->payloadLength) + " payload bytes, got " + std::to_string(n);
  } else {
    const State before = m_state;
    out.problem = Apply(command, sub, payload, n);
    out.applied = out.problem.empty();
    out.changed = !(before == m_state);
  }

  // The four answers the program reads; everything else gets a short
  // acknowledgement (D = 5), answered whether or not it was applied.
  using namespace cmd;
  if (out.applied && command == kHandshake) {
    out.answer = BuildAnswer(command, sub, m_options.refuse ? 1 : 0, {0});
  } else if (out.applied && command == kVersion) {
    out.answer = BuildAnswer(command, sub, 0,
                             {0, m_options.versionMajor, m_options.versionMinor, m_options.versionBuild});
  } else if (out.applied && command == kBezel && sub == kSubBezelQuery) {
    out.answer = BuildAnswer(command, kSubBezelQuery, 0, {0, m_state.bezelH, m_state.bezelV});
  } else if (out.applied && command == kQueryPosition) {
    std::vector<std::uint8_t> data{0};
    const Geometry& g = m_state.setUp.geometry[sub];
    PutBe16(data, g.x);
    PutBe16(data, g.y);
    PutBe16(data, g.w);
    PutBe16(data, g.h);
    out.answer = BuildAnswer(command, sub, 0, data);
  } else {
    out.answer = BuildAnswer(command, sub, 0, {0});
  }
  return out;
}

// Carries out a frame whose command, sub-code and length match the
// catalogue. Returns why it was refused, or an empty text.
std::string Engine::Apply(std::uint8_t command, std::uint8_t sub, const std::uint8_t* p, int n) {
  using namespace cmd;
  SetUp& su = m_state.setUp;
  (void)n;  // the caller has checked the length against the catalogue

  if (const int mode = ModeOfRecall(command, sub); mode >= 0) {
    m_state.mode = mode;
    if (mode >= kUserModeFirst) {
      const auto& saved = m_state.userModes[mode - kUserModeFirst];
      if (saved) su = *saved;
    }
    return {};
  }

  switch (command) {
    case kSetGeometry: su.geometry[sub] = {Be16(p), Be16(p + 2), Be16(p + 4), Be16(p + 6)}; return {};
    case kQueryPosition:
    case kHandshake:
    case kVersion: return {};
    case kMovePicture:
    case kZoomPicture: {
      if (p[0] > 3 || p[1] < 1 || p[1] > 9) return "direction or step out of range";
      // Directions: 0 left/h-out, 1 right/h-in, 2 up/v-out, 3 down/v-in.
      const int axis = p[0] / 2;
      const int sign = p[0] % 2 == 0 ? -1 : 1;
      auto& counter = command == kMovePicture ? m_state.shift[sub] : m_state.zoom[sub];
      counter[axis] += sign * p[1];
      return {};
    }
    case kOutputDisplay:
      for (int i = 0; i < 4; ++i) {
        if (p[i] > 0x0F) return "channel mask above 0x0F";
      }
      for (int i = 0; i < 4; ++i) su.outputMask[i] = p[i];
      return {};
    case kInputSelect:
      for (int i = 0; i < 4; ++i) {
        if (p[i] < 1 || p[i] > 4) return "input outside 1..4";
      }
      for (int i = 0; i < 4; ++i) su.input[i] = p[i];
      return {};
    case kBorder:
      for (int i = 0; i < 4; ++i) {
        if (p[i] > 1) return "border flag not 0 or 1";
      }
      for (int i = 0; i < 4; ++i) su.border[i] = p[i];
      return {};
    case kOverlay:
      if (p[0] > 3) return "output outside 0..3";
      for (int i = 1; i < 5; ++i) {
        if (p[i] < 1 || p[i] > 4) return "layer outside 1..4";
      }
      for (int c = 0; c < kChannels; ++c) su.layers[p[0]][c] = p[c + 1];
      return {};
    case kContrast: {
      if (!ThreeCopiesAgree(p, 3)) return "contrast copies disagree";
      if (p[0] > 3 || p[1] > 9 || p[2] > 9) return "contrast digits out of range";
      const int v = p[0] * 100 + p[1] * 10 + p[2];
      for (int c = 0; c < kChannels; ++c) {
        if (sub == kSubAllChannels || sub == c) m_state.contrast[c] = v;
      }
      return {};
    }
    case kBrightness: {
      if (!ThreeCopiesAgree(p, 2)) return "brightness copies disagree";
      const int v = Be16(p);
      if (v > 1023) return "brightness above 1023";
      for (int c = 0; c < kChannels; ++c) {
        if (sub == kSubAllChannels || sub == c) m_state.brightness[c] = v;
      }
      return {};
    }
    case kResolution:
      for (int i = 0; i < 4; ++i) {
        if (p[i] < 1 || p[i] > 6) return "resolution code outside 1..6";
      }
      for (int i = 0; i < 4; ++i) su.resolution[i] = p[i];
      return {};
    case kBezel:
      if (sub == kSubBezelSet) {
        // The panel sends its boxes unchecked; the processor keeps any byte
        // and answers it back, and the program shows a size above 48 as 0.
        m_state.bezelH = p[0];
        m_state.bezelV = p[1];
      }
      return {};
    case kSaveMode: {
      const int target = SaveTarget(m_state.mode);
      if (target < 0) return "mode " + std::to_string(m_state.mode) + " has no user mode to save into";
      m_state.userModes[target - kUserModeFirst] = su;
      return {};
    }
    case kFactoryReset: m_state = FactoryState(); return {};
    default: return "no handler for command " + Hex2(command);
  }
}

namespace {

nlohmann::json SetUpJson(const SetUp& su) {
  nlohmann::json j;
  j["geometry"] = nlohmann::json::array();
  for (const auto& g : su.geometry) j["geometry"].push_back({{"x", g.x}, {"y", g.y}, {"w", g.w}, {"h", g.h}});
  j["resolution"] = su.resolution;
  j["input"] = su.input;
  j["layers"] = su.layers;
  j["outputMask"] = su.outputMask;
  j["border"] = su.border;
  return j;
}

}  // namespace

std::string Engine::StateJson() const {
  nlohmann::json j;
  j["mode"] = m_state.mode;
  j["setUp"] = SetUpJson(m_state.setUp);
  j["contrast"] = m_state.contrast;
  j["brightness"] = m_state.brightness;
  j["bezel"] = {{"h", m_state.bezelH}, {"v", m_state.bezelV}};
  j["shift"] = m_state.shift;
  j["zoom"] = m_state.zoom;
  nlohmann::json users = nlohmann::json::object();
  for (int i = 0; i < kUserModeCount; ++i) {
    if (m_state.userModes[i]) users[std::to_string(kUserModeFirst + i)] = SetUpJson(*m_state.userModes[i]);
  }
  j["userModes"] = users;
  return j.dump(2);
}

}  // namespace panora::sim
