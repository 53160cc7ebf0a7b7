// A stand-in for the main frame's side of the device link: both transports,
// the device link, hooks that record what the user-interface thread was told,
// and an OnDeviceData that takes each block and records the answers it reads.
#pragma once

#include <atomic>
#include <string>

#include "link/DeviceLink.h"
#include "link/LinkTestSupport.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

namespace panora::test {

struct LinkFrame {
  LoopHandOver ui;
  Recorder got;
  std::atomic<int> batchDone{0}, batchJob{0}, positionAnswers{0}, timeouts{0}, statusAtAnswer{-1};
  std::atomic<int> handshakes{0}, handshakeOk{-1}, accepted{0};
  std::string version;  // last "Version:" line (user-interface thread only)
  // The count of changes not sent moved; a set-up batch's progress and end,
  // written on the user-interface thread: the test reads them once
  // setupDone, which publishes them, has moved.
  std::atomic<int> unsentReports{0};
  std::vector<int> progress;
  int progressTotal = 0;
  SetupOutcome setup;
  std::atomic<int> setupDone{0};
  CRsCom rs{&ui, [this](const std::uint8_t* b, int n) { OnDeviceData(b, n); },
            [this](const char* t) { got.Note(t); }};
  CNetLink net{[this](const std::uint8_t* b, int n) { OnDeviceData(b, n); },
               [this](const char* t) { got.Note(t); }};
  CDeviceLink link{rs, net, &ui,
                   LinkHooks{[this](const char* t) { got.Note(t); }, [this] { ++timeouts; },
                             [this](int job) {
                               batchJob = job;
                               ++batchDone;
                               got.Note("done");
                             },
                             [this] { PositionAnswer(); },
                             [this] { ++unsentReports; },
                             [this](int sent, int total) {
                               progress.push_back(sent);
                               progressTotal = total;
                             },
                             [this](const SetupOutcome& o) {
                               setup = o;
                               ++setupDone;
                               got.Note("setup");
                             }}};

  // OnPositionAnswer: records the status it would decide on.
  void PositionAnswer() {
    statusAtAnswer = link.m_nReplyStatus.load();
    ++positionAnswers;
    got.Note("position");
  }

  void OnDeviceData(const std::uint8_t* b, int n) {
    const ReplyAction a = link.TakeReply(b, n);
    if (a.accepted) ++accepted;
    if (a.kind == ReplyKind::Handshake) {
      handshakeOk = a.handshakeOk ? 1 : 0;
      ++handshakes;
    }
    if (a.kind == ReplyKind::Version) version = a.VersionText();
    if (a.kind == ReplyKind::Position || a.kind == ReplyKind::PositionFailed) PositionAnswer();
    link.EndReply();
    got.Add(b, n);  // last, so that a waiter sees everything above
  }
  // Runs fn on the user-interface thread and waits, as a menu command would.
  void OnUi(const std::function<void()>& fn) { ui.RunAndWait(fn); }
  ~LinkFrame() {
    link.Shutdown();
    net.Shutdown();
    rs.ClosePort();
    // Calls posted before now (a batch's end) still use the members below.
    ui.RunAndWait([] {});
  }
};

}  // namespace panora::test
