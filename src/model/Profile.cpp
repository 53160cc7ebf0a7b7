#include "model/Profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "link/SafeFile.h"
#include "model/ModeTable.h"
#include "model/Text.h"

namespace panora {

namespace {

constexpr std::size_t kRecordsBytes = kSlotCount * kRecordSize;
constexpr std::size_t kToolBytes = kToolButtonCount * 4;
// The most a file can hold that the reader will look at; bytes after it are
// never read, so a huge file costs no more than this.
constexpr std::size_t kMaxProfileBytes =
    kToolBytes + 6 + kMaxNameCount * 7 + kMaxNameBytesTotal + kRecordsBytes;

// ---- little-endian primitives -------------------------------------------

inline void PutU8(std::uint8_t*& p, std::uint8_t v) {
  *p++ = v;
}
inline void PutU16(std::uint8_t*& p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p += 2;
}
inline void PutU32(std::uint8_t*& p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  p += 4;
}
inline void PutI32(std::uint8_t*& p, std::int32_t v) {
  PutU32(p, static_cast<std::uint32_t>(v));
}
inline void PutF64(std::uint8_t*& p, double d) {
  std::uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  p += 8;
}

inline std::uint16_t GetU16(const std::uint8_t*& p) {
  const std::uint16_t v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  p += 2;
  return v;
}
inline std::uint32_t GetU32(const std::uint8_t*& p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  p += 4;
  return v;
}
inline std::int32_t GetI32(const std::uint8_t*& p) {
  return static_cast<std::int32_t>(GetU32(p));
}
inline double GetF64(const std::uint8_t*& p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  p += 8;
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}

// ---- one record ---------------------------------------------------------

void EncodeRecord(const CDataPrm& r, std::uint8_t* p) {
  PutI32(p, r.m_bSaved);
  PutU8(p, r.m_bySlot);
  PutU8(p, r.m_byReserved1);
  PutU8(p, r.m_byReserved2);
  for (auto b : r.m_byReservedA) PutU8(p, b);
  for (auto b : r.m_byReservedB) PutU8(p, b);
  PutI32(p, r.m_nBorderScope);
  PutI32(p, r.m_nBorderAll);
  for (auto v : r.m_nBorderCh) PutI32(p, v);
  PutI32(p, r.m_nAllOutRes);
  PutI32(p, r.m_bPerOutRes);
  for (auto v : r.m_nOutRes) PutI32(p, v);
  for (auto v : r.m_nChInput) PutI32(p, v);
  PutI32(p, r.m_nOverlayMode);
  for (int o = 0; o < 4; ++o)  // output by output, the opposite of memory order
    for (int c = 0; c < 4; ++c) PutI32(p, r.m_nLayer[c][o]);
  PutI32(p, r.m_nOverlayOut);
  for (auto v : r.m_bDispCh) PutI32(p, v);
  PutI32(p, r.m_bDispAll);
  for (const auto& out : r.m_bOutDispCh)
    for (auto v : out) PutI32(p, v);
  for (auto d : r.m_dX) PutF64(p, d);
  for (auto d : r.m_dY) PutF64(p, d);
  for (auto d : r.m_dW) PutF64(p, d);
  for (auto d : r.m_dH) PutF64(p, d);
}

void DecodeRecord(const std::uint8_t* p, CDataPrm& r) {
  r.m_bSaved = GetI32(p);
  r.m_bySlot = *p++;
  r.m_byReserved1 = *p++;
  r.m_byReserved2 = *p++;
  for (auto& b : r.m_byReservedA) b = *p++;
  for (auto& b : r.m_byReservedB) b = *p++;
  r.m_nBorderScope = GetI32(p);
  r.m_nBorderAll = GetI32(p);
  for (auto& v : r.m_nBorderCh) v = GetI32(p);
  r.m_nAllOutRes = GetI32(p);
  r.m_bPerOutRes = GetI32(p);
  for (auto& v : r.m_nOutRes) v = GetI32(p);
  for (auto& v : r.m_nChInput) v = GetI32(p);
  r.m_nOverlayMode = GetI32(p);
  for (int o = 0; o < 4; ++o)
    for (int c = 0; c < 4; ++c) r.m_nLayer[c][o] = GetI32(p);
  r.m_nOverlayOut = GetI32(p);
  for (auto& v : r.m_bDispCh) v = GetI32(p);
  r.m_bDispAll = GetI32(p);
  for (auto& out : r.m_bOutDispCh)
    for (auto& v : out) v = GetI32(p);
  for (auto& d : r.m_dX) d = GetF64(p);
  for (auto& d : r.m_dY) d = GetF64(p);
  for (auto& d : r.m_dW) d = GetF64(p);
  for (auto& d : r.m_dH) d = GetF64(p);
}

// Where each field sits in a record, only to name the one a short file cuts.
struct FieldPos {
  std::size_t offset;
  std::size_t elemSize;
  int count;
  const char* name;
  char order;  // ' ' plain, 'L' layer table (file holds [output][channel]), 'D' [output][channel]
};
constexpr FieldPos kFields[] = {
    {0, 4, 1, "m_bSaved", ' '},        {4, 1, 1, "m_bySlot", ' '},        {5, 1, 1, "m_byReserved1", ' '},
    {6, 1, 1, "m_byReserved2", ' '},   {7, 1, 4, "m_byReservedA", ' '},   {11, 1, 4, "m_byReservedB", ' '},
    {15, 4, 1, "m_nBorderScope", ' '}, {19, 4, 1, "m_nBorderAll", ' '},   {23, 4, 4, "m_nBorderCh", ' '},
    {39, 4, 1, "m_nAllOutRes", ' '},   {43, 4, 1, "m_bPerOutRes", ' '},   {47, 4, 4, "m_nOutRes", ' '},
    {63, 4, 4, "m_nChInput", ' '},     {79, 4, 1, "m_nOverlayMode", ' '}, {83, 4, 16, "m_nLayer", 'L'},
    {147, 4, 1, "m_nOverlayOut", ' '}, {151, 4, 4, "m_bDispCh", ' '},     {167, 4, 1, "m_bDispAll", ' '},
    {171, 4, 16, "m_bOutDispCh", 'D'}, {235, 8, 4, "m_dX", ' '},          {267, 8, 4, "m_dY", ' '},
    {299, 8, 4, "m_dW", ' '},          {331, 8, 4, "m_dH", ' '},
};

// Names the element of record `k` that the first missing byte (at `have`
// bytes into the record) belongs to; returns its offset within the record.
std::size_t NameCutField(int k, std::size_t have, std::string& name) {
  for (const FieldPos& f : kFields) {
    const std::size_t end = f.offset + f.elemSize * static_cast<std::size_t>(f.count);
    if (have >= end) continue;
    const int i = static_cast<int>((have - f.offset) / f.elemSize);
    char buf[96];
    if (f.order == 'L')
      std::snprintf(buf, sizeof buf, "m_DataPrm[%d].%s[%d][%d]", k, f.name, i % 4, i / 4);
    else if (f.order == 'D')
      std::snprintf(buf, sizeof buf, "m_DataPrm[%d].%s[%d][%d]", k, f.name, i / 4, i % 4);
    else if (f.count > 1)
      std::snprintf(buf, sizeof buf, "m_DataPrm[%d].%s[%d]", k, f.name, i);
    else
      std::snprintf(buf, sizeof buf, "m_DataPrm[%d].%s", k, f.name);
    name = buf;
    return f.offset + f.elemSize * static_cast<std::size_t>(i);
  }
  name = "record";
  return 0;
}

bool Fail(ProfileError* err, std::size_t offset, std::string message) {
  if (err != nullptr) {
    err->message = std::move(message);
    err->offset = offset;
  }
  return false;
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* fmt, ...) {
  char buf[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// The decoder proper; `consumed` receives the length of the profile in bytes.
bool Decode(std::span<const std::uint8_t> bytes, CProfile& into, ProfileError* err,
            std::vector<std::string>* notes, std::size_t& consumed) {
  const std::uint8_t* const base = bytes.data();
  const std::size_t size = bytes.size();
  const std::uint8_t* p = base;
  const auto pos = [&] { return static_cast<std::size_t>(p - base); };
  const auto left = [&] { return size - pos(); };
  const auto shortFile = [&](const std::string& what) {
    return Fail(err, pos(), Format("file ends at byte %zu inside %s", size, what.c_str()));
  };

  std::array<int, 8> tools;
  for (std::size_t i = 0; i < kToolButtonCount; ++i) {
    if (left() < 4) return shortFile(Format("m_nToolMode[%zu]", i));
    const std::int32_t v = GetI32(p);
    const bool valid = v == -1 || IsValidMode(v);
    tools[i] = valid ? v : -1;
    if (!valid && notes != nullptr)
      notes->push_back(Format("m_nToolMode[%zu] = %d read as -1 (unassigned)", i, v));
  }

  const std::size_t countAt = pos();
  if (left() < 2) return shortFile("the name count");
  std::uint64_t count = GetU16(p);
  if (count == 0xFFFF) {
    if (left() < 4) return shortFile("the name count");
    count = GetU32(p);
    if (count < 0xFFFF && notes != nullptr) notes->push_back("the name count is written in its long form");
  }
  if (count > kMaxNameCount)
    return Fail(err, countAt,
                Format("name count %llu is over the limit of %zu", static_cast<unsigned long long>(count),
                       kMaxNameCount));
  // Every name takes at least its length byte and the records follow, so a
  // larger count cannot be real: refuse it before allocating anything.
  if (count + kRecordsBytes > left())
    return Fail(
        err, countAt,
        Format("name count %llu needs at least %llu more bytes for the names and records; %zu are left",
               static_cast<unsigned long long>(count), static_cast<unsigned long long>(count + kRecordsBytes),
               left()));

  std::vector<std::string> names;
  names.reserve(count);
  std::size_t totalNameBytes = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t lengthAt = pos();
    const auto what = [i] { return Format("the length of m_strModeName[%zu]", i); };
    if (left() < 1) return shortFile(what());
    std::uint64_t length = *p++;
    bool longForm = false;
    if (length == 0xFF) {
      if (left() < 2) return shortFile(what());
      length = GetU16(p);
      if (length == 0xFFFE)
        return Fail(
            err, lengthAt,
            Format("m_strModeName[%zu] is marked as wide text (0xFF 0xFFFE), which profiles never hold", i));
      if (length == 0xFFFF) {
        if (left() < 4) return shortFile(what());
        length = GetU32(p);
        longForm = length < 0xFFFE;
      } else {
        longForm = length < 0xFF;
      }
    }
    if (longForm && notes != nullptr)
      notes->push_back(Format("the length of m_strModeName[%zu] is written in a longer form", i));
    if (length > kMaxNameLength)
      return Fail(err, lengthAt,
                  Format("m_strModeName[%zu] is %llu bytes long, over the limit of %zu", i,
                         static_cast<unsigned long long>(length), kMaxNameLength));
    // A name longer than the rest of the file is refused before allocating; one
    // that runs into the records leaves them short, which is reported below.
    if (length > left())
      return Fail(err, lengthAt,
                  Format("file ends at byte %zu inside m_strModeName[%zu], whose length says %llu bytes",
                         size, i, static_cast<unsigned long long>(length)));
    totalNameBytes += length;
    if (totalNameBytes > kMaxNameBytesTotal)
      return Fail(err, lengthAt, Format("the names take more than %zu bytes together", kMaxNameBytesTotal));
    names.push_back(Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(p), length)));
    p += length;
  }

  std::array<CDataPrm, kSlotCount> records;
  for (int k = 0; k < kSlotCount; ++k) {
    if (left() < kRecordSize) {
      std::string field;
      const std::size_t at = pos() + NameCutField(k, left(), field);
      return Fail(err, at, Format("file ends at byte %zu inside %s", size, field.c_str()));
    }
    DecodeRecord(p, records[k]);
    p += kRecordSize;
  }

  consumed = pos();
  into.m_nToolMode = tools;
  into.m_strModeName = std::move(names);
  into.m_DataPrm = records;
  return true;
}

}  // namespace

CProfile::CProfile() {
  m_nToolMode.fill(-1);
  m_strModeName.reserve(kModeTotal);
  for (int i = 0; i < kModeTotal; ++i) m_strModeName.push_back(DefaultModeName(i));
}

void CProfile::ResetAllSlots() {
  panora::ResetAllSlots(m_DataPrm);
}

void CProfile::ResetWorkingForMode(int mode) {
  m_DataPrm[kWorkingSlot].ResetForMode(mode, m_DataPrm);
}

std::string CProfile::ModeName(int mode) const {
  if (mode >= 0 && static_cast<std::size_t>(mode) < m_strModeName.size()) return m_strModeName[mode];
  return DefaultModeName(mode);
}

bool DecodeProfile(std::span<const std::uint8_t> bytes, CProfile& into, ProfileError* err,
                   std::vector<std::string>* notes) {
  std::size_t consumed = 0;
  if (!Decode(bytes, into, err, notes, consumed)) return false;
  if (consumed < bytes.size() && notes != nullptr)
    notes->push_back(Format("%zu bytes after the last record are ignored", bytes.size() - consumed));
  return true;
}

bool EncodeProfile(const CProfile& from, std::vector<std::uint8_t>& out, ProfileError* err) {
  const std::size_t count = from.m_strModeName.size();
  if (count > kMaxNameCount)
    return Fail(err, 0,
                Format("%zu mode names are more than a profile may hold (%zu)", count, kMaxNameCount));
  std::vector<std::string> bytes(count);
  std::size_t size = kToolBytes + (count < 0xFFFF ? 2 : 6) + kRecordsBytes;
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t bad = 0;
    if (!Utf8ToCp1252(from.m_strModeName[i], bytes[i], &bad))
      return Fail(err, 0,
                  Format("mode name %zu has a character at byte %zu that a profile cannot store "
                         "(only Windows-1252 text is possible)",
                         i + 1, bad));
    const std::size_t length = bytes[i].size();
    if (length > kMaxNameLength)
      return Fail(err, 0, Format("mode name %zu is longer than %zu bytes", i + 1, kMaxNameLength));
    total += length;
    size += length + (length < 0xFF ? 1 : length < 0xFFFE ? 3 : 7);
  }
  if (total > kMaxNameBytesTotal)
    return Fail(err, 0, Format("the mode names take more than %zu bytes together", kMaxNameBytesTotal));

  std::vector<std::uint8_t> buf(size);
  std::uint8_t* p = buf.data();
  for (int v : from.m_nToolMode) PutI32(p, v);
  if (count < 0xFFFF) {
    PutU16(p, static_cast<std::uint16_t>(count));
  } else {
    PutU16(p, 0xFFFF);
    PutU32(p, static_cast<std::uint32_t>(count));
  }
  for (const std::string& name : bytes) {
    const std::size_t length = name.size();
    if (length < 0xFF) {
      PutU8(p, static_cast<std::uint8_t>(length));
    } else if (length < 0xFFFE) {
      PutU8(p, 0xFF);
      PutU16(p, static_cast<std::uint16_t>(length));
    } else {
      PutU8(p, 0xFF);
      PutU16(p, 0xFFFF);
      PutU32(p, static_cast<std::uint32_t>(length));
    }
    std::memcpy(p, name.data(), length);
    p += length;
  }
  for (const CDataPrm& r : from.m_DataPrm) {
    EncodeRecord(r, p);
    p += kRecordSize;
  }
  out = std::move(buf);
  return true;
}

bool ReadProfile(const std::string& path, CProfile& into, ProfileError* err,
                 std::vector<std::string>* notes) {
  std::vector<std::uint8_t> buf;
  std::string error;
  FileReadResult file;
  // Only what a profile can hold is read; anything after it is ignored.
  if (!ReadRegularFile(path, kMaxProfileBytes, buf, &error, &file)) return Fail(err, 0, error);
  std::size_t consumed = 0;
  if (!Decode(buf, into, err, notes, consumed)) return false;
  if (consumed < file.size && notes != nullptr)
    notes->push_back(Format("%llu bytes after the last record are ignored",
                            static_cast<unsigned long long>(file.size - consumed)));
  into.m_strProfilePath = path;
  return true;
}

bool WriteProfile(const std::string& path, const CProfile& from, ProfileError* err) {
  std::vector<std::uint8_t> bytes;
  if (!EncodeProfile(from, bytes, err)) return false;
  if (path.empty()) return Fail(err, 0, "no file name to write the profile to");
  std::string error;
  if (!WriteFileSafely(path, bytes, &error)) return Fail(err, 0, error);
  return true;
}

namespace {

// Whether writing `path` would replace the start-up profile that could be
// neither read nor copied.
bool Guarded(const CProfile& p, const std::string& path) {
  struct stat a {
  }, b{};
  if (p.m_strUnreadPath.empty() || ::lstat(p.m_strUnreadPath.c_str(), &b) != 0) return false;
  if (path == p.m_strUnreadPath) return true;
  return ::stat(path.c_str(), &a) == 0 && ::stat(p.m_strUnreadPath.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool FailGuarded(const CProfile& p, ProfileError* err) {
  return Fail(err, 0,
              "cannot write " + p.m_strUnreadPath +
                  ": it could not be read at start-up and no copy of it could be kept; it is left as it is");
}

}  // namespace

bool SaveProfileTo(CProfile& p, const std::string& path, ProfileError* err) {
  if (Guarded(p, path)) return FailGuarded(p, err);
  if (!WriteProfile(path, p, err)) return false;
  p.m_strProfilePath = path;
  return true;
}

bool LoadStartupProfile(CProfile& p, const std::string& startupPath, ProfileError* err, StartupNote* note) {
  ProfileError e;
  if (ReadProfile(startupPath, p, &e)) return true;
  if (err != nullptr) *err = e;
  p.ResetAllSlots();
  struct stat st {};
  if (::stat(startupPath.c_str(), &st) != 0 && errno == ENOENT) return false;  // first start

  // The file is there but unreadable: the exit save will replace it, so a
  // copy is kept first (a later fix of the file, or of its permissions,
  // should not find it gone). Without a copy it is never overwritten.
  StartupNote n;
  n.unreadable = true;
  std::vector<std::uint8_t> bytes;
  std::string error;
  FileReadResult file;
  const std::string copy = startupPath + ".broken";
  if (!ReadRegularFile(startupPath, kMaxBrokenCopyBytes, bytes, &error, &file)) {
    n.copyError = error;
  } else if (file.size > bytes.size()) {
    n.copyError = Format("%s is larger than %zu bytes", startupPath.c_str(), kMaxBrokenCopyBytes);
  } else if (!WriteFileSafely(copy, bytes, &error, nullptr, st.st_mode & 0777)) {
    n.copyError = error;
  } else {
    n.copyPath = copy;
  }
  if (n.copyPath.empty()) p.m_strUnreadPath = startupPath;
  if (note != nullptr) *note = n;
  return false;
}

bool SaveProfileAtExit(CProfile& p, const std::string& startupPath, ProfileError* err) {
  if (p.m_strProfilePath.empty()) p.m_strProfilePath = startupPath;
  if (Guarded(p, p.m_strProfilePath)) return FailGuarded(p, err);
  return WriteProfile(p.m_strProfilePath, p, err);
}

std::vector<std::string> Validate(const CProfile& p) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < p.m_nToolMode.size(); ++i) {
    const int v = p.m_nToolMode[i];
    if (v != -1 && !IsValidMode(v))
      out.push_back(Format("m_nToolMode[%zu] = %d, expected -1 or 0..33", i, v));
  }
  if (p.m_strModeName.size() != static_cast<std::size_t>(kModeTotal))
    out.push_back(Format("%zu mode names, expected %d", p.m_strModeName.size(), kModeTotal));
  for (int k = 0; k < kSlotCount; ++k)
    for (const std::string& line : p.m_DataPrm[k].Validate())
      out.push_back(Format("m_DataPrm[%d].", k) + line);
  return out;
}

}  // namespace panora
