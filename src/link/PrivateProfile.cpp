#include "link/PrivateProfile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

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

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
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

bool Find(const std::string& section, const std::string& key, const std::string& path, std::string& value) {
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) return false;
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

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& path) {
  std::string value;
  if (!Find(section, key, path, value)) return def;
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

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& path, std::size_t maxLen) {
  std::string value;
  if (!Find(section, key, path, value)) value = def;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  if (maxLen == 0) return {};
  if (value.size() > maxLen - 1) value.resize(maxLen - 1);
  return value;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path) {
  std::vector<std::string> lines;
  ReadLines(path, lines);  // a missing file is created
  const std::string entry = key + "=" + value;
  bool inSection = false, done = false;
  std::size_t sectionEnd = lines.size(), lastInSection = 0;
  bool found = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
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
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        lastInSection = i;
      }
    }
  }
  if (!done) {
    if (found) {
      lines.insert(lines.begin() + static_cast<long>(std::min(lastInSection + 1, sectionEnd)), entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }
  // Written beside the file and renamed over it, so that a failed write
  // never leaves half a file.
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const std::string& line : lines) out << line << "\n";
    out.flush();
    if (!out) {
      out.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
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
  std::ifstream probe(path);
  if (!probe) return s;
  probe.close();
  const NetSettings def;
  for (int i = 0; i < 4; ++i)
    s.ip[i] = static_cast<std::uint8_t>(
        GetPrivateProfileInt("IP address", "IP" + std::to_string(i), def.ip[i], path) & 0xFF);
  s.port = GetPrivateProfileString("IP port", "port", def.port, path, 260);
  return s;
}

bool WriteNetSettings(const std::string& path, const NetSettings& settings) {
  bool ok = true;
  for (int i = 0; i < 4; ++i)
    ok = WritePrivateProfileString("IP address", "IP" + std::to_string(i), std::to_string(settings.ip[i]),
                                   path) &&
         ok;
  ok = WritePrivateProfileString("IP port", "port", settings.port, path) && ok;
  return ok;
}

}  // namespace panora
