#include "model/Text.h"

#include <cstdint>
#include <utility>

namespace panora {

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half equals Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char32_t ByteToChar(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHigh[b - 0x80];
  return b;
}

int CharToByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

std::size_t Utf8Length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::size_t n = 0;
  for (unsigned char b : bytes) n += Utf8Length(ByteToChar(b));
  std::string out(n, '\0');  // exact, so that a name costs no more memory than it needs
  char* p = out.data();
  for (unsigned char b : bytes) {
    const char32_t c = ByteToChar(b);
    if (c < 0x80) {
      *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *p++ = static_cast<char>(0xC0 | (c >> 6));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {  // the table holds nothing above U+FFFF
      *p++ = static_cast<char>(0xE0 | (c >> 12));
      *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

long DecodeUtf8At(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (pos >= s.size()) return -1;
  const unsigned char b0 = byte(pos);
  int extra;
  long c;
  if (b0 < 0x80) {
    ++pos;
    return b0;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3;
    c = b0 & 0x07;
  } else {
    return -1;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) return -1;  // truncated sequence
  for (int i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + static_cast<std::size_t>(i));
    if ((b & 0xC0) != 0x80) return -1;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr long kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  pos += static_cast<std::size_t>(extra) + 1;
  return c;
}

bool Utf8ToCp1252(std::string_view utf8, std::string& out, std::size_t* badOffset) {
  out.clear();
  std::string result;
  result.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t at = pos;
    const long c = DecodeUtf8At(utf8, pos);
    const int b = c < 0 ? -1 : CharToByte(static_cast<char32_t>(c));
    if (b < 0) {
      if (badOffset != nullptr) *badOffset = at;
      return false;
    }
    result.push_back(static_cast<char>(b));
  }
  out = std::move(result);
  return true;
}

}  // namespace panora
