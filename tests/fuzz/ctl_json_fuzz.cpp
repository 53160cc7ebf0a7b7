// libFuzzer target: the JSON reading of `panora-ctl profile load`. Text that
// reads gives a profile whose JSON reads back to the same JSON; text that
// does not leaves the profile untouched and says why.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ctl/profile_cmd.h"
#include "model/Profile.h"

using namespace panora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CProfile p;
  static const std::string factory = ProfileToJsonText(p);
  std::string error;
  if (!ProfileFromJsonText(text, p, error)) {
    if (error.empty() || ProfileToJsonText(p) != factory) std::abort();
    return 0;
  }
  (void)Validate(p);
  std::vector<std::uint8_t> bytes;
  (void)EncodeProfile(p, bytes);  // refuses names outside Windows-1252: load reports that
  const std::string once = ProfileToJsonText(p);
  CProfile q;
  if (!ProfileFromJsonText(once, q, error) || ProfileToJsonText(q) != once) std::abort();
  return 0;
}
