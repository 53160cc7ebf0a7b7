#include "model/PicturePayloads.h"

#include <algorithm>

#include "link/Commands.h"

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

std::string BezelOutOfRange(int h, int v) {
  std::string text;
  const auto check = [&text](const char* box, int value) {
    if (value >= 0 && value <= cmd::kBezelMax) return;
    text += box;
    text += " must be 0 to 48, not " + std::to_string(value) + ".\n";
  };
  check("H-Bezel", h);
  check("V-Bezel", v);
  if (!text.empty()) text += "Nothing was sent.";
  return text;
}

std::array<std::uint8_t, 2> BezelSetPayload(int h, int v) {
  return {static_cast<std::uint8_t>(std::clamp(h, 0, cmd::kBezelMax)),
          static_cast<std::uint8_t>(std::clamp(v, 0, cmd::kBezelMax))};
}

}  // namespace panora
