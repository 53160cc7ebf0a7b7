// The main window connected over real TCP to the simulated processor inside
// the test, and what the simulator received, parsed from its log.
#pragma once

#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "LinkGuiSupport.h"
#include "link/Commands.h"

namespace panora::test {

struct SeenFrame {
  int command = 0, subCode = 0;
  std::vector<int> payload;
};

class SimFrameTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    sim::ServerOptions opt;
    opt.logPath = home.Path() + "/sim.log";
    sim = std::make_unique<EmbeddedSim>(opt);
    ASSERT_TRUE(sim->Ok()) << sim->Error();
    f->Connection().ConnectNet("127.0.0.1", sim->PortText());
    ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  }
  void TearDown() override {
    FrameTest::TearDown();
    sim.reset();
  }

  // Every frame the simulator received, in order, read from its log once a
  // version query sent now has arrived (the same connection keeps order).
  // The version queries themselves are left out.
  std::vector<SeenFrame> ReceivedFrames() {
    f->SendCommand(cmd::kVersion, 0);
    std::vector<SeenFrame> frames;
    const bool marked = WaitUntil([&] {
      frames.clear();
      std::ifstream in(home.Path() + "/sim.log");
      for (std::string line; std::getline(in, line);) {
        const auto rx = line.find(" rx ");
        const auto start = line.find("7D 3A", rx == std::string::npos ? line.size() : rx);
        if (rx == std::string::npos || start == std::string::npos) continue;
        std::istringstream hex(line.substr(start));
        std::vector<int> b;
        for (std::string byte; hex >> byte;) b.push_back(std::stoi(byte, nullptr, 16));
        if (b.size() < 12) continue;
        frames.push_back({b[4], b[5], std::vector<int>(b.begin() + 8, b.end() - 4)});
      }
      return std::count_if(frames.begin(), frames.end(),
                           [](const SeenFrame& s) { return s.command == cmd::kVersion; }) > versions;
    });
    EXPECT_TRUE(marked) << "the version query never reached the simulator";
    ++versions;
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [](const SeenFrame& s) { return s.command == cmd::kVersion; }),
                 frames.end());
    return frames;
  }

  // The frames of `command` the simulator received since the last look.
  std::vector<SeenFrame> Seen(int command) {
    std::vector<SeenFrame> out;
    const std::vector<SeenFrame> all = ReceivedFrames();
    for (std::size_t i = seen; i < all.size(); ++i)
      if (all[i].command == command) out.push_back(all[i]);
    seen = all.size();
    return out;
  }

  // The mouse as a person moves it: a global position that the widget under
  // it sees in its own, current coordinates (a dragged window moves under it).
  QPoint mouse;
  void Press(QWidget* w, QPoint local) {
    mouse = w->mapToGlobal(local);
    QTest::mousePress(w, Qt::LeftButton, {}, local);
  }
  void MoveBy(QWidget* w, int dx, int dy) {
    mouse += QPoint(dx, dy);
    QTest::mouseMove(w, w->mapFromGlobal(mouse));
  }
  void Release(QWidget* w) { QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFromGlobal(mouse)); }

  std::unique_ptr<EmbeddedSim> sim;
  int versions = 0;
  std::size_t seen = 0;
};

}  // namespace panora::test
