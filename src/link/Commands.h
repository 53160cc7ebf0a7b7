// Command bytes and sub-codes the program sends to the processor.
#pragma once

#include <cstdint>

namespace panora::cmd {

// Mode recall: the command byte is the mode group, the sub-code the variant
// (built by BuildModeRecall; callers never spell these out).
inline constexpr std::uint8_t kRecallZoomOut = 0x00;  // four- and three-times
inline constexpr std::uint8_t kRecallPip = 0x01;
inline constexpr std::uint8_t kRecallPop = 0x02;
inline constexpr std::uint8_t kRecallFull = 0x03;
inline constexpr std::uint8_t kSubRecallFourTimes = 0x00;   // 0x00..0x03
inline constexpr std::uint8_t kSubRecallThreeTimes = 0x10;  // 0x10..0x13
inline constexpr std::uint8_t kSubRecallDefault = 0x00;     // + variant - 1 (up to 0x04)
inline constexpr std::uint8_t kSubRecallUser = 0x20;        // + variant - 1 (up to 0x24)

// Commands addressed to one channel or window carry its index as sub-code.
inline constexpr std::uint8_t kSubChannelFirst = 0;  // CH1
inline constexpr std::uint8_t kSubChannelLast = 3;   // CH4

// Channel window geometry: sub-code = channel 0..3, X Y W H big-endian.
inline constexpr std::uint8_t kSetGeometry = 0x30;
inline constexpr int kSetGeometryLen = 8;
// Position query: sub-code = window 0..3; noted as (0x31, 0).
inline constexpr std::uint8_t kQueryPosition = 0x31;
// Full-mode shift and zoom: sub-code = channel 0..3, (direction, step).
inline constexpr std::uint8_t kMovePicture = 0x32;
inline constexpr std::uint8_t kZoomPicture = 0x33;
inline constexpr int kMoveZoomLen = 2;
// Four-byte settings, sub-code 1.
inline constexpr std::uint8_t kOutputDisplay = 0x35;  // channel mask per output
inline constexpr std::uint8_t kInputSelect = 0x36;    // input 1..4 per channel
inline constexpr std::uint8_t kBorder = 0x37;         // border flag per channel
inline constexpr std::uint8_t kSubSet = 0x01;
inline constexpr int kFourByteLen = 4;
// Layer order of one output: output 0..3, then layer 1..4 of CH1..CH4.
inline constexpr std::uint8_t kOverlay = 0x38;
inline constexpr int kOverlayLen = 5;
// Picture: sub-code 0..3 = channel, 100 = all channels.
inline constexpr std::uint8_t kContrast = 0x40;
inline constexpr int kContrastLen = 9;
inline constexpr std::uint8_t kBrightness = 0x41;
inline constexpr int kBrightnessLen = 6;
inline constexpr std::uint8_t kSubAllChannels = 100;
// Output resolution code 1..6 per output, sub-code 1.
inline constexpr std::uint8_t kResolution = 0x50;
inline constexpr int kResolutionLen = 4;
// Bezel: sub-code 0 queries, sub-code 1 sets (H, V); both noted as (0x53, 0).
inline constexpr std::uint8_t kBezel = 0x53;
inline constexpr std::uint8_t kSubBezelQuery = 0x00;
inline constexpr std::uint8_t kSubBezelSet = 0x01;
inline constexpr int kBezelSetLen = 2;
inline constexpr int kBezelMax = 48;
// Store the current set-up in the current user mode.
inline constexpr std::uint8_t kSaveMode = 0x80;
inline constexpr std::uint8_t kSubSaveMode = 0x01;
inline constexpr std::uint8_t kFactoryReset = 0xF0;
inline constexpr std::uint8_t kSubFactoryReset = 0x01;
inline constexpr std::uint8_t kHandshake = 0xF1;
inline constexpr std::uint8_t kSubHandshake = 0x00;
inline constexpr std::uint8_t kVersion = 0xFF;
inline constexpr std::uint8_t kSubVersion = 0x00;

// Answer bytes the program reads, by the last noted command.
inline constexpr int kAnswerHandshakeResult = 6;  // 0 accepted
inline constexpr int kAnswerData = 9;             // first data byte

}  // namespace panora::cmd
