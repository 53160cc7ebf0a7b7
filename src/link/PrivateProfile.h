// A small INI reader and writer with private-profile semantics: sections and
// keys match without regard to case, integers come from leading digits,
// absent keys give the caller's default, the file is created by the first
// write, and a write keeps every other section, key and comment. Files are
// read and written as link/SafeFile.h says: links followed, permissions kept,
// unique temporary names; a file that is there but cannot be read whole is
// never written.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace panora {

// The value of key in section, or def when the file, section or key is absent.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& path);
// The value (trimmed, one pair of enclosing quotes removed) cut to
// maxLen - 1 characters, or def when absent.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& path,
                                    std::size_t maxLen = 260);
// Sets key=value in section; false when the file cannot be read whole or
// cannot be written.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path);
// Several keys of one section in one read and one write.
bool WritePrivateProfileStrings(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& keyValues,
                                const std::string& path);

// The network settings: "IP address" (IP0..IP3) and "IP port" (port).
struct NetSettings {
  std::uint8_t ip[4] = {192, 168, 0, 178};
  std::string port = "4001";
  std::string IpText() const;  // dotted form
};

// The settings file's name: the data folder's path with "config.ini"
// appended directly (the file lies beside the folder, not inside it).
std::string NetSettingsPath(const std::string& dataFolder);
// Reads the settings; the defaults when the file cannot be opened.
NetSettings ReadNetSettings(const std::string& path);
// Writes all five values at once; false when the file cannot be read whole
// or cannot be written.
bool WriteNetSettings(const std::string& path, const NetSettings& settings);

}  // namespace panora
