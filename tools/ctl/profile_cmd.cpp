#include "ctl/profile_cmd.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "link/SafeFile.h"
#include "model/ModeTable.h"
#include "model/Profile.h"

using namespace panora;
using Json = nlohmann::ordered_json;  // keeps the record's field order

namespace {

constexpr const char* kProfileUsage =
    "usage: panora-ctl profile default OUT        write the profile of a factory-fresh program\n"
    "       panora-ctl profile dump FILE          print FILE as JSON\n"
    "       panora-ctl profile load JSON OUT      write the profile described by JSON ('-' = stdin,\n"
    "                                             at most 16 MiB)\n"
    "       panora-ctl profile convert IN OUT     read IN and write it again as OUT\n"
    "       panora-ctl profile check FILE         exit 0 when FILE reads, listing out-of-range values\n";

// ---- doubles ------------------------------------------------------------
// Finite doubles are JSON numbers, printed in the shortest form that reads
// back to the same bits. JSON has no NaN or infinity, so those (which only a
// damaged file holds) become their bit pattern as a "0x..." string.

Json DoubleToJson(double d) {
  if (std::isfinite(d)) return d;
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%016" PRIx64, bits);
  return buf;
}

struct JsonError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double JsonToDouble(const Json& j, const std::string& where) {
  if (j.is_number()) return j.get<double>();
  if (j.is_string()) {
    const std::string s = j.get<std::string>();
    if (s.size() == 18 && s.compare(0, 2, "0x") == 0 &&
        s.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
      const std::uint64_t bits = std::strtoull(s.c_str() + 2, nullptr, 16);
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
  }
  throw JsonError(where + ": expected a number or a \"0x\" and 16 hex digits bit pattern");
}

std::int64_t JsonToInt(const Json& j, const std::string& where, std::int64_t lo, std::int64_t hi) {
  if (!j.is_number_integer()) throw JsonError(where + ": expected an integer");
  const std::int64_t v =
      j.is_number_unsigned()
          ? static_cast<std::int64_t>(std::min<std::uint64_t>(j.get<std::uint64_t>(), INT64_MAX))
          : j.get<std::int64_t>();
  if (v < lo || v > hi)
    throw JsonError(where + ": " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                    std::to_string(hi));
  return v;
}

const Json& Array(const Json& j, const std::string& where, std::size_t n) {
  if (!j.is_array() || j.size() != n) throw JsonError(where + ": expected an array of " + std::to_string(n));
  return j;
}

// ---- records ------------------------------------------------------------

template <typename T, std::size_t N>
Json Ints(const std::array<T, N>& a) {
  Json j = Json::array();
  for (T v : a) j.push_back(static_cast<int>(v));
  return j;
}

Json Doubles(const std::array<double, 4>& a) {
  Json j = Json::array();
  for (double d : a) j.push_back(DoubleToJson(d));
  return j;
}

Json RecordToJson(const CDataPrm& r) {
  Json j = Json::object();
  j["m_bSaved"] = r.m_bSaved;
  j["m_bySlot"] = r.m_bySlot;
  j["m_byReserved1"] = r.m_byReserved1;
  j["m_byReserved2"] = r.m_byReserved2;
  j["m_byReservedA"] = Ints(r.m_byReservedA);
  j["m_byReservedB"] = Ints(r.m_byReservedB);
  j["m_nBorderScope"] = r.m_nBorderScope;
  j["m_nBorderAll"] = r.m_nBorderAll;
  j["m_nBorderCh"] = Ints(r.m_nBorderCh);
  j["m_nAllOutRes"] = r.m_nAllOutRes;
  j["m_bPerOutRes"] = r.m_bPerOutRes;
  j["m_nOutRes"] = Ints(r.m_nOutRes);
  j["m_nChInput"] = Ints(r.m_nChInput);
  j["m_nOverlayMode"] = r.m_nOverlayMode;
  j["m_nLayer"] = Json::array();
  for (const auto& ch : r.m_nLayer) j["m_nLayer"].push_back(Ints(ch));
  j["m_nOverlayOut"] = r.m_nOverlayOut;
  j["m_bDispCh"] = Ints(r.m_bDispCh);
  j["m_bDispAll"] = r.m_bDispAll;
  j["m_bOutDispCh"] = Json::array();
  for (const auto& out : r.m_bOutDispCh) j["m_bOutDispCh"].push_back(Ints(out));
  j["m_dX"] = Doubles(r.m_dX);
  j["m_dY"] = Doubles(r.m_dY);
  j["m_dW"] = Doubles(r.m_dW);
  j["m_dH"] = Doubles(r.m_dH);
  return j;
}

constexpr std::int64_t kI32Min = INT32_MIN;
constexpr std::int64_t kI32Max = INT32_MAX;

CDataPrm RecordFromJson(const Json& j, const std::string& where) {
  if (!j.is_object()) throw JsonError(where + ": expected an object");
  CDataPrm r;
  std::size_t used = 0;
  const auto field = [&](const char* name) -> const Json& {
    const auto it = j.find(name);
    if (it == j.end()) throw JsonError(where + ": missing \"" + name + "\"");
    ++used;
    return *it;
  };
  const auto i32 = [&](const char* name, std::int32_t& v) {
    v = static_cast<std::int32_t>(JsonToInt(field(name), where + "." + name, kI32Min, kI32Max));
  };
  const auto u8 = [&](const char* name, std::uint8_t& v) {
    v = static_cast<std::uint8_t>(JsonToInt(field(name), where + "." + name, 0, 255));
  };
  const auto arr = [&](const char* name, auto& a, std::int64_t lo, std::int64_t hi) {
    const Json& ja = Array(field(name), where + "." + name, a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
      a[i] = static_cast<std::remove_reference_t<decltype(a[i])>>(
          JsonToInt(ja[i], where + "." + name + "[" + std::to_string(i) + "]", lo, hi));
  };
  const auto table = [&](const char* name, std::array<std::array<std::int32_t, 4>, 4>& t) {
    const Json& jt = Array(field(name), where + "." + name, 4);
    for (std::size_t i = 0; i < 4; ++i) {
      const std::string at = where + "." + name + "[" + std::to_string(i) + "]";
      const Json& row = Array(jt[i], at, 4);
      for (std::size_t k = 0; k < 4; ++k)
        t[i][k] = static_cast<std::int32_t>(
            JsonToInt(row[k], at + "[" + std::to_string(k) + "]", kI32Min, kI32Max));
    }
  };
  const auto geometry = [&](const char* name, std::array<double, 4>& a) {
    const Json& ja = Array(field(name), where + "." + name, 4);
    for (std::size_t i = 0; i < 4; ++i)
      a[i] = JsonToDouble(ja[i], where + "." + name + "[" + std::to_string(i) + "]");
  };
  i32("m_bSaved", r.m_bSaved);
  u8("m_bySlot", r.m_bySlot);
  u8("m_byReserved1", r.m_byReserved1);
  u8("m_byReserved2", r.m_byReserved2);
  arr("m_byReservedA", r.m_byReservedA, 0, 255);
  arr("m_byReservedB", r.m_byReservedB, 0, 255);
  i32("m_nBorderScope", r.m_nBorderScope);
  i32("m_nBorderAll", r.m_nBorderAll);
  arr("m_nBorderCh", r.m_nBorderCh, kI32Min, kI32Max);
  i32("m_nAllOutRes", r.m_nAllOutRes);
  i32("m_bPerOutRes", r.m_bPerOutRes);
  arr("m_nOutRes", r.m_nOutRes, kI32Min, kI32Max);
  arr("m_nChInput", r.m_nChInput, kI32Min, kI32Max);
  i32("m_nOverlayMode", r.m_nOverlayMode);
  table("m_nLayer", r.m_nLayer);
  i32("m_nOverlayOut", r.m_nOverlayOut);
  arr("m_bDispCh", r.m_bDispCh, kI32Min, kI32Max);
  i32("m_bDispAll", r.m_bDispAll);
  table("m_bOutDispCh", r.m_bOutDispCh);
  geometry("m_dX", r.m_dX);
  geometry("m_dY", r.m_dY);
  geometry("m_dW", r.m_dW);
  geometry("m_dH", r.m_dH);
  if (used != j.size()) {  // a misspelt key would otherwise be dropped silently
    for (const auto& [key, value] : j.items()) {
      (void)value;
      if (RecordToJson(CDataPrm{}).contains(key) == false)
        throw JsonError(where + ": unknown key \"" + key + "\"");
    }
  }
  return r;
}

Json ProfileToJson(const CProfile& p) {
  Json j = Json::object();
  j["m_nToolMode"] = Ints(p.m_nToolMode);
  j["m_strModeName"] = p.m_strModeName;
  j["m_DataPrm"] = Json::array();
  for (const CDataPrm& r : p.m_DataPrm) j["m_DataPrm"].push_back(RecordToJson(r));
  return j;
}

void ProfileFromJson(const Json& j, CProfile& p) {
  if (!j.is_object()) throw JsonError("expected a JSON object");
  for (const auto& [key, value] : j.items()) {
    (void)value;
    if (key != "m_nToolMode" && key != "m_strModeName" && key != "m_DataPrm")
      throw JsonError("unknown key \"" + key + "\"");
  }
  const auto need = [&](const char* key) -> const Json& {
    if (!j.contains(key)) throw JsonError(std::string("missing \"") + key + "\"");
    return j.at(key);
  };
  const Json& tools = Array(need("m_nToolMode"), "m_nToolMode", kToolButtonCount);
  for (std::size_t i = 0; i < kToolButtonCount; ++i) {
    const std::string at = "m_nToolMode[" + std::to_string(i) + "]";
    p.m_nToolMode[i] = static_cast<int>(JsonToInt(tools[i], at, -1, kModeTotal - 1));
  }
  const Json& names = need("m_strModeName");
  if (!names.is_array()) throw JsonError("m_strModeName: expected an array of strings");
  p.m_strModeName.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!names[i].is_string()) throw JsonError("m_strModeName[" + std::to_string(i) + "]: expected a string");
    p.m_strModeName.push_back(names[i].get<std::string>());
  }
  const Json& records = Array(need("m_DataPrm"), "m_DataPrm", kSlotCount);
  for (int k = 0; k < kSlotCount; ++k)
    p.m_DataPrm[k] = RecordFromJson(records[k], "m_DataPrm[" + std::to_string(k) + "]");
}

// ---- commands -----------------------------------------------------------

int Failed(const std::string& what) {
  std::fprintf(stderr, "panora-ctl profile: %s\n", what.c_str());
  return 1;
}

int Write(const std::string& path, const CProfile& p) {
  ProfileError e;
  if (!WriteProfile(path, p, &e)) return Failed(e.message);
  return 0;
}

bool Read(const std::string& path, CProfile& p, std::vector<std::string>* notes) {
  ProfileError e;
  if (ReadProfile(path, p, &e, notes)) return true;
  Failed(DescribeProfileError(path, e));
  return false;
}

int Default(const std::string& out) {
  CProfile p;  // as the program saves at its first exit
  p.ResetAllSlots();
  p.ResetWorkingForMode(kStartupMode);
  return Write(out, p);
}

int Dump(const std::string& in) {
  CProfile p;
  std::vector<std::string> notes;
  if (!Read(in, p, &notes)) return 1;
  for (const auto& n : notes) std::fprintf(stderr, "note: %s\n", n.c_str());
  std::cout << ProfileToJsonText(p) << '\n';
  return std::cout.good() ? 0 : 1;
}

// The JSON of the largest profile the reader takes is under 2 MiB.
constexpr std::size_t kMaxJsonBytes = 16 * 1024 * 1024;

std::string TooLarge(const std::string& what) {
  return what + " is larger than 16 MiB, far more than the JSON of any profile; nothing was written";
}

int Load(const std::string& jsonPath, const std::string& out) {
  std::string text;
  if (jsonPath == "-") {
    // Read in slices, so that no more than the limit is ever held.
    char slice[65536];
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, slice, sizeof slice);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Failed(std::string("cannot read standard input: ") + std::strerror(errno));
      if (n == 0) break;
      if (text.size() + static_cast<std::size_t>(n) > kMaxJsonBytes)
        return Failed(TooLarge("standard input"));
      text.append(slice, static_cast<std::size_t>(n));
    }
  } else {
    // Too large a file is refused before it is read; a FIFO or device at
    // once ('-' reads standard input).
    struct stat st {};
    if (::stat(jsonPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) > kMaxJsonBytes)
      return Failed(TooLarge(jsonPath));
    std::vector<std::uint8_t> bytes;
    std::string error;
    FileReadResult file;
    if (!ReadRegularFile(jsonPath, kMaxJsonBytes, bytes, &error, &file)) return Failed(error);
    if (file.size > kMaxJsonBytes) return Failed(TooLarge(jsonPath));
    text.assign(bytes.begin(), bytes.end());
  }
  CProfile p;
  std::string error;
  if (!ProfileFromJsonText(text, p, error)) return Failed(jsonPath + ": " + error);
  for (const auto& line : Validate(p)) std::fprintf(stderr, "warning: %s\n", line.c_str());
  return Write(out, p);
}

int Convert(const std::string& in, const std::string& out) {
  CProfile p;
  std::vector<std::string> notes;
  if (!Read(in, p, &notes)) return 1;
  for (const auto& n : notes) std::fprintf(stderr, "note: %s\n", n.c_str());
  return Write(out, p);
}

int Check(const std::string& in) {
  CProfile p;
  ProfileError e;
  std::vector<std::string> notes;
  if (!ReadProfile(in, p, &e, &notes)) {
    std::printf("%s\n", DescribeProfileError(in, e).c_str());
    return 1;
  }
  const std::vector<std::string> findings = Validate(p);
  std::printf("%s: reads; %zu names, %zu out-of-range value%s\n", in.c_str(), p.m_strModeName.size(),
              findings.size(), findings.size() == 1 ? "" : "s");
  for (const auto& line : findings) std::printf("%s\n", line.c_str());
  for (const auto& n : notes) std::printf("note: %s\n", n.c_str());
  return 0;
}

}  // namespace

bool ProfileFromJsonText(const std::string& text, CProfile& into, std::string& error) {
  CProfile p = into;
  try {
    ProfileFromJson(Json::parse(text), p);
  } catch (const Json::exception& e) {
    error = e.what();
    return false;
  } catch (const JsonError& e) {
    error = e.what();
    return false;
  }
  into = std::move(p);
  return true;
}

std::string DescribeProfileError(const std::string& path, const ProfileError& e) {
  return path + ": " + e.message + " (byte offset " + std::to_string(e.offset) + ")";
}

std::string ProfileToJsonText(const CProfile& p) {
  return ProfileToJson(p).dump(2);
}

int RunProfileCommand(int argc, char** argv) {
  const std::string cmd = argc >= 1 ? argv[0] : "";
  if ((cmd == "--help" || cmd == "-h") && argc == 1) {  // asked for, so not an error
    std::fputs(kProfileUsage, stdout);
    return 0;
  }
  if (cmd == "default" && argc == 2) return Default(argv[1]);
  if (cmd == "dump" && argc == 2) return Dump(argv[1]);
  if (cmd == "load" && argc == 3) return Load(argv[1], argv[2]);
  if (cmd == "convert" && argc == 3) return Convert(argv[1], argv[2]);
  if (cmd == "check" && argc == 2) return Check(argv[1]);
  std::fputs(kProfileUsage, stderr);
  return 2;
}
