// The whole set-up as the frames that bring a processor to it, in the order
// "Send Set-up" sends them: the recall of the mode; resolution, channel
// inputs, the layers of each output, output display and border from the
// record; contrast and brightness of each channel and the bezel where they
// are known; the four windows from their exact places. A stored user mode
// is made as an operator makes it: the recall of its default mode, its
// settings and windows, then "Save mode". The program and panora-ctl both
// build their batches here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/DataPrm.h"
#include "model/WindowGeometry.h"

namespace panora {

using FrameBytes = std::vector<std::uint8_t>;

// What a session knows beyond the record: contrast and brightness as last
// set on each channel, the bezel as last set or answered. -1: unknown.
struct SessionPicture {
  std::array<int, 4> contrast{-1, -1, -1, -1};
  std::array<int, 4> brightness{-1, -1, -1, -1};
  int bezelH = -1, bezelV = -1;
  // picChannel 0..3, or 4 for all channels.
  void NoteContrast(int picChannel, int value);
  void NoteBrightness(int picChannel, int value);
  void NoteBezel(int h, int v);
};

// The windows as exact fractions of the layout area, CH1..CH4.
using WindowPlaces = std::array<ChannelFractions, 4>;
// The windows a record keeps (m_dX..m_dH).
WindowPlaces PlacesOf(const CDataPrm& record);
void StorePlaces(CDataPrm& record, const WindowPlaces& places);

// The set-up of `record` shown in `mode` (0..33) with `windows`; the
// picture values only where `picture` knows them. The resolution of each
// output (index 0..5) is `shown`'s when given (what the screen shows),
// else the record's; each window converts at its output's.
using OutputResolutions = std::array<int, 4>;
std::vector<FrameBytes> SetupFrames(int mode, const CDataPrm& record, const WindowPlaces& windows,
                                    const SessionPicture* picture = nullptr,
                                    const OutputResolutions* shown = nullptr);
// The frames that make user slot `slot` (0..12) on the processor from its
// record; nothing for a slot not marked stored.
std::vector<FrameBytes> UserModeFrames(int slot, const CDataPrm& slotRecord);
// Every stored user slot of `records` in slot order, then the set-up.
std::vector<FrameBytes> SetupWithUserModes(const std::array<CDataPrm, kSlotCount>& records, int mode,
                                           const CDataPrm& record, const WindowPlaces& windows,
                                           const SessionPicture* picture = nullptr,
                                           const OutputResolutions* shown = nullptr);

// "recall mode 17", "windows", ...: what a frame of these batches does, for
// progress lines.
std::string DescribeSetupFrame(const FrameBytes& frame);

}  // namespace panora
