#include "model/RecentFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "link/PrivateProfile.h"

namespace panora {

namespace {
constexpr char kListSection[] = "Recent File List";
constexpr char kProfilesSection[] = "Profiles";
constexpr char kLastExitKey[] = "LastExitSave";
constexpr std::size_t kPathMax = 4097;

std::string Key(std::size_t i) {
  return "File" + std::to_string(i + 1);
}
}  // namespace

std::string RecentFiles::Normal(const std::string& file) {
  if (file.empty()) return file;
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(file, ec);
  return (ec ? std::filesystem::path(file) : p).lexically_normal().string();
}

bool RecentFiles::SameFile(const std::string& a, const std::string& b) {
  if (Normal(a) == Normal(b)) return true;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

void RecentFiles::Load() {
  m_files.clear();
  for (std::size_t i = 0; i < kMax; ++i) {
    const std::string f = GetPrivateProfileString(kListSection, Key(i), "", m_path, kPathMax);
    if (!f.empty() &&
        std::none_of(m_files.begin(), m_files.end(), [&](const std::string& e) { return SameFile(e, f); }))
      m_files.push_back(f);
  }
}

void RecentFiles::Add(const std::string& file) {
  const std::string f = Normal(file);
  // A line break would end the entry early and make the rest another line.
  if (f.empty() || f.find_first_of("\r\n") != std::string::npos) return;
  m_files.erase(
      std::remove_if(m_files.begin(), m_files.end(), [&](const std::string& e) { return SameFile(e, f); }),
      m_files.end());
  m_files.insert(m_files.begin(), f);
  if (m_files.size() > kMax) m_files.resize(kMax);
  Save();
}

void RecentFiles::Remove(const std::string& file) {
  const auto it = std::find(m_files.begin(), m_files.end(), file);
  if (it == m_files.end()) return;
  m_files.erase(it);
  Save();
}

bool RecentFiles::Save() const {
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i < kMax; ++i) entries.emplace_back(Key(i), i < m_files.size() ? m_files[i] : "");
  return WritePrivateProfileStrings(kListSection, entries, m_path);
}

std::string RecentFiles::LastExitSave() const {
  return GetPrivateProfileString(kProfilesSection, kLastExitKey, "", m_path, kPathMax);
}

bool RecentFiles::SetLastExitSave(const std::string& file) const {
  const std::string f = Normal(file);
  if (f.find_first_of("\r\n") != std::string::npos) return false;
  if (f == LastExitSave()) return true;  // an exit that changes nothing writes nothing
  return WritePrivateProfileString(kProfilesSection, kLastExitKey, f, m_path);
}

}  // namespace panora
