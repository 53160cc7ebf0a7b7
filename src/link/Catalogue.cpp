#include "link/Catalogue.h"

#include "link/Commands.h"

namespace panora {

namespace {
using namespace cmd;
// Where a flag depends on the sender, the row holds the value most senders use:
// busy for 0x30 (the drag and the frame sizing check; the position dialog and
// "Refresh output" do not) and for the recalls (the window buttons of modes
// 0..7 do not check); noted for 0x37 (only the "ALL channels" border cases are).
constexpr CommandInfo kCatalogue[] = {
    {kRecallZoomOut, kSubRecallFourTimes, kSubRecallFourTimes + 3, 0, true, true,
     "recall mode 0..3 (4Times-Default 1..4)", "recall 4Times-Default"},
    {kRecallZoomOut, kSubRecallThreeTimes, kSubRecallThreeTimes + 3, 0, true, true,
     "recall mode 4..7 (3Times-Default 1..4)", "recall 3Times-Default"},
    {kRecallFull, kSubRecallDefault, kSubRecallDefault + 4, 0, true, true,
     "recall mode 8..12 (Full-Default 1..5)", "recall Full-Default"},
    {kRecallPip, kSubRecallDefault, kSubRecallDefault + 4, 0, true, true,
     "recall mode 13..17 (PIP-Default 1..5)", "recall PIP-Default"},
    {kRecallPop, kSubRecallDefault, kSubRecallDefault + 2, 0, true, true,
     "recall mode 18..20 (POP-Default 1..3)", "recall POP-Default"},
    {kRecallFull, kSubRecallUser, kSubRecallUser + 4, 0, true, true, "recall mode 21..25 (Full-User 1..5)",
     "recall Full-User"},
    {kRecallPip, kSubRecallUser, kSubRecallUser + 4, 0, true, true, "recall mode 26..30 (PIP-User 1..5)",
     "recall PIP-User"},
    {kRecallPop, kSubRecallUser, kSubRecallUser + 2, 0, true, true, "recall mode 31..33 (POP-User 1..3)",
     "recall POP-User"},
    {kSetGeometry, kSubChannelFirst, kSubChannelLast, kSetGeometryLen, true, true,
     "channel window X, Y, W, H in output pixels", "window geometry"},
    {kQueryPosition, kSubChannelFirst, kSubChannelLast, 0, false, true, "query a channel window's position",
     "position query"},
    {kMovePicture, kSubChannelFirst, kSubChannelLast, kMoveZoomLen, false, true,
     "shift a channel's picture (direction, step)", "picture shift"},
    {kZoomPicture, kSubChannelFirst, kSubChannelLast, kMoveZoomLen, false, true,
     "zoom a channel's picture (zoom, step)", "picture zoom"},
    {kOutputDisplay, kSubSet, kSubSet, kFourByteLen, false, true, "channel mask of Out1..Out4",
     "output display"},
    {kInputSelect, kSubSet, kSubSet, kFourByteLen, false, true, "input of CH1..CH4", "input select"},
    {kBorder, kSubSet, kSubSet, kFourByteLen, true, true, "border flag of CH1..CH4", "border"},
    {kOverlay, kSubSet, kSubSet, kOverlayLen, true, true, "layer order of one output", "overlay"},
    {kContrast, kSubChannelFirst, kSubChannelLast, kContrastLen, false, false, "contrast of one channel",
     "contrast"},
    {kContrast, kSubAllChannels, kSubAllChannels, kContrastLen, false, false, "contrast of all channels",
     "contrast"},
    {kBrightness, kSubChannelFirst, kSubChannelLast, kBrightnessLen, false, false,
     "brightness of one channel", "brightness"},
    {kBrightness, kSubAllChannels, kSubAllChannels, kBrightnessLen, false, false,
     "brightness of all channels", "brightness"},
    {kResolution, kSubSet, kSubSet, kResolutionLen, true, true, "resolution code of Out1..Out4",
     "resolution"},
    {kBezel, kSubBezelQuery, kSubBezelQuery, 0, false, true, "query the bezel", "bezel query"},
    {kBezel, kSubBezelSet, kSubBezelSet, kBezelSetLen, false, true, "set the bezel (H, V)", "bezel set"},
    {kSaveMode, kSubSaveMode, kSubSaveMode, 0, true, true, "store the set-up in the current user mode",
     "save mode"},
    {kFactoryReset, kSubFactoryReset, kSubFactoryReset, 0, false, true, "factory reset", "factory reset"},
    {kHandshake, kSubHandshake, kSubHandshake, 0, false, true, "connect handshake", "handshake"},
    {kVersion, kSubVersion, kSubVersion, 0, false, true, "firmware version", "firmware version"},
};
}  // namespace

std::span<const CommandInfo> CommandCatalogue() {
  return kCatalogue;
}

const CommandInfo* FindCommand(std::uint8_t command, std::uint8_t subCode) {
  for (const auto& row : kCatalogue) {
    if (row.command == command && subCode >= row.subFirst && subCode <= row.subLast) return &row;
  }
  return nullptr;
}

}  // namespace panora
