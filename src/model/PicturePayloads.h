// Payloads of the picture and border page and the bezel page, and the
// record update of the border "Set". Plain code, so that every byte the two
// pages send can be checked without widgets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/DataPrm.h"

namespace panora {

// The channel choice of the picture page: 0..3 = CH1..CH4, 4 = All.
inline constexpr int kPicChannelAll = 4;

// Sub-code of contrast and brightness: the channel 0..3, otherwise 100 (all).
std::uint8_t PictureSubCode(int picChannel);

// Contrast 0..399 as its hundreds, tens and units digits, three times.
// Values outside the range are clamped into it first.
std::array<std::uint8_t, 9> ContrastPayload(int contrast);

// Brightness 0..1023 as a big-endian 16-bit number, three times; clamped.
std::array<std::uint8_t, 6> BrightnessPayload(int brightness);

// The border flags of CH1..CH4: with scope 0 ("ALL channels") all four
// follow onOff (1 = ON); with scope 1 ("Single channel") each channel
// follows its own check box.
std::array<std::uint8_t, 4> BorderPayload(int scope, int onOff, const std::array<bool, 4>& checked);

// What border "Set" keeps in the working record after sending.
void StoreBorder(CDataPrm& record, int scope, int onOff, const std::array<std::uint8_t, 4>& flags);

// The number a bezel box holds: its leading decimal digits, 0 when there
// are none (an empty box). Stops growing past 999999 so that no text can
// overflow it.
int BezelBoxValue(std::string_view text);

// Bezel "Set" refuses a size above 48 (the processor's range): the message
// naming each box that holds one, empty when both sizes may go out.
std::string BezelOutOfRange(int h, int v);

// Bezel "Set": one byte per size. Callers refuse sizes outside 0..48 first
// (BezelOutOfRange); anything else is clamped, never cut to its low byte.
std::array<std::uint8_t, 2> BezelSetPayload(int h, int v);

}  // namespace panora
