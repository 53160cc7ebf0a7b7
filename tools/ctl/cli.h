// What every panora-ctl command shares: its exit statuses and how it reads
// numbers.
#pragma once

namespace panora::ctl {

namespace exit_status {
inline constexpr int kExitOk = 0;
inline constexpr int kExitConnect = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitRefused = 4;
inline constexpr int kExitHttpError = 5;  // the program's remote control answered 4xx or 5xx
}  // namespace exit_status

// Decimal or 0x-hex, nothing else (no octal, no signs, no trailing text).
inline bool ParseNumber(const char* s, long lo, long hi, long& out) {
  if (!s || !*s) return false;
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
    if (!*s) return false;
  }
  long v = 0;
  for (; *s; ++s) {
    int d;
    if (*s >= '0' && *s <= '9') {
      d = *s - '0';
    } else if (base == 16 && *s >= 'a' && *s <= 'f') {
      d = *s - 'a' + 10;
    } else if (base == 16 && *s >= 'A' && *s <= 'F') {
      d = *s - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + d;
    if (v > hi) return false;
  }
  if (v < lo) return false;
  out = v;
  return true;
}

}  // namespace panora::ctl
