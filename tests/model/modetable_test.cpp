#include "model/ModeTable.h"

#include <gtest/gtest.h>

#include <string>

#include "link/Frame.h"

using namespace panora;

TEST(ModeTable, RowsMatchTheModeList) {
  struct Row {
    const char* group;
    int first, count, command, subCode, firstSlot, firstTarget;  // target 0 = itself
  };
  const Row rows[] = {
      {"4Times-Default", 0, 4, 0x00, 0x00, -1, -1}, {"3Times-Default", 4, 4, 0x00, 0x10, -1, -1},
      {"Full-Default", 8, 5, 0x03, 0x00, -1, 21},   {"PIP-Default", 13, 5, 0x01, 0x00, -1, 26},
      {"POP-Default", 18, 3, 0x02, 0x00, -1, 31},   {"Full-User", 21, 5, 0x03, 0x20, 0, 0},
      {"PIP-User", 26, 5, 0x01, 0x20, 5, 0},        {"POP-User", 31, 3, 0x02, 0x20, 10, 0},
  };
  int seen = 0;
  for (const Row& row : rows) {
    for (int v = 0; v < row.count; ++v, ++seen) {
      const int mode = row.first + v;
      const ModeInfo* m = FindMode(mode);
      ASSERT_NE(m, nullptr);
      SCOPED_TRACE(mode);
      EXPECT_EQ(m->index, mode);
      EXPECT_STREQ(m->groupName, row.group);
      EXPECT_EQ(m->variant, v + 1);
      EXPECT_EQ(m->recallCommand, row.command);
      EXPECT_EQ(m->recallSubCode, row.subCode + v);
      EXPECT_EQ(m->slot, row.firstSlot < 0 ? -1 : row.firstSlot + v);
      EXPECT_EQ(m->savesInto, row.firstTarget < 0 ? -1 : row.firstTarget == 0 ? mode : row.firstTarget + v);
      // The recall frame is the one the link layer builds.
      std::uint8_t frame[12];
      const CKezCmd c = BuildModeRecall(mode, frame);
      EXPECT_EQ(c.Command(), m->recallCommand);
      EXPECT_EQ(c.SubCode(), m->recallSubCode);
    }
  }
  EXPECT_EQ(seen, kModeTotal);
  EXPECT_EQ(FindMode(-1), nullptr);
  EXPECT_EQ(FindMode(34), nullptr);
  EXPECT_EQ(ModeGroups().size(), 8u);
  EXPECT_STREQ(ModeGroups()[3].name, "PIP-Default");
}

TEST(ModeTable, SlotsSaveTargetsAndPredicatesAgree) {
  for (int mode = -2; mode < 36; ++mode) {
    SCOPED_TRACE(mode);
    const int slot = SlotOfMode(mode);
    EXPECT_EQ(slot >= 0, IsUserMode(mode));
    if (slot >= 0) {
      EXPECT_EQ(ModeOfSlot(slot), mode);
    }
    // Save works in 8..33: default modes into their user counterpart (+13), user modes into themselves.
    const int target = SaveTarget(mode);
    EXPECT_EQ(target >= 0, CanSaveMode(mode));
    if (mode >= 8 && mode <= 20) {
      EXPECT_EQ(target, mode + 13);
    }
    if (IsUserMode(mode)) {
      EXPECT_EQ(target, mode);
    }
    const int groups = IsZoomOutMode(mode) + IsFullMode(mode) + IsPipPopMode(mode);
    EXPECT_EQ(groups, IsValidMode(mode) ? 1 : 0);
  }
  EXPECT_TRUE(SaveRefusedWithMessage(2));
  EXPECT_FALSE(SaveRefusedWithMessage(5));
  EXPECT_EQ(ModeOfSlot(13), -1);  // the working record belongs to no mode
}

TEST(ModeTable, MenuRuleByGroupAndNothingOutsideTheModes) {
  // 0..7 neither; the full modes save but adjust no window; PIP and POP both.
  for (int mode = -3; mode < 40; ++mode) {
    SCOPED_TRACE(mode);
    const bool full = (mode >= 8 && mode <= 12) || (mode >= 21 && mode <= 25);
    const bool pipPop = (mode >= 13 && mode <= 20) || (mode >= 26 && mode <= 33);
    EXPECT_EQ(CanSaveMode(mode), full || pipPop);
    EXPECT_EQ(CanAdjustWindows(mode), pipPop);
  }
}

TEST(ModeTable, QuickButtonsAndNames) {
  const int expected[] = {0, 4, 9, 8, 13, 14, 15, 16, 17, 18, 19, 20};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(QuickModeForId(32791 + i), expected[i]);
  EXPECT_EQ(QuickModeForId(32790), -1);
  EXPECT_EQ(QuickModeForId(32803), -1);
  EXPECT_EQ(DefaultModeName(0), "1");
  EXPECT_EQ(DefaultModeName(33), "34");
}
