// libFuzzer target: the profile reader on any bytes. What reads must encode
// again and read back to the same bytes, and a failed read leaves the
// profile untouched.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "model/Profile.h"

using namespace panora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CProfile p;
  static const std::vector<std::uint8_t> factory = [] {
    std::vector<std::uint8_t> b;
    if (!EncodeProfile(CProfile(), b)) std::abort();
    return b;
  }();
  ProfileError err;
  std::vector<std::string> notes;
  if (!DecodeProfile(std::span<const std::uint8_t>(data, size), p, &err, &notes)) {
    std::vector<std::uint8_t> after;
    if (!EncodeProfile(p, after) || after != factory) std::abort();
    if (err.offset > size) std::abort();
    return 0;
  }
  (void)Validate(p);
  for (const CDataPrm& r : p.m_DataPrm) (void)r.Sanitized();
  for (int mode = -1; mode <= 34; ++mode) (void)p.ModeName(mode);
  std::vector<std::uint8_t> once, twice;
  if (!EncodeProfile(p, once)) std::abort();
  CProfile q;
  if (!DecodeProfile(once, q)) std::abort();
  if (!EncodeProfile(q, twice) || once != twice) std::abort();
  return 0;
}
