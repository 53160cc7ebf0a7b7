// libFuzzer target: the settings-file reader (private-profile INI) on any
// file content, and a write into that file, which must keep it readable
// and hold the value written.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/PrivateProfile.h"

using namespace panora;

namespace {

std::string Folder() {
  const char* shm = "/dev/shm";
  std::string base = ::access(shm, W_OK) == 0 ? shm : "/tmp";
  std::string dir = base + "/panora-settings-fuzz-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) std::abort();
  return dir;
}

void Put(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

std::string Bare(const std::string& v) {
  const char* kEnds = " \t\r\n\"'";
  const auto keep = v.find_first_not_of(kEnds);
  if (keep == std::string::npos) return "";
  return v.substr(keep, v.find_last_not_of(kEnds) - keep + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string dir = Folder();
  static const std::string path = NetSettingsPath(dir + "/VideoLib");
  Put(path, data, size);
  const NetSettings s = ReadNetSettings(path);
  (void)s.IpText();
  (void)GetPrivateProfileInt("IP port", "port", 7, path);
  const std::string port = GetPrivateProfileString("IP port", "port", "", path, 16);
  if (port.size() > 15) std::abort();
  (void)GetPrivateProfileString("", "", "x", path);
  // A key and section taken from the input itself: any names the file uses.
  const std::size_t cut = size ? data[0] % 16 : 0;
  const std::string name(reinterpret_cast<const char*>(data), cut <= size ? cut : size);
  (void)GetPrivateProfileInt(name, name, 0, path);
  if (!WriteNetSettings(path, s)) std::abort();
  const NetSettings back = ReadNetSettings(path);
  if (back.IpText() != s.IpText()) std::abort();
  // Values are written as they are and read trimmed and unquoted, so only
  // blanks and quotes at the ends may go.
  if (Bare(back.port) != Bare(s.port)) std::abort();
  return 0;
}
