// What the four "Set" buttons of the main settings panel write into the
// working record and send, and the layer arithmetic of its overlay group.
// Plain values in, record changes and payload bytes out: the panel only
// reads its controls and hands the bytes to the send path.
#pragma once

#include <array>
#include <cstdint>

#include "model/DataPrm.h"

namespace panora {

// The six output resolutions by index; the code sent for index i is i + 1.
struct ResolutionEntry {
  const char* text;
  int width, height;
};
inline constexpr std::array<ResolutionEntry, kResolutionCount> kResolutionTable{{
    {"1080P 1920x1080", 1920, 1080},
    {"720P 1280x720", 1280, 720},
    {"WUXGA 1920x1200", 1920, 1200},
    {"UXGA 1600x1200", 1600, 1200},
    {"SXGA 1280x1024", 1280, 1024},
    {"XGA 1024x768", 1024, 768},
}};

using Payload4 = std::array<std::uint8_t, 4>;
using Layers = std::array<int, 4>;  // layer 0..3 (L1..L4) of CH1..CH4

// The code of a resolution index; an index outside 0..5 (a list without a
// choice) sends the first resolution rather than a code the processor lacks.
std::uint8_t ResolutionCode(int index);

// Resolution Set (command 0x50). With `perOutput` each output sends its own
// index and m_nOutRes takes them; otherwise all four send `allOutputs` and
// m_nAllOutRes takes it. The other resolution fields keep their values.
Payload4 ResolutionSet(CDataPrm& rec, bool perOutput, int allOutputs, const std::array<int, 4>& outputs);

// Input Set (command 0x36): m_nChInput = inputs, payload input + 1 per channel.
Payload4 InputSet(CDataPrm& rec, const std::array<int, 4>& inputs);

// A click on layer `newLayer` of `channel`: the channels between the old and
// the new layer shift by one towards the freed layer, so a permutation of
// 0..3 stays one. Values outside 0..3 change nothing.
void LayerClick(Layers& layers, int channel, int newLayer);
// The same, by the radio's control id 1130..1145 (1130 + 4 * channel + layer).
void LayerClickById(Layers& layers, int id);

bool IsLayerPermutation(const Layers& layers);
// The layers of the channels on output `out` in a record, or CH1 on L4 down
// to CH4 on L1 when the record's values are no permutation of 0..3 (a
// damaged profile), so that the layer radios can keep one.
Layers LayersOnOutput(const CDataPrm& rec, int out);

// Overlay Set (command 0x38). Writes m_nOverlayMode, m_nOverlayOut and the
// layers of output `out` (Different, overlay 1) or of every output (All).
// Answers the payloads to send: one for `out`, or four for outputs 0..3.
// Layers that are no permutation of 0..3 change nothing and send nothing
// (count 0).
struct OverlayPayloads {
  int count = 0;
  std::array<std::array<std::uint8_t, 5>, 4> payload{};
};
OverlayPayloads OverlaySet(CDataPrm& rec, int overlay, int out, const Layers& layers);
// Byte 0 the output 0..3 (not plus one), then the layer 1..4 of CH1..CH4.
std::array<std::uint8_t, 5> OverlayPayload(int out, const Layers& layers);

// Output display Set (command 0x35). `channels` are the boxes Ch1..Ch4,
// `perOutput[o][ch]` the hidden per-output boxes, `all` the hidden "All".
// Writes m_bDispCh, m_bDispAll and m_bOutDispCh.
using ChannelBoxes = std::array<bool, 4>;
Payload4 DisplaySet(CDataPrm& rec, bool all, const ChannelBoxes& channels,
                    const std::array<ChannelBoxes, 4>& perOutput);
// Bit ch set for every ticked channel; bits 4..7 stay 0.
std::uint8_t ChannelMask(const ChannelBoxes& channels);

}  // namespace panora
