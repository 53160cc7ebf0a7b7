#include "model/Text.h"

#include <gtest/gtest.h>

#include <string>

using namespace panora;

TEST(Text, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(utf8, back));
  EXPECT_EQ(back, all);
}

TEST(Text, KnownCharacters) {
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\u0178");
  EXPECT_EQ(Cp1252ToUtf8("Caf\xE9"), "Caf\u00E9");
  // The five bytes Windows-1252 leaves open become the C1 control of the same value.
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    const std::string expected = {static_cast<char>(0xC2), static_cast<char>(b)};
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(b))), expected);
  }
  std::string out;
  ASSERT_TRUE(Utf8ToCp1252("\u201Cx\u201D \u2122", out));
  EXPECT_EQ(out, "\x93x\x94 \x99");
}

TEST(Text, CharactersAProfileCannotHoldAreRefused) {
  std::string out = "old";
  std::size_t bad = 99;
  EXPECT_FALSE(Utf8ToCp1252("ab\u4E2D", out, &bad));  // CJK
  EXPECT_EQ(bad, 2u);
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(Utf8ToCp1252("\u0080", out));      // C1 control that 1252 fills with a character
  EXPECT_FALSE(Utf8ToCp1252("\U0001F600", out));  // outside the basic plane
  // Malformed UTF-8.
  for (const char* s :
       {"\xC0\x80", "\x80", "a\xE2\x82", "\xED\xA0\x80", "\xF5\x80\x80\x80", "\xE0\x80\x80"}) {
    EXPECT_FALSE(Utf8ToCp1252(s, out)) << s;
  }
}
