// The simulated processor's logic: answers byte for byte (vectors worked out
// by hand from the answer layout) and the state each command leaves.
#include "sim/engine/Engine.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "link/Catalogue.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

namespace {

using panora::sim::Engine;
using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t cmd, std::uint8_t sub, Bytes payload = {}) {
  Bytes f(payload.size() + panora::kFrameOverhead);
  panora::BuildFrame(f.data(), payload.data(), static_cast<int>(payload.size()), cmd, sub);
  return f;
}

Bytes Recall(int mode) {
  Bytes f(panora::kFrameOverhead);
  panora::BuildModeRecall(mode, f.data());
  return f;
}

// What the program demands of a block before it reads it.
void ExpectReadable(const Bytes& answer) {
  ASSERT_GE(answer.size(), 4u);
  const std::size_t d = answer[2] * 10u + answer[3];
  EXPECT_GE(d, 5u);
  EXPECT_LE(d, answer.size());
}

TEST(SimEngine, HandshakeAnswerAcceptsOrRefuses) {
  Engine engine;
  EXPECT_EQ(engine.Handle(Frame(0xF1, 0)),
            (Bytes{0x7D, 0x3A, 0x00, 0x05, 0xF1, 0x00, 0x00, 0x00, 0x00, 0xF1, 0x45, 0x4E, 0x44}));
  Engine refusing({.refuse = true});
  // The result byte counts in the checksum.
  EXPECT_EQ(refusing.Handle(Frame(0xF1, 0)),
            (Bytes{0x7D, 0x3A, 0x00, 0x05, 0xF1, 0x00, 0x01, 0x00, 0x00, 0xF2, 0x45, 0x4E, 0x44}));
}

TEST(SimEngine, VersionAnswerCarriesTheVersionInBytes9To11) {
  Engine engine({.versionMajor = 2, .versionMinor = 0, .versionBuild = 15});
  EXPECT_EQ(engine.Handle(Frame(0xFF, 0)), (Bytes{0x7D, 0x3A, 0x00, 0x08, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x02,
                                                  0x00, 0x0F, 0x10, 0x45, 0x4E, 0x44}));
  EXPECT_EQ(Engine().Handle(Frame(0xFF, 0))[9], 1);  // 1.0.0 by default
}

TEST(SimEngine, BezelQueryReturnsTheBezelLastSet) {
  Engine engine;
  EXPECT_EQ(engine.Handle(Frame(0x53, 0)), (Bytes{0x7D, 0x3A, 0x00, 0x07, 0x53, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0x00, 0x53, 0x45, 0x4E, 0x44}));
  engine.Handle(Frame(0x53, 1, {12, 48}));
  EXPECT_EQ(engine.Handle(Frame(0x53, 0)), (Bytes{0x7D, 0x3A, 0x00, 0x07, 0x53, 0x00, 0x00, 0x00, 0x00, 0x0C,
                                                  0x30, 0x8F, 0x45, 0x4E, 0x44}));
  // The panel does not check its boxes: a size above 48 is kept and answered.
  const auto outcome = engine.Process(Frame(0x53, 1, {60, 255}));
  EXPECT_TRUE(outcome.applied);
  EXPECT_EQ(engine.GetState().bezelH, 60);
  EXPECT_EQ(engine.GetState().bezelV, 255);
  EXPECT_EQ(engine.Handle(Frame(0x53, 0))[9], 60);
}

TEST(SimEngine, PositionQueryReturnsTheGeometryLastSetForThatWindow) {
  Engine engine;
  // Before any 0x30: window 3 is the bottom-right quarter of 1920x1080.
  EXPECT_EQ(engine.Handle(Frame(0x31, 3)),
            (Bytes{0x7D, 0x3A, 0x00, 0x0D, 0x31, 0x03, 0x00, 0x00, 0x00, 0x03, 0xC0,
                   0x02, 0x1C, 0x03, 0xC0, 0x02, 0x1C, 0xF6, 0x45, 0x4E, 0x44}));
  // X 100, Y 50, W 300, H 200 for window 2.
  engine.Handle(Frame(0x30, 2, {0x00, 0x64, 0x00, 0x32, 0x01, 0x2C, 0x00, 0xC8}));
  EXPECT_EQ(engine.Handle(Frame(0x31, 2)),
            (Bytes{0x7D, 0x3A, 0x00, 0x0D, 0x31, 0x02, 0x00, 0x00, 0x00, 0x00, 0x64,
                   0x00, 0x32, 0x01, 0x2C, 0x00, 0xC8, 0xBE, 0x45, 0x4E, 0x44}));
  // The other windows keep theirs.
  EXPECT_EQ(engine.GetState().setUp.geometry[0], (panora::sim::Geometry{0, 0, 960, 540}));
}

TEST(SimEngine, OtherCommandsGetAShortAcknowledgement) {
  Engine engine;
  EXPECT_EQ(engine.Handle(Frame(0x50, 1, {2, 3, 4, 5})),
            (Bytes{0x7D, 0x3A, 0x00, 0x05, 0x50, 0x01, 0x00, 0x00, 0x00, 0x51, 0x45, 0x4E, 0x44}));
  // Unknown or malformed frames are acknowledged too, but change nothing.
  const auto before = engine.GetState();
  auto unknown = engine.Process(Frame(0x99, 7));
  EXPECT_FALSE(unknown.known);
  EXPECT_FALSE(unknown.applied);
  EXPECT_EQ(unknown.answer,
            (Bytes{0x7D, 0x3A, 0x00, 0x05, 0x99, 0x07, 0x00, 0x00, 0x00, 0xA0, 0x45, 0x4E, 0x44}));
  auto shortGeometry = engine.Process(Frame(0x30, 1, {0, 1, 0, 2}));
  EXPECT_TRUE(shortGeometry.known);
  EXPECT_FALSE(shortGeometry.applied);
  EXPECT_NE(shortGeometry.problem.find("8 payload bytes"), std::string::npos);
  EXPECT_EQ(engine.GetState(), before);
}

TEST(SimEngine, EveryCatalogueCommandGetsAnAnswerTheProgramAccepts) {
  Engine engine;
  for (const auto& row : panora::CommandCatalogue()) {
    for (int sub = row.subFirst; sub <= row.subLast; ++sub) {
      SCOPED_TRACE(testing::Message() << "command " << int(row.command) << " sub " << sub);
      // Payloads of ones are in range for every command.
      const Bytes answer = engine.Handle(Frame(row.command, static_cast<std::uint8_t>(sub),
                                               Bytes(static_cast<std::size_t>(row.payloadLength), 1)));
      ExpectReadable(answer);
      EXPECT_EQ(answer[4], row.command);
    }
  }
}

TEST(SimEngine, RecallCodesSetTheModeForAll34Modes) {
  Engine engine;
  for (int mode = 0; mode < panora::kModeCount; ++mode) {
    engine.Handle(Recall(mode));
    EXPECT_EQ(engine.GetState().mode, mode);
  }
  // A recall-looking code outside the table is not a mode.
  EXPECT_FALSE(engine.Process(Frame(0x00, 0x04)).applied);
  EXPECT_EQ(engine.GetState().mode, 33);
}

TEST(SimEngine, SettingsCommandsChangeTheirPartOfTheState) {
  Engine engine;
  engine.Handle(Frame(0x50, 1, {2, 3, 4, 6}));
  engine.Handle(Frame(0x36, 1, {4, 3, 2, 1}));
  engine.Handle(Frame(0x38, 1, {2, 4, 3, 2, 1}));
  engine.Handle(Frame(0x35, 1, {0x01, 0x03, 0x0F, 0x00}));
  engine.Handle(Frame(0x37, 1, {1, 0, 1, 0}));
  const auto& s = engine.GetState();
  EXPECT_EQ(s.setUp.resolution, (std::array<std::uint8_t, 4>{2, 3, 4, 6}));
  EXPECT_EQ(s.setUp.input, (std::array<std::uint8_t, 4>{4, 3, 2, 1}));
  EXPECT_EQ(s.setUp.layers[2], (std::array<std::uint8_t, 4>{4, 3, 2, 1}));
  EXPECT_EQ(s.setUp.layers[1], (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(s.setUp.outputMask, (std::array<std::uint8_t, 4>{0x01, 0x03, 0x0F, 0x00}));
  EXPECT_EQ(s.setUp.border, (std::array<std::uint8_t, 4>{1, 0, 1, 0}));

  // Out-of-range values are refused whole.
  for (const Bytes& bad :
       {Frame(0x50, 1, {1, 1, 1, 7}), Frame(0x36, 1, {0, 1, 1, 1}), Frame(0x38, 1, {4, 1, 2, 3, 4}),
        Frame(0x35, 1, {0x10, 0, 0, 0}), Frame(0x37, 1, {2, 0, 0, 0})}) {
    const auto before = engine.GetState();
    EXPECT_FALSE(engine.Process(bad).applied);
    EXPECT_EQ(engine.GetState(), before);
  }
}

TEST(SimEngine, ContrastAndBrightnessPerChannelOrAll) {
  Engine engine;
  engine.Handle(Frame(0x40, 1, {3, 9, 9, 3, 9, 9, 3, 9, 9}));  // 399 on CH2
  engine.Handle(Frame(0x41, 3, {3, 255, 3, 255, 3, 255}));     // 1023 on CH4
  EXPECT_EQ(engine.GetState().contrast, (std::array<int, 4>{100, 399, 100, 100}));
  EXPECT_EQ(engine.GetState().brightness, (std::array<int, 4>{512, 512, 512, 1023}));
  engine.Handle(Frame(0x40, 100, {0, 0, 5, 0, 0, 5, 0, 0, 5}));  // 5 on all
  EXPECT_EQ(engine.GetState().contrast, (std::array<int, 4>{5, 5, 5, 5}));
  // Copies that disagree, or values beyond the trackbars, are not trusted.
  EXPECT_FALSE(engine.Process(Frame(0x40, 0, {1, 0, 0, 1, 0, 0, 2, 0, 0})).applied);
  EXPECT_FALSE(engine.Process(Frame(0x40, 0, {4, 0, 0, 4, 0, 0, 4, 0, 0})).applied);
  EXPECT_FALSE(engine.Process(Frame(0x41, 0, {4, 0, 4, 0, 4, 0})).applied);
  EXPECT_EQ(engine.GetState().contrast[0], 5);
  EXPECT_EQ(engine.GetState().brightness[0], 512);
}

TEST(SimEngine, ShiftAndZoomCountSteps) {
  Engine engine;
  engine.Handle(Frame(0x32, 1, {1, 5}));  // right 5
  engine.Handle(Frame(0x32, 1, {0, 2}));  // left 2
  engine.Handle(Frame(0x32, 1, {3, 9}));  // down 9
  engine.Handle(Frame(0x33, 0, {2, 4}));  // vertical out 4
  EXPECT_EQ(engine.GetState().shift[1], (std::array<int, 2>{3, 9}));
  EXPECT_EQ(engine.GetState().zoom[0], (std::array<int, 2>{0, -4}));
  EXPECT_FALSE(engine.Process(Frame(0x32, 0, {1, 0})).applied);  // step 0
  EXPECT_FALSE(engine.Process(Frame(0x33, 0, {4, 1})).applied);  // no such zoom
}

TEST(SimEngine, SaveModeStoresIntoTheUserModeAndRecallRestoresIt) {
  Engine engine;
  engine.Handle(Recall(14));  // PIP-Default 2 saves into PIP-User 2 (mode 27)
  engine.Handle(Frame(0x30, 0, {0, 10, 0, 20, 0, 30, 0, 40}));
  engine.Handle(Frame(0x36, 1, {2, 2, 2, 2}));
  EXPECT_TRUE(engine.Process(Frame(0x80, 1)).applied);
  const auto saved = engine.GetState().setUp;
  ASSERT_TRUE(engine.GetState().userModes[27 - 21].has_value());

  engine.Handle(Frame(0xF0, 1));
  EXPECT_EQ(engine.GetState(), panora::sim::FactoryState());  // reset forgets the user modes

  engine.Handle(Recall(14));
  engine.Handle(Frame(0x30, 0, {0, 10, 0, 20, 0, 30, 0, 40}));
  engine.Handle(Frame(0x36, 1, {2, 2, 2, 2}));
  engine.Handle(Frame(0x80, 1));
  engine.Handle(Recall(8));
  engine.Handle(Frame(0x36, 1, {1, 1, 1, 1}));
  engine.Handle(Recall(27));
  EXPECT_EQ(engine.GetState().mode, 27);
  EXPECT_EQ(engine.GetState().setUp, saved);

  // Four- and three-times modes have no user mode to save into.
  engine.Handle(Recall(5));
  EXPECT_FALSE(engine.Process(Frame(0x80, 1)).applied);
}

TEST(SimEngine, SaveModeFillsTheUserModeTheProgramsModeTableNames) {
  // The program fills its own slot from the same table; a processor that
  // stored elsewhere would recall a set-up the program does not show.
  for (const panora::ModeInfo& m : panora::ModeTable()) {
    SCOPED_TRACE(m.index);
    Engine engine;
    engine.Handle(Recall(m.index));
    const bool applied = engine.Process(Frame(0x80, 1)).applied;
    EXPECT_EQ(applied, m.savesInto >= 0);
    for (int u = 0; u < panora::sim::kUserModeCount; ++u) {
      EXPECT_EQ(engine.GetState().userModes[u].has_value(), u + panora::sim::kUserModeFirst == m.savesInto)
          << "user mode " << u + panora::sim::kUserModeFirst;
    }
  }
}

TEST(SimEngine, FactoryResetRestoresTheDefaults) {
  Engine engine;
  engine.Handle(Recall(20));
  engine.Handle(Frame(0x53, 1, {5, 6}));
  engine.Handle(Frame(0x41, 100, {0, 7, 0, 7, 0, 7}));
  engine.Handle(Frame(0x30, 3, {0, 1, 0, 2, 0, 3, 0, 4}));
  ASSERT_NE(engine.GetState(), panora::sim::FactoryState());
  const auto outcome = engine.Process(Frame(0xF0, 1));
  EXPECT_TRUE(outcome.applied);
  EXPECT_TRUE(outcome.changed);
  EXPECT_EQ(engine.GetState(), panora::sim::FactoryState());
  EXPECT_EQ(engine.GetState().mode, 8);
}

TEST(SimEngine, StateJsonReflectsTheState) {
  Engine engine;
  engine.Handle(Recall(17));
  engine.Handle(Frame(0x53, 1, {3, 4}));
  engine.Handle(Frame(0x30, 1, {0x01, 0x00, 0, 0, 0, 50, 0, 60}));
  const auto j = nlohmann::json::parse(engine.StateJson());
  EXPECT_EQ(j["mode"], 17);
  EXPECT_EQ(j["bezel"]["h"], 3);
  EXPECT_EQ(j["setUp"]["geometry"][1]["x"], 256);
  EXPECT_EQ(j["setUp"]["input"], nlohmann::json::parse("[1,2,3,4]"));
  EXPECT_TRUE(j["userModes"].empty());
}

}  // namespace
