// The simulated processor's logic: its state and the answer to each frame.
// Pure: no I/O, no threads, no clock; the server (Server.h) or a program that
// embeds the simulator feeds it decoded frames and sends what it returns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace panora::sim {

inline constexpr int kChannels = 4;
inline constexpr int kOutputs = 4;
inline constexpr int kUserModeFirst = 21;
inline constexpr int kUserModeCount = 13;

struct Geometry {
  std::uint16_t x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Geometry&) const = default;
};

// What a user mode stores: the set-up the processor keeps per mode.
struct SetUp {
  std::array<Geometry, kChannels> geometry{};
  std::array<std::uint8_t, kOutputs> resolution{};                     // codes 1..6
  std::array<std::uint8_t, kChannels> input{};                         // 1..4 = In1..In4
  std::array<std::array<std::uint8_t, kChannels>, kOutputs> layers{};  // layer of CH1..CH4 per output
  std::array<std::uint8_t, kOutputs> outputMask{};                     // bit 0 = CH1 .. bit 3 = CH4
  std::array<std::uint8_t, kChannels> border{};                        // 0 or 1
  bool operator==(const SetUp&) const = default;
};

struct State {
  int mode = 8;  // mode index 0..33, from the recall codes
  SetUp setUp;
  std::array<int, kChannels> contrast{};    // 0..399
  std::array<int, kChannels> brightness{};  // 0..1023
  std::uint8_t bezelH = 0, bezelV = 0;
  // Net shift (x right, y down) and zoom (h in, v in) steps per channel.
  std::array<std::array<int, 2>, kChannels> shift{};
  std::array<std::array<int, 2>, kChannels> zoom{};
  std::array<std::optional<SetUp>, kUserModeCount> userModes{};
  bool operator==(const State&) const = default;
};

// The factory state: mode 8, the quarter layout of a 1920x1080 output,
// CH1..CH4 fed by In1..In4, every output showing every channel.
State FactoryState();

struct EngineOptions {
  bool refuse = false;  // answer the handshake with a refusal
  std::uint8_t versionMajor = 1, versionMinor = 0, versionBuild = 0;
};

// Result of one frame.
struct Outcome {
  std::vector<std::uint8_t> answer;  // the whole answer frame
  bool known = false;                // command and sub-code are in the catalogue
  bool applied = false;              // the frame was accepted and carried out
  bool changed = false;              // the state differs afterwards
  std::string problem;               // why a frame was not applied (empty when it was)
};

class Engine {
 public:
  explicit Engine(EngineOptions options = {});

  // Takes one whole, valid frame (as FrameDecoder returns it) and applies it.
  Outcome Process(const std::vector<std::uint8_t>& frame);
  // Just the answer frame of Process.
  std::vector<std::uint8_t> Handle(const std::vector<std::uint8_t>& frame) { return Process(frame).answer; }

  const State& GetState() const { return m_state; }
  void SetState(const State& state) { m_state = state; }
  const EngineOptions& Options() const { return m_options; }

  // The state as pretty-printed JSON.
  std::string StateJson() const;

 private:
  std::string Apply(std::uint8_t command, std::uint8_t sub, const std::uint8_t* p, int n);

  EngineOptions m_options;
  State m_state;
};

// An answer frame in the layout the program reads: 7D 3A L/255 L%255 cmd sub
// result 0, payload, checksum over bytes 4..L+3, "END".
std::vector<std::uint8_t> BuildAnswer(std::uint8_t command, std::uint8_t sub, std::uint8_t result,
                                      const std::vector<std::uint8_t>& payload);

// Mode index of a recall code, or -1.
int ModeOfRecall(std::uint8_t command, std::uint8_t sub);

// The user mode (21..33) that "save" fills in a mode, or -1 when refused.
int SaveTarget(int mode);

}  // namespace panora::sim
