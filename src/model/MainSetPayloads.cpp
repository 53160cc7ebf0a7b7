#include "model/MainSetPayloads.h"

namespace panora {

namespace {

bool InBounds(int v, int lo, int hi) {
  return v >= lo && v <= hi;
}

}  // namespace

std::uint8_t ResolutionCode(int index) {
  return static_cast<std::uint8_t>(InBounds(index, 0, kResolutionCount - 1) ? index + 1 : 1);
}

Payload4 ResolutionSet(CDataPrm& rec, bool perOutput, int allOutputs, const std::array<int, 4>& outputs) {
  rec.m_bPerOutRes = perOutput ? 1 : 0;
  Payload4 p{};
  if (perOutput) {
    for (int o = 0; o < 4; ++o) {
      rec.m_nOutRes[o] = outputs[o];
      p[o] = ResolutionCode(outputs[o]);
    }
  } else {
    rec.m_nAllOutRes = allOutputs;
    p.fill(ResolutionCode(allOutputs));
  }
  return p;
}

Payload4 InputSet(CDataPrm& rec, const std::array<int, 4>& inputs) {
  Payload4 p{};
  for (int ch = 0; ch < 4; ++ch) {
    rec.m_nChInput[ch] = inputs[ch];
    // A radio group without a choice sends In1, never a code outside 1..4.
    p[ch] = static_cast<std::uint8_t>(InBounds(inputs[ch], 0, 3) ? inputs[ch] + 1 : 1);
  }
  return p;
}

void LayerClick(Layers& layers, int channel, int newLayer) {
  if (!InBounds(channel, 0, 3) || !InBounds(newLayer, 0, 3)) return;
  const int old = layers[channel];
  // Each pass moves the channels of one layer value, in an order that never
  // meets a channel it has already moved.
  if (newLayer < old) {
    for (int v = old - 1; v >= newLayer; --v)
      for (int& l : layers)
        if (l == v) l = v + 1;
  } else if (newLayer > old) {
    for (int v = old + 1; v <= newLayer; ++v)
      for (int& l : layers)
        if (l == v) l = v - 1;
  }
  layers[channel] = newLayer;
}

void LayerClickById(Layers& layers, int id) {
  const int k = id - 1130;
  if (!InBounds(k, 0, 15)) return;
  LayerClick(layers, k / 4, k % 4);
}

bool IsLayerPermutation(const Layers& layers) {
  unsigned seen = 0;
  for (int l : layers) {
    if (!InBounds(l, 0, 3)) return false;
    seen |= 1u << l;
  }
  return seen == 0xF;
}

Layers LayersOnOutput(const CDataPrm& rec, int out) {
  if (!InBounds(out, 0, 3)) out = 0;
  Layers l{};
  for (int ch = 0; ch < 4; ++ch) l[ch] = rec.m_nLayer[ch][out];
  return IsLayerPermutation(l) ? l : Layers{3, 2, 1, 0};
}

std::array<std::uint8_t, 5> OverlayPayload(int out, const Layers& layers) {
  std::array<std::uint8_t, 5> p{static_cast<std::uint8_t>(out)};
  for (int ch = 0; ch < 4; ++ch) p[1 + ch] = static_cast<std::uint8_t>(layers[ch] + 1);
  return p;
}

OverlayPayloads OverlaySet(CDataPrm& rec, int overlay, int out, const Layers& layers) {
  // Two channels on one layer is no order the processor can show; such a
  // set is refused whole rather than sent or kept.
  if (!IsLayerPermutation(layers)) return {};
  rec.m_nOverlayMode = overlay;
  rec.m_nOverlayOut = out;
  OverlayPayloads r;
  if (overlay == 1) {
    if (!InBounds(out, 0, 3)) return r;
    for (int ch = 0; ch < 4; ++ch) rec.m_nLayer[ch][out] = layers[ch];
    r.count = 1;
    r.payload[0] = OverlayPayload(out, layers);
    return r;
  }
  for (int o = 0; o < 4; ++o) {
    for (int ch = 0; ch < 4; ++ch) rec.m_nLayer[ch][o] = layers[ch];
    r.payload[o] = OverlayPayload(o, layers);
  }
  r.count = 4;
  return r;
}

std::uint8_t ChannelMask(const ChannelBoxes& channels) {
  std::uint8_t m = 0;
  for (int ch = 0; ch < 4; ++ch)
    if (channels[ch]) m = static_cast<std::uint8_t>(m | (1u << ch));
  return m;
}

Payload4 DisplaySet(CDataPrm& rec, bool all, const ChannelBoxes& channels,
                    const std::array<ChannelBoxes, 4>& perOutput) {
  rec.m_bDispAll = all ? 1 : 0;
  for (int ch = 0; ch < 4; ++ch) rec.m_bDispCh[ch] = channels[ch] ? 1 : 0;
  Payload4 p{};
  for (int o = 0; o < 4; ++o) {
    for (int ch = 0; ch < 4; ++ch) rec.m_bOutDispCh[o][ch] = perOutput[o][ch] ? 1 : 0;
    p[o] = ChannelMask(all ? channels : perOutput[o]);
  }
  return p;
}

}  // namespace panora
