// The profiles used lately (newest first, at most eight) and the file the
// last exit saved to, both kept in the settings file, so that the File menu
// can offer them and a start can tell where the last set-up went.
#pragma once

#include <string>
#include <vector>

namespace panora {

class RecentFiles {
 public:
  static constexpr std::size_t kMax = 8;

  explicit RecentFiles(std::string settingsPath) : m_path(std::move(settingsPath)) {}

  // Reads the list; entries that are empty or repeat a file are left out.
  void Load();
  // Puts `file` first (once: under the name given now, whatever other name
  // the file had in the list), dropping the oldest beyond kMax; saved at once.
  void Add(const std::string& file);
  void Remove(const std::string& file);
  const std::vector<std::string>& Files() const { return m_files; }

  // Where the last exit saved the set-up ("" when unknown).
  std::string LastExitSave() const;
  bool SetLastExitSave(const std::string& file) const;

  // The same file whatever way it was named: absolute and normalised.
  static std::string Normal(const std::string& file);
  // Whether two names reach one file: equal once normalised, or, for files
  // that exist, the same device and inode (symbolic links followed, hard
  // links alike).
  static bool SameFile(const std::string& a, const std::string& b);

 private:
  bool Save() const;

  std::string m_path;
  std::vector<std::string> m_files;
};

}  // namespace panora
