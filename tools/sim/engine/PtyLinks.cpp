#include "sim/engine/PtyLinks.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace panora::sim {

namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Whether process pid holds a pty master whose slave is /dev/pts/index.
// Unknown (another user's process, no fdinfo) counts as held.
bool HoldsPtyMaster(pid_t pid, const std::string& index) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/fdinfo";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return true;
  bool held = false, known = false;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::FILE* f = std::fopen((dir + "/" + e->d_name).c_str(), "re");
    if (f == nullptr) continue;
    known = true;
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
      if (std::strncmp(line, "tty-index:", 10) != 0) continue;
      const char* v = line + 10;
      while (*v == ' ' || *v == '\t') ++v;
      if (std::strtol(v, nullptr, 10) == std::strtol(index.c_str(), nullptr, 10)) held = true;
    }
    std::fclose(f);
    if (held) break;
  }
  ::closedir(d);
  return held || !known;
}

}  // namespace

std::string PtyLinkDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' && ::access(runtime, W_OK) == 0 ? runtime : "/tmp";
}

std::string PtyLinkPath(const std::string& dir, pid_t pid) {
  return dir + "/panora-sim-" + std::to_string(pid) + ".tty";
}

int RemoveStalePtyLinks(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return 0;
  static const std::string kPrefix = "panora-sim-";
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.rfind(kPrefix, 0) != 0) continue;
    std::string pidText = name.substr(kPrefix.size());
    for (const char* suffix : {".tty.new", ".tty"}) {
      const std::string sfx = suffix;
      if (pidText.size() > sfx.size() && pidText.compare(pidText.size() - sfx.size(), sfx.size(), sfx) == 0) {
        pidText.resize(pidText.size() - sfx.size());
        break;
      }
    }
    if (!AllDigits(pidText) || pidText.size() > 9) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(pidText.c_str(), nullptr, 10));
    if (pid <= 0 || pid == ::getpid()) continue;
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || st.st_uid != ::geteuid()) continue;
    char target[256] = {};
    const ssize_t len = ::readlink(path.c_str(), target, sizeof target - 1);
    if (len <= 0) continue;
    const std::string t(target, static_cast<std::size_t>(len));
    static const std::string kPts = "/dev/pts/";
    if (t.rfind(kPts, 0) != 0 || !AllDigits(t.substr(kPts.size()))) continue;
    struct stat dev {};
    const bool gone = ::stat(t.c_str(), &dev) != 0 || (::kill(pid, 0) != 0 && errno == ESRCH) ||
                      !HoldsPtyMaster(pid, t.substr(kPts.size()));
    if (gone && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

}  // namespace panora::sim
