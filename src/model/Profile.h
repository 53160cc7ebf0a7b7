// Profile files ("*.cfg"): the eight tool buttons, the mode names and the
// fourteen parameter records, as a little-endian byte stream with no header.
//
//   0   8 x int32   tool-button modes
//   32  count       uint16, or 0xFFFF + uint32
//       names       length (byte; or 0xFF + uint16; or 0xFF 0xFFFF + uint32),
//                   then that many Windows-1252 bytes
//       14 x 363    records, see kRecordSize
//
// Reading is all or nothing and writing goes through WriteFileSafely
// (link/SafeFile.h), so that a broken file or a failed save never costs the
// operator a set-up and nothing is replaced that may not be written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/DataPrm.h"

namespace panora {

inline constexpr std::size_t kRecordSize = 363;
inline constexpr std::size_t kToolButtonCount = 8;
// Reader limits: anything beyond them is a damaged or hostile file. The total
// keeps the memory a file can make the reader take well under 1 MiB.
inline constexpr std::size_t kMaxNameCount = 4096;
inline constexpr std::size_t kMaxNameLength = 65535;
inline constexpr std::size_t kMaxNameBytesTotal = 128 * 1024;
// An unreadable start-up profile up to this size is copied aside before it
// can be replaced; a larger one is left alone instead.
inline constexpr std::size_t kMaxBrokenCopyBytes = 16 * 1024 * 1024;

struct CProfile {
  std::array<int, 8> m_nToolMode;              // -1 = unassigned, else mode 0..33
  std::vector<std::string> m_strModeName;      // 34 names, UTF-8
  std::array<CDataPrm, kSlotCount> m_DataPrm;  // user slots 0..12, working record 13
  std::string m_strProfilePath;                // empty until a read or write succeeds
  // A start-up profile that could be neither read nor copied aside: saves
  // refuse to replace it while it is there.
  std::string m_strUnreadPath;

  CProfile();  // factory values: buttons -1, names "1".."34", constructed records

  void ResetAllSlots();
  void ResetWorkingForMode(int mode);

  // The display name of a mode, or its factory name when the profile holds
  // fewer names than modes.
  std::string ModeName(int mode) const;
};

struct ProfileError {
  std::string message;
  std::size_t offset = 0;  // byte offset in the file where reading failed
};

// Bytes <-> profile. Decode leaves `into` untouched on failure and never
// touches its m_strProfilePath. `notes`, when given, receives what the reader
// repaired or ignored (tool-button entries read as -1, trailing bytes, ...).
bool DecodeProfile(std::span<const std::uint8_t> bytes, CProfile& into, ProfileError* err = nullptr,
                   std::vector<std::string>* notes = nullptr);
// Fails (out untouched) when a name is not valid UTF-8, has a character with
// no Windows-1252 byte, or the names exceed the reader's limits.
bool EncodeProfile(const CProfile& from, std::vector<std::uint8_t>& out, ProfileError* err = nullptr);

// All or nothing: on failure `into` is untouched; on success its path is
// `path`. Only regular files are read: a FIFO or device is refused at once.
bool ReadProfile(const std::string& path, CProfile& into, ProfileError* err = nullptr,
                 std::vector<std::string>* notes = nullptr);
// Writes the file with WriteFileSafely: normally a temporary file renamed over
// it, in place where only that is possible; a file that is not regular or not
// writable for us is left alone and err says why. Does not change
// from.m_strProfilePath (see SaveProfileTo).
bool WriteProfile(const std::string& path, const CProfile& from, ProfileError* err = nullptr);
// WriteProfile, then m_strProfilePath = path on success ("Save", "Save as").
bool SaveProfileTo(CProfile& p, const std::string& path, ProfileError* err = nullptr);

// What the start-up read found besides success or failure.
struct StartupNote {
  bool unreadable = false;  // the file is there but could not be read
  std::string copyPath;     // where a copy of it was kept ("default.cfg.broken")
  std::string copyError;    // why no copy could be kept (the file is then never overwritten)
};
// Start-up: reads the start-up profile, or resets all records when that fails
// (buttons and names then keep what they held). A file that is there but
// cannot be read is copied to startupPath + ".broken" (replacing an older
// copy) before any save can replace it; when that fails, m_strUnreadPath
// keeps saves away from it. Returns whether it read.
bool LoadStartupProfile(CProfile& p, const std::string& startupPath, ProfileError* err = nullptr,
                        StartupNote* note = nullptr);
// Exit: writes m_strProfilePath, or the start-up path when it is empty (which
// then becomes m_strProfilePath).
bool SaveProfileAtExit(CProfile& p, const std::string& startupPath, ProfileError* err = nullptr);

// Everything Validate finds in the records, plus tool-button entries and a
// name count other than 34 ("m_DataPrm[3].m_nOutRes[2] = 7, expected 0..5").
std::vector<std::string> Validate(const CProfile& p);

}  // namespace panora
