#include "link/PrivateProfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <span>
#include <vector>

#include "link/SafeFile.h"

namespace panora {

namespace {

std::string Trim(const std::string& s) {
  const char* white = " \t\r\n";
  const std::size_t first = s.find_first_not_of(white);
  if (first == std::string::npos) return {};
  const std::size_t last = s.find_last_not_of(white);
  return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A settings file is a few lines; a larger one is not one of ours, and is
// never rewritten from a part of it.
constexpr std::size_t kMaxIniBytes = 1024 * 1024;

// The file's lines; false (with errnum) when it cannot be read whole.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, int* errnum = nullptr) {
  std::vector<std::uint8_t> bytes;
  FileReadResult file;
  if (!ReadRegularFile(path, kMaxIniBytes, bytes, nullptr, &file)) {
    if (errnum != nullptr) *errnum = file.errnum;
    return false;
  }
  if (file.size > bytes.size()) {
    if (errnum != nullptr) *errnum = EFBIG;
    return false;
  }
  std::string line;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    if (i == bytes.size() || bytes[i] == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (i < bytes.size() || !line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(bytes[i]);
    }
  }
  return true;
}

// "[name]" gives name; anything else gives false.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" gives both; comments and other lines give false.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

bool Find(const std::vector<std::string>& lines, const std::string& section, const std::string& key,
          std::string& value) {
  bool inSection = false;
  for (const std::string& line : lines) {
    std::string name, k, v;
    if (SectionName(line, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

bool Find(const std::string& section, const std::string& key, const std::string& path, std::string& value) {
  std::vector<std::string> lines;
  return ReadLines(path, lines) && Find(lines, section, key, value);
}

int ParseInt(const std::string& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > 0x7FFFFFFFLL) n = 0x7FFFFFFFLL;  // saturate instead of overflowing
  }
  return static_cast<int>(negative ? -n : n);
}

std::string CutString(std::string value, std::size_t maxLen) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  if (maxLen == 0) return {};
  if (value.size() > maxLen - 1) value.resize(maxLen - 1);
  return value;
}

// Sets key=value in section of the file's lines, keeping everything else.
void SetValue(std::vector<std::string>& lines, const std::string& section, const std::string& key,
              const std::string& value) {
  const std::string entry = key + "=" + value;
  bool inSection = false, found = false;
  std::size_t sectionEnd = lines.size(), lastInSection = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (SectionName(lines[i], name)) {
      if (inSection) {
        sectionEnd = i;
        break;
      }
      inSection = SameName(name, section);
      if (inSection) {
        found = true;
        lastInSection = i;
      }
    } else if (inSection) {
      if (KeyValue(lines[i], k, v) && SameName(k, key)) {
        lines[i] = entry;
        return;
      }
      if (!Trim(lines[i]).empty()) lastInSection = i;
    }
  }
  if (found) {
    lines.insert(lines.begin() + static_cast<long>(std::min(lastInSection + 1, sectionEnd)), entry);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
}

// Reads the file whole (a missing one is created), applies `change` and
// writes it back. A file that is there but cannot be read whole is not
// written: its other sections would be lost.
template <typename Change>
bool Rewrite(const std::string& path, Change change) {
  std::vector<std::string> lines;
  int errnum = 0;
  if (!ReadLines(path, lines, &errnum) && errnum != ENOENT) return false;
  change(lines);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return WriteFileSafely(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& path) {
  std::string value;
  return Find(section, key, path, value) ? ParseInt(value) : def;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& path, std::size_t maxLen) {
  std::string value;
  if (!Find(section, key, path, value)) value = def;
  return CutString(value, maxLen);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path) {
  return Rewrite(path, [&](std::vector<std::string>& lines) { SetValue(lines, section, key, value); });
}

bool WritePrivateProfileStrings(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& keyValues,
                                const std::string& path) {
  return Rewrite(path, [&](std::vector<std::string>& lines) {
    for (const auto& [key, value] : keyValues) SetValue(lines, section, key, value);
  });
}

std::string NetSettings::IpText() const {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

std::string NetSettingsPath(const std::string& dataFolder) {
  return dataFolder + "config.ini";
}

NetSettings ReadNetSettings(const std::string& path) {
  NetSettings s;
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) return s;
  std::string value;
  for (int i = 0; i < 4; ++i)
    if (Find(lines, "IP address", "IP" + std::to_string(i), value))
      s.ip[i] = static_cast<std::uint8_t>(ParseInt(value) & 0xFF);
  if (Find(lines, "IP port", "port", value)) s.port = value;
  s.port = CutString(s.port, 260);
  return s;
}

bool WriteNetSettings(const std::string& path, const NetSettings& settings) {
  // One read and one write for all five values.
  return Rewrite(path, [&](std::vector<std::string>& lines) {
    for (int i = 0; i < 4; ++i)
      SetValue(lines, "IP address", "IP" + std::to_string(i), std::to_string(settings.ip[i]));
    SetValue(lines, "IP port", "port", settings.port);
  });
}

}  // namespace panora
