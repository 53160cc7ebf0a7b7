#include "model/ModeController.h"

#include "link/Commands.h"
#include "link/Frame.h"
#include "model/ModeTable.h"
#include "model/Text.h"

namespace panora {

std::string SaveQuestion(int target) {
  return "          Save to position " + std::to_string(target + 1) + ", do you want to save it?";
}

ModeFrame RecallFrame(int mode) {
  ModeFrame f;
  f.length = BuildModeRecall(mode, f.bytes.data()).TotalLength();
  return f;
}

namespace {
ModeFrame PlainFrame(std::uint8_t command, std::uint8_t subCode) {
  ModeFrame f;
  f.length = BuildFrame(f.bytes.data(), nullptr, 0, command, subCode).TotalLength();
  return f;
}
}  // namespace

ModeFrame SaveFrame() {
  return PlainFrame(cmd::kSaveMode, cmd::kSubSaveMode);
}
ModeFrame FactoryResetFrame() {
  return PlainFrame(cmd::kFactoryReset, cmd::kSubFactoryReset);
}

// ---- decisions ------------------------------------------------------------

ModeAnswer ModeController::Recall(int mode, bool resetFirst) const {
  ModeAnswer a;
  // The current mode, or one the table does not know, changes nothing.
  if (!IsValidMode(mode) || mode == m_cur) return a;
  a.act = true;
  a.apply = mode;
  a.newMode = mode;
  a.prevMode = m_cur;
  a.unmaximize = true;
  a.resetFor = mode;
  a.resetFirst = resetFirst;
  a.frame = RecallFrame(mode);
  return a;
}

ModeAnswer ModeController::DecideLoad(int chosen) const {
  return Recall(chosen, true);
}

ModeAnswer ModeController::DecideQuick(int index) const {
  return Recall(QuickModeForId(kQuickModeFirstId + index), false);
}

ModeAnswer ModeController::DecideTool(int index) const {
  if (index < 0 || index >= static_cast<int>(kToolButtonCount)) return {};
  // -1 is unassigned; any other value outside 0..33 (a damaged profile)
  // counts as unassigned too, so every mode variable stays in range.
  return Recall(m_profile.m_nToolMode[index], true);
}

ModeAnswer ModeController::DecideOpen() const {
  ModeAnswer a;
  a.act = true;
  a.prevMode = m_cur;
  // A user mode may not be what the opened profile stores under that number:
  // the processor is brought to mode 17 instead.
  const bool keep = IsValidMode(m_cur) && !IsUserMode(m_cur);
  a.apply = keep ? m_cur : kStartupMode;
  a.newMode = a.apply;
  a.frame = RecallFrame(a.apply);
  return a;  // the working record is the one read from the file
}

int ModeController::WindowButtonTarget(int index) const {
  if (index < 0 || index > 3) return -1;
  if (m_cur >= 0 && m_cur <= 3) return index;      // 4Times-Default
  if (m_cur >= 4 && m_cur <= 7) return index + 4;  // 3Times-Default
  return -1;
}

// ---- carrying out ---------------------------------------------------------

void ModeController::Carry(const ModeAnswer& a) {
  if (!a.act) return;
  if (a.unmaximize) m_host.UnmaximizeViews();
  if (a.resetFirst && a.resetFor >= 0) m_profile.ResetWorkingForMode(a.resetFor);
  // ApplyMode runs while m_nCurMod still names the mode left behind.
  if (a.apply >= 0) m_host.ApplyMode(a.apply);
  m_prev = a.prevMode;
  m_cur = a.newMode;
  if (!a.resetFirst && a.resetFor >= 0) m_profile.ResetWorkingForMode(a.resetFor);
  m_host.ModeChanged();
  if (a.frame.length == 0) return;
  // Noted even when the send is refused below, as every sender does.
  m_host.NoteCommand(a.frame.Command(), a.frame.SubCode());
  if (a.busyCheck && m_host.Sending()) {
    // The PC side has changed all the same: the recall waits, counted.
    m_host.ShowMessage(kBusyText);
    m_host.CountUnsent(a.frame.bytes.data(), a.frame.length);
    return;
  }
  m_host.SendFrame(a.frame.bytes.data(), a.frame.length);
}

bool ModeController::Load(int chosen) {
  const ModeAnswer a = DecideLoad(chosen);
  Carry(a);
  return a.act;
}

bool ModeController::Quick(int index) {
  const ModeAnswer a = DecideQuick(index);
  Carry(a);
  return a.act;
}

bool ModeController::Tool(int index) {
  const ModeAnswer a = DecideTool(index);
  Carry(a);
  return a.act;
}

bool ModeController::AfterOpen() {
  const ModeAnswer a = DecideOpen();
  Carry(a);
  m_host.ModeNamesChanged();
  return a.act;
}

bool ModeController::WindowButton(int index) {
  if (index < 0 || index > 3) return false;
  if (m_host.Sending()) {
    m_host.ShowMessage(kBusyText);
    return false;
  }
  m_host.SelectWindow(index);
  const int target = WindowButtonTarget(index);
  if (target < 0) {
    m_host.HighlightWindow(index);
    return false;
  }
  if (target == m_cur) return false;
  m_profile.ResetWorkingForMode(target);
  m_host.ApplyMode(target);
  m_prev = m_cur;
  m_cur = target;
  m_host.ModeChanged();
  m_host.SelectWindow(index);  // the arrangement may have raised another window
  const ModeFrame f = RecallFrame(target);
  m_host.NoteCommand(f.Command(), f.SubCode());
  m_host.SendFrame(f.bytes.data(), f.length);
  return true;
}

bool ModeController::Save() {
  if (SaveRefusedWithMessage(m_cur)) {
    m_host.ShowMessage(kSaveRefusedText);
    return false;
  }
  const int target = SaveTarget(m_cur);
  // The three-times modes have no target and the command is not offered there.
  if (target < 0 || !CanSaveMode(m_cur)) return false;
  m_prev = m_cur;  // before the question, whatever the answer
  if (!m_host.Confirm(SaveQuestion(target), "Yes", "No")) return false;
  m_cur = target;

  CDataPrm& slot = m_profile.m_DataPrm[SlotOfMode(target)];
  for (int ch = 0; ch < 4; ++ch) {
    const std::array<double, 4> f = m_host.MeasureChannel(ch);
    slot.m_dX[ch] = f[0];
    slot.m_dY[ch] = f[1];
    slot.m_dW[ch] = f[2];
    slot.m_dH[ch] = f[3];
  }
  // Every setting field of the working record; the slot's own number and
  // reserved bytes stay.
  const CDataPrm& w = m_profile.m_DataPrm[kWorkingSlot];
  slot.m_nBorderScope = w.m_nBorderScope;
  slot.m_nBorderAll = w.m_nBorderAll;
  slot.m_nBorderCh = w.m_nBorderCh;
  slot.m_nAllOutRes = w.m_nAllOutRes;
  slot.m_bPerOutRes = w.m_bPerOutRes;
  slot.m_nOutRes = w.m_nOutRes;
  slot.m_nChInput = w.m_nChInput;
  slot.m_nOverlayMode = w.m_nOverlayMode;
  slot.m_nLayer = w.m_nLayer;
  slot.m_nOverlayOut = w.m_nOverlayOut;
  slot.m_bDispCh = w.m_bDispCh;
  slot.m_bDispAll = w.m_bDispAll;
  slot.m_bOutDispCh = w.m_bOutDispCh;
  slot.m_bSaved = 1;

  ModeAnswer a;
  a.act = true;
  a.newMode = m_cur;
  a.prevMode = m_prev;
  a.frame = SaveFrame();  // the processor saves into its own current mode
  Carry(a);
  return true;
}

bool ModeController::FactoryReset() {
  if (!m_host.Confirm(kFactoryResetQuestion, "Yes", "No")) return false;
  // No busy check: the reset goes out even while a batch is being sent.
  const ModeFrame f = FactoryResetFrame();
  m_host.NoteCommand(f.Command(), f.SubCode());
  m_host.SendFrame(f.bytes.data(), f.length);

  m_profile.ResetAllSlots();
  m_prev = m_cur;
  m_cur = kFactoryResetMode;
  m_profile.ResetWorkingForMode(kFactoryResetMode);
  m_profile.m_nToolMode.fill(-1);
  m_profile.m_strModeName.clear();
  for (int i = 0; i < kModeTotal; ++i) m_profile.m_strModeName.push_back(DefaultModeName(i));
  // m_nCurMod is already 8 here, unlike every other caller of ApplyMode.
  m_host.ApplyMode(kFactoryResetMode);
  m_host.SinkChannels();
  m_host.ModeNamesChanged();
  m_host.ModeChanged();
  return true;
}

// ---- the mode dialog's edits ------------------------------------------------

std::string ModeController::CheckModeName(const std::string& utf8) {
  std::size_t chars = 0;
  for (std::size_t pos = 0; pos < utf8.size(); ++chars) {
    if (DecodeUtf8At(utf8, pos) < 0) return "The name is not valid text.";
  }
  if (chars > static_cast<std::size_t>(kModeNameMaxChars))
    return "A mode name can hold at most 16 characters.";
  std::string bytes;
  std::size_t bad = 0;
  if (!Utf8ToCp1252(utf8, bytes, &bad)) {
    std::size_t end = bad;
    DecodeUtf8At(utf8, end);
    return "The character \"" + utf8.substr(bad, end - bad) +
           "\" cannot be kept in a profile file. Please use another character.";
  }
  return {};
}

bool ModeController::SetModeName(int mode, const std::string& utf8, std::string* why) {
  if (!IsValidMode(mode)) {
    if (why != nullptr) *why = "There is no such mode.";
    return false;
  }
  std::string problem = CheckModeName(utf8);
  if (!problem.empty()) {
    if (why != nullptr) *why = std::move(problem);
    return false;
  }
  auto& names = m_profile.m_strModeName;
  // A profile with fewer names: the ones in between get their factory names.
  while (names.size() <= static_cast<std::size_t>(mode))
    names.push_back(DefaultModeName(static_cast<int>(names.size())));
  names[mode] = utf8;
  m_host.ModeNamesChanged();
  return true;
}

void ModeController::AssignToolButton(int button, int mode) {
  if (button < 0 || button >= static_cast<int>(kToolButtonCount) || !IsValidMode(mode)) return;
  m_profile.m_nToolMode[button] = mode;
  m_host.ModeNamesChanged();
}

int ModeController::FirstToolButtonOf(int mode) const {
  for (std::size_t i = 0; i < kToolButtonCount; ++i)
    if (m_profile.m_nToolMode[i] == mode) return static_cast<int>(i);
  return -1;
}

}  // namespace panora
