// One complete set-up of the processor as the program remembers it: borders,
// output resolutions, channel inputs, layer order, displayed channels and the
// four channel windows. The main frame holds fourteen: slots 0..12 for the
// user modes 21..33 and element 13, the working record.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace panora {

inline constexpr int kSlotCount = 14;  // 13 user slots and the working record
inline constexpr int kWorkingSlot = 13;
inline constexpr std::uint8_t kNoSlot = 255;
inline constexpr int kResolutionCount = 6;  // resolution indices 0..5

class CDataPrm {
 public:
  CDataPrm() = default;  // constructor values; note: reserved A/B are 0 here, 100 after any reset

  // Factory default of slot k (0..13; 13 keeps the geometry). Other k: no change.
  void ResetSlot(int k);
  // When slot k (0..13) holds a stored mode (m_bSaved exactly 1), this record
  // becomes a copy of it with m_bSaved = 1; otherwise nothing changes.
  void CopyFromSlot(const std::array<CDataPrm, kSlotCount>& slots, int k);
  // Defaults of the working record when `mode` is recalled; a user mode then
  // takes its stored slot. The geometry is left alone unless a slot is copied.
  void ResetForMode(int mode, const std::array<CDataPrm, kSlotCount>& slots);

  // Values outside their ranges, one line each ("m_nOutRes[2] = 7, expected 0..5").
  // Such values are kept as read so that a file survives a round trip unchanged.
  std::vector<std::string> Validate() const;

  // A copy in which every out-of-range value is replaced by the field's factory
  // value (and geometry clamped into 0..1), for code that indexes tables or
  // sizes windows with record values.
  CDataPrm Sanitized() const;

  bool operator==(const CDataPrm&) const = default;

  std::int32_t m_bSaved = 0;
  std::uint8_t m_bySlot = kNoSlot;
  std::uint8_t m_byReserved1 = 255;
  std::uint8_t m_byReserved2 = 255;
  std::array<std::uint8_t, 4> m_byReservedA{};
  std::array<std::uint8_t, 4> m_byReservedB{};
  std::int32_t m_nBorderScope = 0;
  std::int32_t m_nBorderAll = 0;
  std::array<std::int32_t, 4> m_nBorderCh{};
  std::int32_t m_nAllOutRes = 0;
  std::int32_t m_bPerOutRes = 0;
  std::array<std::int32_t, 4> m_nOutRes{};
  std::array<std::int32_t, 4> m_nChInput{};
  std::int32_t m_nOverlayMode = 0;
  std::array<std::array<std::int32_t, 4>, 4> m_nLayer{};  // [channel][output]
  std::int32_t m_nOverlayOut = 0;
  std::array<std::int32_t, 4> m_bDispCh{};
  std::int32_t m_bDispAll = 1;
  std::array<std::array<std::int32_t, 4>, 4> m_bOutDispCh{};  // [output][channel]
  std::array<double, 4> m_dX{};
  std::array<double, 4> m_dY{};
  std::array<double, 4> m_dW{};
  std::array<double, 4> m_dH{};
};

// ResetSlot(k) on element k, k = 0..13 in order.
void ResetAllSlots(std::array<CDataPrm, kSlotCount>& slots);

}  // namespace panora
