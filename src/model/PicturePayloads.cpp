#include "model/PicturePayloads.h"

#include <algorithm>

namespace panora {

std::uint8_t PictureSubCode(int picChannel) {
  return picChannel >= 0 && picChannel <= 3 ? static_cast<std::uint8_t>(picChannel) : 100;
}

std::array<std::uint8_t, 9> ContrastPayload(int contrast) {
  const int v = std::clamp(contrast, 0, 399);
  const std::uint8_t digits[3] = {static_cast<std::uint8_t>(v / 100), static_cast<std::uint8_t>(v / 10 % 10),
                                  static_cast<std::uint8_t>(v % 10)};
  std::array<std::uint8_t, 9> p{};
  for (int i = 0; i < 9; ++i) p[i] = digits[i % 3];
  return p;
}

std::array<std::uint8_t, 6> BrightnessPayload(int brightness) {
  const int v = std::clamp(brightness, 0, 1023);
  std::array<std::uint8_t, 6> p{};
  for (int i = 0; i < 6; i += 2) {
    p[i] = static_cast<std::uint8_t>(v >> 8);
    p[i + 1] = static_cast<std::uint8_t>(v & 0xFF);
  }
  return p;
}

std::array<std::uint8_t, 4> BorderPayload(int scope, int onOff, const std::array<bool, 4>& checked) {
  std::array<std::uint8_t, 4> p{};
  for (int ch = 0; ch < 4; ++ch) p[ch] = scope == 1 ? (checked[ch] ? 1 : 0) : (onOff == 1 ? 1 : 0);
  return p;
}

void StoreBorder(CDataPrm& record, int scope, int onOff, const std::array<std::uint8_t, 4>& flags) {
  record.m_nBorderScope = scope;
  record.m_nBorderAll = onOff;
  for (int ch = 0; ch < 4; ++ch) record.m_nBorderCh[ch] = flags[ch];
}

int BezelBoxValue(std::string_view text) {
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (v <= 99999) v = v * 10 + (c - '0');
  }
  return v;
}

std::array<std::uint8_t, 2> BezelSetPayload(int h, int v) {
  return {static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(v & 0xFF)};
}

}  // namespace panora
