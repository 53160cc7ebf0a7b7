#include "model/PicturePayloads.h"

#include <gtest/gtest.h>

using namespace panora;

namespace {

template <std::size_t N>
std::vector<int> Bytes(const std::array<std::uint8_t, N>& a) {
  return std::vector<int>(a.begin(), a.end());
}

TEST(PicturePayloads, ContrastAndBrightnessGoToOneChannelOrAll) {
  EXPECT_EQ(PictureSubCode(1), 1);
  EXPECT_EQ(PictureSubCode(3), 3);
  EXPECT_EQ(PictureSubCode(kPicChannelAll), 100);
  EXPECT_EQ(PictureSubCode(-1), 100);

  // Digits hundreds, tens, units, three times.
  EXPECT_EQ(Bytes(ContrastPayload(399)), (std::vector<int>{3, 9, 9, 3, 9, 9, 3, 9, 9}));
  EXPECT_EQ(Bytes(ContrastPayload(5)), (std::vector<int>{0, 0, 5, 0, 0, 5, 0, 0, 5}));
  EXPECT_EQ(Bytes(ContrastPayload(100)), (std::vector<int>{1, 0, 0, 1, 0, 0, 1, 0, 0}));
  // A value the track bar cannot hold never makes a digit above 9.
  EXPECT_EQ(Bytes(ContrastPayload(1000)), Bytes(ContrastPayload(399)));
  EXPECT_EQ(Bytes(ContrastPayload(-3)), Bytes(ContrastPayload(0)));

  // Big-endian 16 bits, three times.
  EXPECT_EQ(Bytes(BrightnessPayload(1023)), (std::vector<int>{3, 255, 3, 255, 3, 255}));
  EXPECT_EQ(Bytes(BrightnessPayload(512)), (std::vector<int>{2, 0, 2, 0, 2, 0}));
  EXPECT_EQ(Bytes(BrightnessPayload(70000)), Bytes(BrightnessPayload(1023)));
}

TEST(PicturePayloads, BorderFlagsAndTheRecordTheyLeave) {
  const std::array<bool, 4> ch2ch4{false, true, false, true};
  EXPECT_EQ(Bytes(BorderPayload(0, 0, ch2ch4)), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(BorderPayload(0, 1, ch2ch4)), (std::vector<int>{1, 1, 1, 1}));
  // Single channel: the boxes count, the ON/OFF choice does not.
  EXPECT_EQ(Bytes(BorderPayload(1, 1, ch2ch4)), (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(Bytes(BorderPayload(1, 0, ch2ch4)), (std::vector<int>{0, 1, 0, 1}));

  CDataPrm r;
  r.m_nBorderCh = {1, 1, 1, 1};
  StoreBorder(r, 1, 1, BorderPayload(1, 1, ch2ch4));
  EXPECT_EQ(r.m_nBorderScope, 1);
  EXPECT_EQ(r.m_nBorderAll, 1);
  EXPECT_EQ(r.m_nBorderCh, (std::array<std::int32_t, 4>{0, 1, 0, 1}));
  StoreBorder(r, 0, 0, BorderPayload(0, 0, ch2ch4));
  EXPECT_EQ(r.m_nBorderScope, 0);
  EXPECT_EQ(r.m_nBorderAll, 0);
  EXPECT_EQ(r.m_nBorderCh, (std::array<std::int32_t, 4>{0, 0, 0, 0}));
}

TEST(PicturePayloads, BezelBoxesAndTheirLowBytes) {
  EXPECT_EQ(BezelBoxValue("48"), 48);
  EXPECT_EQ(BezelBoxValue(""), 0);
  EXPECT_EQ(BezelBoxValue("12a"), 12);
  EXPECT_EQ(BezelBoxValue("x3"), 0);
  EXPECT_EQ(BezelBoxValue("0060"), 60);
  EXPECT_EQ(BezelBoxValue(std::string(40, '9')), 999999);

  EXPECT_EQ(Bytes(BezelSetPayload(48, 0)), (std::vector<int>{0x30, 0x00}));
  EXPECT_EQ(Bytes(BezelSetPayload(12, 7)), (std::vector<int>{12, 7}));
  // Never a size's low byte: 300 once went out as 44, 256 as 0.
  EXPECT_EQ(Bytes(BezelSetPayload(300, 256)), (std::vector<int>{48, 48}));
}

TEST(PicturePayloads, BezelSizesAbove48AreRefusedNamingTheirBox) {
  EXPECT_EQ(BezelOutOfRange(0, 0), "");
  EXPECT_EQ(BezelOutOfRange(48, 48), "");
  EXPECT_EQ(BezelOutOfRange(49, 0), "H-Bezel must be 0 to 48, not 49.\nNothing was sent.");
  EXPECT_EQ(BezelOutOfRange(0, 60), "V-Bezel must be 0 to 48, not 60.\nNothing was sent.");
  EXPECT_EQ(BezelOutOfRange(BezelBoxValue("999"), BezelBoxValue("300")),
            "H-Bezel must be 0 to 48, not 999.\nV-Bezel must be 0 to 48, not 300.\nNothing was sent.");
}

}  // namespace
