// The 34 display modes as one table: the mode dialog, the quick and tool
// buttons, "Save mode" and the record resets all read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace panora {

inline constexpr int kModeTotal = 34;
inline constexpr int kStartupMode = 17;      // "PIP-Default" 5, applied at start-up
inline constexpr int kFactoryResetMode = 8;  // "Full-Default" 1

enum class ModeGroup {
  FourTimesDefault,
  ThreeTimesDefault,
  FullDefault,
  PipDefault,
  PopDefault,
  FullUser,
  PipUser,
  PopUser,
};

struct ModeGroupInfo {
  ModeGroup group;
  const char* name;  // row label of the mode dialog, e.g. "PIP-Default"
  int firstMode;
  int count;
};

struct ModeInfo {
  int index;
  ModeGroup group;
  const char* groupName;
  int variant;                 // 1-based within the group
  std::uint8_t recallCommand;  // bytes 4 and 5 of the recall frame
  std::uint8_t recallSubCode;
  int slot;       // user slot 0..12 of the mode, or -1
  int savesInto;  // user mode that "Save mode" fills here, or -1 when refused
};

// The eight groups in index order.
const std::array<ModeGroupInfo, 8>& ModeGroups();
// The whole table, element i describing mode i.
const std::array<ModeInfo, kModeTotal>& ModeTable();
// Mode `mode`, or nullptr outside 0..33.
const ModeInfo* FindMode(int mode);

inline bool IsValidMode(int mode) {
  return mode >= 0 && mode < kModeTotal;
}
// Four-times and three-times modes 0..7.
inline bool IsZoomOutMode(int mode) {
  return mode >= 0 && mode <= 7;
}
// "Full-Default" 8..12 and "Full-User" 21..25.
inline bool IsFullMode(int mode) {
  return (mode >= 8 && mode <= 12) || (mode >= 21 && mode <= 25);
}
// PIP and POP modes 13..20 and 26..33.
inline bool IsPipPopMode(int mode) {
  return (mode >= 13 && mode <= 20) || (mode >= 26 && mode <= 33);
}
inline bool IsUserMode(int mode) {
  return mode >= 21 && mode <= 33;
}
// The menu rule, the one place that decides it for the View menu, the
// layout area's context menu and the commands themselves: "Save Mode" in
// 8..33, "Window Adjustment" in the PIP and POP modes. A value outside 0..33
// is no mode at all, so it offers neither.
inline bool CanSaveMode(int mode) {
  return mode >= 8 && mode <= 33;
}
inline bool CanAdjustWindows(int mode) {
  return IsPipPopMode(mode);
}
// Modes 0..3 refuse "Save mode" with a message; 4..7 silently.
inline bool SaveRefusedWithMessage(int mode) {
  return mode >= 0 && mode <= 3;
}

// User slot of a mode (0..12) or -1; user mode of a slot (21..33) or -1.
int SlotOfMode(int mode);
int ModeOfSlot(int slot);
// The user mode "Save mode" fills when issued in `mode`, or -1.
int SaveTarget(int mode);

// The twelve quick-mode buttons (command ids 32791..32802) in id order.
inline constexpr int kQuickModeFirstId = 32791;
inline constexpr std::array<int, 12> kQuickModes = {0, 4, 9, 8, 13, 14, 15, 16, 17, 18, 19, 20};
// Mode of a quick-mode command id, or -1.
int QuickModeForId(int commandId);

// Factory display name of a mode: the decimal of index + 1.
std::string DefaultModeName(int mode);

}  // namespace panora
