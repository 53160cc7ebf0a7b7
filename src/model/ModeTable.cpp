#include "model/ModeTable.h"

#include "link/Frame.h"

namespace panora {

namespace {

// Groups: mode range and what "Save mode" does there (first target, or -1).
struct GroupRow {
  ModeGroupInfo info;
  int firstSlot;    // -1 for the default groups
  int firstTarget;  // -1 refused; 0 = the mode itself
};
constexpr GroupRow kGroups[8] = {
    {{ModeGroup::FourTimesDefault, "4Times-Default", 0, 4}, -1, -1},
    {{ModeGroup::ThreeTimesDefault, "3Times-Default", 4, 4}, -1, -1},
    {{ModeGroup::FullDefault, "Full-Default", 8, 5}, -1, 21},
    {{ModeGroup::PipDefault, "PIP-Default", 13, 5}, -1, 26},
    {{ModeGroup::PopDefault, "POP-Default", 18, 3}, -1, 31},
    {{ModeGroup::FullUser, "Full-User", 21, 5}, 0, 0},
    {{ModeGroup::PipUser, "PIP-User", 26, 5}, 5, 0},
    {{ModeGroup::PopUser, "POP-User", 31, 3}, 10, 0},
};

std::array<ModeInfo, kModeTotal> BuildTable() {
  std::array<ModeInfo, kModeTotal> table{};
  for (const GroupRow& g : kGroups) {
    for (int v = 0; v < g.info.count; ++v) {
      const int mode = g.info.firstMode + v;
      ModeRecallCode code{};
      ModeRecallBytes(mode, code);  // the recall bytes live with the frame code
      ModeInfo& m = table[mode];
      m.index = mode;
      m.group = g.info.group;
      m.groupName = g.info.name;
      m.variant = v + 1;
      m.recallCommand = code.command;
      m.recallSubCode = code.subCode;
      m.slot = g.firstSlot < 0 ? -1 : g.firstSlot + v;
      m.savesInto = g.firstTarget < 0 ? -1 : g.firstTarget == 0 ? mode : g.firstTarget + v;
    }
  }
  return table;
}

}  // namespace

const std::array<ModeGroupInfo, 8>& ModeGroups() {
  static const std::array<ModeGroupInfo, 8> groups = [] {
    std::array<ModeGroupInfo, 8> a{};
    for (int i = 0; i < 8; ++i) a[i] = kGroups[i].info;
    return a;
  }();
  return groups;
}

const std::array<ModeInfo, kModeTotal>& ModeTable() {
  static const std::array<ModeInfo, kModeTotal> table = BuildTable();
  return table;
}

const ModeInfo* FindMode(int mode) {
  return IsValidMode(mode) ? &ModeTable()[mode] : nullptr;
}

int SlotOfMode(int mode) {
  const ModeInfo* m = FindMode(mode);
  return m != nullptr ? m->slot : -1;
}

int ModeOfSlot(int slot) {
  return slot >= 0 && slot <= 12 ? 21 + slot : -1;
}

int SaveTarget(int mode) {
  const ModeInfo* m = FindMode(mode);
  return m != nullptr ? m->savesInto : -1;
}

int QuickModeForId(int commandId) {
  const int i = commandId - kQuickModeFirstId;
  return i >= 0 && i < static_cast<int>(kQuickModes.size()) ? kQuickModes[i] : -1;
}

std::string DefaultModeName(int mode) {
  return std::to_string(mode + 1);
}

}  // namespace panora
