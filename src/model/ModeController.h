// The mode rules in one place. For each mode command (Load mode, quick mode,
// tool button, window button, Open, Save mode, factory reset) the controller
// decides the new current and previous mode, the record changes, the frame
// and whether a running batch refuses it; the main frame implements ModeHost
// (windows, panels, the send path, boxes) and the controller calls it in the
// order each command takes. No Qt here, so every rule is tested without widgets.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/Profile.h"

namespace panora {

// Texts the operator sees.
inline constexpr char kBusyText[] = "please wait second, sending data have not finished";
inline constexpr char kSaveRefusedText[] = "This mode not surpport save!";
inline constexpr char kFactoryResetQuestion[] = "Do you want to reset the machine to factory default?";
inline constexpr char kCoverQuestion[] = "This tool button has been used, do you want to cover it?";
inline constexpr char kBrokenProfileText[] = "can't open the profile,the profile is broken!";
inline constexpr int kModeNameMaxChars = 16;

// "          Save to position N, do you want to save it?" for user mode `target`.
std::string SaveQuestion(int target);

// A twelve-byte frame of its own, apart from the shared transmit buffer, so
// that a batch the worker is sending from there is never overwritten.
struct ModeFrame {
  std::array<std::uint8_t, 12> bytes{};
  int length = 0;  // 0: nothing to send
  std::uint8_t Command() const { return bytes[4]; }
  std::uint8_t SubCode() const { return bytes[5]; }
};
ModeFrame RecallFrame(int mode);  // empty outside 0..33
ModeFrame SaveFrame();            // 0x80 0x01
ModeFrame FactoryResetFrame();    // 0xF0 0x01

// One recall as the controller decided it. With act = false nothing changes
// and nothing is sent.
struct ModeAnswer {
  bool act = false;
  int apply = -1;     // ApplyMode(apply)
  int newMode = -1;   // m_nCurMod afterwards
  int prevMode = -1;  // m_nPrevMod afterwards
  bool unmaximize = false;
  int resetFor = -1;        // working record ResetForMode(resetFor); -1: left as it is
  bool resetFirst = false;  // the reset comes before ApplyMode (else after the mode changes)
  ModeFrame frame;
  bool busyCheck = true;  // refused with kBusyText while a batch is sent
};

// What the controller asks of the main frame.
class ModeHost {
 public:
  virtual ~ModeHost() = default;
  // m_bMaximized = 0 on all four channel views.
  virtual void UnmaximizeViews() = 0;
  // Arranges the windows and panels for a mode; sends nothing.
  virtual void ApplyMode(int mode) = 0;
  // CH1..CH4 each to the bottom of the z-order, without moving them.
  virtual void SinkChannels() = 0;
  // A channel's window as fractions of the layout area: x, y, w, h.
  virtual std::array<double, 4> MeasureChannel(int channel) = 0;
  // Whether the reply-wait worker is sending a batch.
  virtual bool Sending() const = 0;
  virtual void NoteCommand(int command, int subCode) = 0;
  // Hands bytes to the open transport; nothing without one.
  virtual void SendFrame(const std::uint8_t* bytes, int length) = 0;
  // A frame refused while a batch goes out: it waits, counted as not sent.
  virtual void CountUnsent(const std::uint8_t* /*bytes*/, int /*length*/) {}
  virtual void ShowMessage(const std::string& text) = 0;
  // The confirmation box with two captions; true when the first was chosen.
  virtual bool Confirm(const std::string& text, const std::string& yes, const std::string& no) = 0;
  // The tool-button assignments or the mode names changed (tool tips).
  virtual void ModeNamesChanged() {}
  // The current mode changed (whatever is shown of it follows).
  virtual void ModeChanged() {}
  // Raises a window and makes it the current one; outlines it.
  virtual void SelectWindow(int /*channel*/) {}
  virtual void HighlightWindow(int /*channel*/) {}
};

class ModeController {
 public:
  // The mode variables and the profile stay the main frame's; the
  // controller changes them through these references.
  ModeController(int& curMod, int& prevMod, CProfile& profile, ModeHost& host)
      : m_cur(curMod), m_prev(prevMod), m_profile(profile), m_host(host) {}

  // Decisions, without side effects.
  ModeAnswer DecideLoad(int chosen) const;  // the mode picked in the mode dialog
  ModeAnswer DecideQuick(int index) const;  // quick-mode button 0..11
  ModeAnswer DecideTool(int index) const;   // tool button 0..7
  ModeAnswer DecideOpen() const;            // after a profile was read
  // The zoom-out variant a window button recalls in the current mode, or -1
  // when the button only selects its window.
  int WindowButtonTarget(int index) const;

  // Commands: decide, then carry out. True when something changed.
  bool Load(int chosen);
  bool Quick(int index);
  bool Tool(int index);
  bool AfterOpen();
  // Window button 0..3: selects its window and, in the zoom-out modes,
  // recalls the variant that shows it (refused while a batch is sent, as the
  // transmit buffer is the batch's). True when the mode changed.
  bool WindowButton(int index);
  // "Save mode": refusal, question, slot from the windows and the working
  // record, the save frame. True when the slot was stored.
  bool Save();
  // "Factory Reset": question, reset frame (even while a batch is sent),
  // every slot, names and tool buttons to factory values, mode 8.
  bool FactoryReset();

  // Carries out a decided recall, in the order the answer gives.
  void Carry(const ModeAnswer& a);

  // The mode dialog's edits.
  // Why a name cannot be held by a profile, or "" when it can.
  static std::string CheckModeName(const std::string& utf8);
  // Renames a mode; a mode beyond the names held first extends the list with
  // the factory names. False (and *why) for a name CheckModeName refuses.
  bool SetModeName(int mode, const std::string& utf8, std::string* why = nullptr);
  std::string ModeName(int mode) const { return m_profile.ModeName(mode); }
  // Tool button 0..7 recalls `mode` from now on; other buttons keep theirs.
  void AssignToolButton(int button, int mode);
  // The first tool button (0..7) holding `mode`, or -1.
  int FirstToolButtonOf(int mode) const;
  const std::array<int, 8>& ToolModes() const { return m_profile.m_nToolMode; }

  int CurrentMode() const { return m_cur; }
  int PreviousMode() const { return m_prev; }

 private:
  ModeAnswer Recall(int mode, bool resetFirst) const;

  int& m_cur;
  int& m_prev;
  CProfile& m_profile;
  ModeHost& m_host;
};

}  // namespace panora
