#include "model/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace panora {

namespace {

bool Set(const char* v) {
  return v != nullptr && *v != '\0';
}

std::string HomeFolder(const char* home) {
  if (Set(home)) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && Set(pw->pw_dir)) return pw->pw_dir;
  return "/tmp";
}

}  // namespace

std::string ChooseBaseFolder(const char* panoraHome, const std::string& exeFolder, bool exeFolderWritable,
                             const char* xdgDataHome, const char* home) {
  if (Set(panoraHome)) return panoraHome;
  if (!exeFolder.empty() && exeFolderWritable) return exeFolder;
  // XDG says a relative $XDG_DATA_HOME is invalid and must be ignored.
  if (Set(xdgDataHome) && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/panora";
  return HomeFolder(home) + "/.local/share/panora";
}

std::string ExecutableFolder() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return "";
  buf.resize(static_cast<std::size_t>(n));
  const auto slash = buf.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : buf.substr(0, slash);
}

bool MakeFolders(const std::string& path) {
  struct stat st {};
  if (path.empty()) return false;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string BaseFolder() {
  const std::string exe = ExecutableFolder();
  // An installed program (its data in ../share/panora) never keeps the
  // operator's files in the system's program folder, even when root could.
  const bool installed = !exe.empty() && ::access((exe + "/../share/panora").c_str(), F_OK) == 0;
  const bool writable = !exe.empty() && !installed && ::access(exe.c_str(), W_OK) == 0;
  return ChooseBaseFolder(std::getenv("PANORA_HOME"), exe, writable, std::getenv("XDG_DATA_HOME"),
                          std::getenv("HOME"));
}

std::string DataFolder() {
  std::string folder = BaseFolder();
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  folder += "/VideoLib";
  MakeFolders(folder);
  return folder;
}

std::string StartupProfilePath() {
  return DataFolder() + "/default.cfg";
}

std::string NetSettingsPath() {
  return DataFolder() + "config.ini";
}

}  // namespace panora
