#include "model/SetupFrames.h"

#include <algorithm>

#include "link/Commands.h"
#include "link/Frame.h"
#include "model/MainSetPayloads.h"
#include "model/ModeController.h"
#include "model/ModeTable.h"
#include "model/PicturePayloads.h"

namespace panora {

namespace {

template <std::size_t N>
FrameBytes Frame(std::uint8_t command, std::uint8_t subCode, const std::array<std::uint8_t, N>& payload) {
  FrameBytes out(N + kFrameOverhead);
  BuildFrame(out.data(), payload.data(), static_cast<int>(N), command, subCode);
  return out;
}

FrameBytes Frame(const ModeFrame& f) {
  return FrameBytes(f.bytes.begin(), f.bytes.begin() + f.length);
}

OutputResolutions ResolutionsOf(const CDataPrm& raw) {
  const CDataPrm rec = raw.Sanitized();
  OutputResolutions r{};
  for (std::size_t o = 0; o < 4; ++o) r[o] = rec.m_bPerOutRes != 0 ? rec.m_nOutRes[o] : rec.m_nAllOutRes;
  return r;
}

// Resolution, inputs, the layers of each output, output display, border.
void AddSettings(std::vector<FrameBytes>& out, const CDataPrm& raw, const OutputResolutions& resolution) {
  const CDataPrm rec = raw.Sanitized();
  Payload4 res{}, inputs{}, display{}, border{};
  for (int i = 0; i < 4; ++i) {
    const auto k = static_cast<std::size_t>(i);
    res[k] = ResolutionCode(resolution[k]);
    inputs[k] = static_cast<std::uint8_t>(rec.m_nChInput[k] + 1);
    ChannelBoxes shown{};
    for (std::size_t ch = 0; ch < 4; ++ch)
      shown[ch] = (rec.m_bDispAll != 0 ? rec.m_bDispCh[ch] : rec.m_bOutDispCh[k][ch]) != 0;
    display[k] = ChannelMask(shown);
    border[k] = rec.m_nBorderCh[k] != 0 ? 1 : 0;
  }
  out.push_back(Frame(cmd::kResolution, cmd::kSubSet, res));
  out.push_back(Frame(cmd::kInputSelect, cmd::kSubSet, inputs));
  for (int o = 0; o < 4; ++o) out.push_back(Frame(cmd::kOverlay, cmd::kSubSet, OverlayPayload(o, LayersOnOutput(rec, o))));
  out.push_back(Frame(cmd::kOutputDisplay, cmd::kSubSet, display));
  out.push_back(Frame(cmd::kBorder, cmd::kSubSet, border));
}

void AddWindows(std::vector<FrameBytes>& out, const OutputResolutions& resolution, const WindowPlaces& windows) {
  for (int ch = 0; ch < 4; ++ch) {
    const Size res = OutputResolution(resolution[static_cast<std::size_t>(ch)]);
    out.push_back(Frame(cmd::kSetGeometry, static_cast<std::uint8_t>(ch),
                        GeometryPayload(FractionsToOutput(windows[static_cast<std::size_t>(ch)], res))));
  }
}

}  // namespace

void SessionPicture::NoteContrast(int picChannel, int value) {
  for (int ch = 0; ch < 4; ++ch)
    if (picChannel == ch || picChannel == kPicChannelAll) contrast[static_cast<std::size_t>(ch)] = value;
}

void SessionPicture::NoteBrightness(int picChannel, int value) {
  for (int ch = 0; ch < 4; ++ch)
    if (picChannel == ch || picChannel == kPicChannelAll) brightness[static_cast<std::size_t>(ch)] = value;
}

void SessionPicture::NoteBezel(int h, int v) {
  bezelH = h;
  bezelV = v;
}

WindowPlaces PlacesOf(const CDataPrm& record) {
  const CDataPrm r = record.Sanitized();
  WindowPlaces p;
  for (std::size_t ch = 0; ch < 4; ++ch) p[ch] = {r.m_dX[ch], r.m_dY[ch], r.m_dW[ch], r.m_dH[ch]};
  return p;
}

void StorePlaces(CDataPrm& record, const WindowPlaces& places) {
  for (std::size_t ch = 0; ch < 4; ++ch) {
    record.m_dX[ch] = places[ch].x;
    record.m_dY[ch] = places[ch].y;
    record.m_dW[ch] = places[ch].w;
    record.m_dH[ch] = places[ch].h;
  }
}

std::vector<FrameBytes> SetupFrames(int mode, const CDataPrm& record, const WindowPlaces& windows,
                                    const SessionPicture* picture, const OutputResolutions* shown) {
  std::vector<FrameBytes> out;
  if (!IsValidMode(mode)) return out;
  const OutputResolutions resolution = shown != nullptr ? *shown : ResolutionsOf(record);
  out.push_back(Frame(RecallFrame(mode)));
  AddSettings(out, record, resolution);
  if (picture != nullptr) {
    for (int ch = 0; ch < 4; ++ch) {
      const auto k = static_cast<std::size_t>(ch);
      const auto sub = static_cast<std::uint8_t>(ch);
      if (picture->contrast[k] >= 0) out.push_back(Frame(cmd::kContrast, sub, ContrastPayload(picture->contrast[k])));
      if (picture->brightness[k] >= 0)
        out.push_back(Frame(cmd::kBrightness, sub, BrightnessPayload(picture->brightness[k])));
    }
    if (picture->bezelH >= 0 && picture->bezelV >= 0)
      out.push_back(Frame(cmd::kBezel, cmd::kSubBezelSet, BezelSetPayload(picture->bezelH, picture->bezelV)));
  }
  AddWindows(out, resolution, windows);
  return out;
}

std::vector<FrameBytes> UserModeFrames(int slot, const CDataPrm& slotRecord) {
  std::vector<FrameBytes> out;
  const int user = ModeOfSlot(slot);
  if (user < 0 || slotRecord.m_bSaved != 1) return out;
  // "Save mode" in a default mode fills its user counterpart.
  int base = -1;
  for (int m = 0; m < kModeTotal && base < 0; ++m)
    if (SaveTarget(m) == user && !IsUserMode(m)) base = m;
  if (base < 0) return out;
  out.push_back(Frame(RecallFrame(base)));
  AddSettings(out, slotRecord, ResolutionsOf(slotRecord));
  AddWindows(out, ResolutionsOf(slotRecord), PlacesOf(slotRecord));
  out.push_back(Frame(SaveFrame()));
  return out;
}

std::vector<FrameBytes> SetupWithUserModes(const std::array<CDataPrm, kSlotCount>& records, int mode,
                                           const CDataPrm& record, const WindowPlaces& windows,
                                           const SessionPicture* picture, const OutputResolutions* shown) {
  std::vector<FrameBytes> out;
  for (int slot = 0; slot < kWorkingSlot; ++slot) {
    std::vector<FrameBytes> f = UserModeFrames(slot, records[static_cast<std::size_t>(slot)]);
    out.insert(out.end(), std::make_move_iterator(f.begin()), std::make_move_iterator(f.end()));
  }
  std::vector<FrameBytes> f = SetupFrames(mode, record, windows, picture, shown);
  out.insert(out.end(), std::make_move_iterator(f.begin()), std::make_move_iterator(f.end()));
  return out;
}

std::string DescribeSetupFrame(const FrameBytes& f) {
  if (f.size() < kFrameOverhead) return "?";
  const int command = f[4], sub = f[5];
  const std::string ch = " CH" + std::to_string(sub + 1);
  switch (command) {
    case cmd::kResolution: return "resolution";
    case cmd::kInputSelect: return "channel inputs";
    case cmd::kOverlay: return "layers Out" + std::to_string(f.size() > 8 ? f[8] + 1 : 0);
    case cmd::kOutputDisplay: return "output display";
    case cmd::kBorder: return "border";
    case cmd::kContrast: return "contrast" + ch;
    case cmd::kBrightness: return "brightness" + ch;
    case cmd::kBezel: return "bezel";
    case cmd::kSetGeometry: return "window" + ch;
    case cmd::kSaveMode: return "store user mode";
    default: break;
  }
  for (const ModeInfo& m : ModeTable())
    if (m.recallCommand == command && m.recallSubCode == sub)
      return "recall " + std::string(m.groupName) + " " + std::to_string(m.variant);
  return "command " + std::to_string(command);
}

}  // namespace panora
