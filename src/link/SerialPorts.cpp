#include "link/SerialPorts.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace panora {

namespace {

struct Extra {
  std::string path;
  bool usb;
};

std::mutex g_seamMutex;
std::vector<Extra> g_extra;
std::string g_classRoot = "/sys/class/tty";
std::string g_devRoot = "/dev";
std::string g_lockDir;  // empty: PANORA_LOCK_DIR or /var/lock

std::string ClassRoot() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  return g_classRoot;
}

std::string DevRoot() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  return g_devRoot;
}

std::vector<Extra> Extras() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  return g_extra;
}

// ttyUSB2 before ttyUSB10: compare the name's letters, then its number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    const std::string digits = s.substr(i);
    return std::make_pair(s.substr(0, i), digits.empty() ? -1L : std::strtol(digits.c_str(), nullptr, 10));
  };
  return split(a) < split(b);
}

// Whether a sysfs device path lies on a USB bus ("/usb1/" and below).
bool OnUsbBus(const std::string& devicePath) {
  std::size_t pos = 0;
  while ((pos = devicePath.find("/usb", pos)) != std::string::npos) {
    pos += 4;
    std::size_t end = pos;
    while (end < devicePath.size() && std::isdigit(static_cast<unsigned char>(devicePath[end]))) ++end;
    if (end > pos && (end == devicePath.size() || devicePath[end] == '/')) return true;
  }
  return false;
}

enum class Probe { Missing, Usable, NoPermission };

// A port exists when it opens, when it is in use, or when this user may not
// open it; a port without hardware (a ttyS line with no UART behind it) fails
// otherwise.
Probe ProbePort(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return Probe::Usable;
  }
  if (errno == EBUSY) return Probe::Usable;
  if (errno == EACCES || errno == EPERM) return Probe::NoPermission;
  return Probe::Missing;
}

struct SysPort {
  std::string name;
  bool usb;
};

// The system's serial devices; false when the list cannot be read.
bool ScanClass(std::vector<SysPort>& out) {
  const std::string root = ClassRoot();
  DIR* dir = ::opendir(root.c_str());
  if (dir == nullptr) return false;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string device = root + "/" + name + "/device";
    char resolved[PATH_MAX];
    if (::realpath(device.c_str(), resolved) == nullptr) continue;  // virtual terminal, pty, console
    out.push_back({name, OnUsbBus(resolved)});
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(),
            [](const SysPort& a, const SysPort& b) { return NaturalLess(a.name, b.name); });
  return true;
}

// The device a path leads to (links followed), empty when it leads nowhere.
std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The links of /dev/serial/by-id, each with the device it leads to.
std::vector<std::pair<std::string, std::string>> ByIdLinks() {
  std::vector<std::pair<std::string, std::string>> links;
  const std::string folder = DevRoot() + "/serial/by-id";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return links;  // no adapter plugged in, or no udev
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string link = folder + "/" + e->d_name;
    std::string device = Resolved(link);
    if (!device.empty()) links.emplace_back(link, std::move(device));
  }
  ::closedir(dir);
  std::sort(links.begin(), links.end());
  return links;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPortEntries() {
  std::vector<SysPort> sys;
  ScanClass(sys);
  std::vector<std::string> paths;
  const std::string dev = DevRoot();
  for (const SysPort& p : sys) paths.push_back(dev + "/" + p.name);
  for (const Extra& e : Extras()) paths.push_back(e.path);
  const auto byId = ByIdLinks();
  std::vector<SerialPortEntry> out;
  for (const std::string& path : paths) {
    const Probe probe = ProbePort(path);
    if (probe == Probe::Missing) continue;
    SerialPortEntry entry{path, probe == Probe::NoPermission};
    const std::string device = Resolved(path);
    for (const auto& [link, target] : byId)
      if (target == device) entry.byId.push_back(link);
    out.push_back(std::move(entry));
  }
  return out;
}

std::string TypedSerialPath(const std::string& typed) {
  const auto first = typed.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::string path = typed.substr(first, typed.find_last_not_of(" \t\r\n") - first + 1);
  return path.find('/') == std::string::npos ? DevRoot() + "/" + path : path;
}

std::string SerialDeviceProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "it does not exist";
    if (errno == EACCES) return "this user may not reach it";
    return std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (S_ISREG(st.st_mode)) return "it is an ordinary file, not a device";
  if (!S_ISCHR(st.st_mode)) return "it is not a character device";
  // The pseudo-terminal multiplexer (/dev/ptmx, /dev/pts/ptmx, by any name)
  // is a terminal too, but opening it makes a new pair nobody listens to;
  // not even the probe below may open it.
  if (major(st.st_rdev) == 5 && minor(st.st_rdev) == 2)
    return "it makes a new pseudo-terminal when opened, it is no serial line";
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EBUSY) return {};  // held exclusively: the open reports it
    if (errno == EACCES || errno == EPERM) return "this user may not open it (see the group dialout)";
    if (errno == EIO || errno == ENXIO || errno == ENODEV) return "no device answers behind it";
    return std::strerror(errno);
  }
  const bool terminal = ::isatty(fd) == 1;
  ::close(fd);
  return terminal ? std::string() : "it is not a serial device (no terminal)";
}

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> out;
  for (const SerialPortEntry& e : ListSerialPortEntries()) out.push_back(e.path);
  return out;
}

std::optional<std::vector<std::string>> ListUsbSerialPorts() {
  std::vector<SysPort> sys;
  const bool readable = ScanClass(sys);
  const std::vector<Extra> extras = Extras();
  if (!readable && extras.empty()) return std::nullopt;
  std::vector<std::string> out;
  const std::string dev = DevRoot();
  for (const SysPort& p : sys)
    if (p.usb) out.push_back(dev + "/" + p.name);
  for (const Extra& e : extras)
    if (e.usb) out.push_back(e.path);
  return out;
}

void AddExtraSerialPort(const std::string& path, bool usb) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_extra.push_back({path, usb});
}

void ClearExtraSerialPorts() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_extra.clear();
}

void RemoveExtraSerialPort(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_extra.erase(
      std::remove_if(g_extra.begin(), g_extra.end(), [&](const Extra& e) { return e.path == path; }),
      g_extra.end());
}

void SetSerialClassRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_classRoot = root;
}

void SetSerialDevRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_devRoot = root;
}

namespace {

// The index of a pseudo-terminal's slave device, or -1 for any other device.
long PtySlaveIndex(dev_t dev) {
  const unsigned ma = major(dev);
  return ma >= 136 && ma <= 143 ? static_cast<long>((ma - 136) * 256 + minor(dev)) : -1;
}

// The pseudo-terminal index whose master descriptor `fd` of process `pid`
// is, or -1 when it is no master.
long PtyMasterIndex(const std::string& pid, const char* fd, const struct stat& st) {
  if (major(st.st_rdev) != 5 || minor(st.st_rdev) != 2) return -1;  // /dev/ptmx
  std::FILE* info = std::fopen(("/proc/" + pid + "/fdinfo/" + fd).c_str(), "r");
  if (info == nullptr) return -1;
  long index = -1;
  char line[128];
  while (std::fgets(line, sizeof line, info) != nullptr)
    if (std::sscanf(line, "tty-index: %ld", &index) == 1) break;
  std::fclose(info);
  return index;
}

}  // namespace

bool DeviceOpenElsewhere(int fd) {
  struct stat own {};
  if (::fstat(fd, &own) != 0 || !S_ISCHR(own.st_mode)) return false;
  const long ptyIndex = PtySlaveIndex(own.st_rdev);
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  const std::string self = std::to_string(::getpid());
  bool found = false;
  while (!found) {
    const dirent* p = ::readdir(proc);
    if (p == nullptr) break;
    if (!std::isdigit(static_cast<unsigned char>(p->d_name[0])) || self == p->d_name) continue;
    const std::string pid = p->d_name;
    const std::string fdDir = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (fds == nullptr) continue;  // gone, or another user's
    bool holdsLine = false, holdsMaster = false;
    while (const dirent* e = ::readdir(fds)) {
      if (e->d_name[0] == '.') continue;
      struct stat st {};
      if (::stat((fdDir + "/" + e->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
      if (st.st_rdev == own.st_rdev) holdsLine = true;
      if (ptyIndex >= 0 && PtyMasterIndex(pid, e->d_name, st) == ptyIndex) holdsMaster = true;
    }
    ::closedir(fds);
    // The process serving a pseudo-terminal may keep its own slave open (a
    // simulator does, so that its line never hangs up); that is no user.
    found = holdsLine && !holdsMaster;
  }
  ::closedir(proc);
  return found;
}

// ---- UUCP lock files --------------------------------------------------------

namespace {

// The process id a lock file names: ten ASCII digits (HDB UUCP) or, in old
// files, the binary integer. 0 when it names none.
long LockOwner(const std::string& path, bool& exists, time_t& age) {
  exists = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    exists = errno != ENOENT;
    return 0;
  }
  exists = true;
  struct stat st {};
  ::fstat(fd, &st);
  age = std::time(nullptr) - st.st_mtime;
  char buf[32] = {};
  const ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  const bool text = std::all_of(buf, buf + (n > 0 ? n : 0), [](char c) {
    return c == ' ' || c == '\n' || std::isdigit(static_cast<unsigned char>(c));
  });
  if (!text && n == static_cast<ssize_t>(sizeof(int))) {
    int binary = 0;
    std::memcpy(&binary, buf, sizeof binary);
    return binary > 0 ? binary : 0;
  }
  if (n <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(buf, &end, 10);
  return end != buf && pid > 0 ? pid : 0;
}

bool ProcessAlive(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::string SerialLockDir() {
  {
    std::lock_guard<std::mutex> lock(g_seamMutex);
    if (!g_lockDir.empty()) return g_lockDir;
  }
  const char* env = std::getenv("PANORA_LOCK_DIR");
  return env != nullptr && *env != '\0' ? std::string(env) : std::string("/var/lock");
}

void SetSerialLockDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_lockDir = dir;
}

std::string UucpLockName(const std::string& device) {
  char resolved[PATH_MAX];
  std::string path = ::realpath(device.c_str(), resolved) != nullptr ? std::string(resolved) : device;
  std::string name;
  if (path.rfind("/dev/", 0) == 0) {
    name = path.substr(5);
  } else {
    const std::size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

bool TakeUucpLock(const std::string& device, std::string& lockPath) {
  lockPath.clear();
  const std::string dir = SerialLockDir();
  const std::string path = dir + "/" + UucpLockName(device);
  const bool writable = ::access(dir.c_str(), W_OK | X_OK) == 0;
  const long self = static_cast<long>(::getpid());
  for (int round = 0; round < 3; ++round) {
    bool exists = false;
    time_t age = 0;
    const long owner = LockOwner(path, exists, age);
    if (exists) {
      // A lock being written may be empty for a moment; an old one that
      // names nobody is left-over junk. Our own process id can only be a
      // left-over too: the flock taken before this keeps out our other opens.
      const bool stale = owner == 0 ? age > 5 : (owner == self || !ProcessAlive(owner));
      if (!stale) return false;
      if (!writable) return true;  // cannot clear it; the port itself is free
      ::unlink(path.c_str());
    }
    if (!writable) return true;
    // Written in full under a private name, then linked into place, so that
    // nobody ever reads a half-written lock of ours.
    char tmp[PATH_MAX];
    std::snprintf(tmp, sizeof tmp, "%s/LTMP.%ld.%d", dir.c_str(), self, round);
    ::unlink(tmp);
    const int fd = ::open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return true;
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%10ld\n", self);
    const bool written = ::write(fd, text, static_cast<std::size_t>(n)) == n;
    ::fchmod(fd, 0644);  // readable by everybody whatever the umask
    ::close(fd);
    const bool linked = written && ::link(tmp, path.c_str()) == 0;
    const int linkErr = errno;
    ::unlink(tmp);
    if (linked) {
      lockPath = path;
      return true;
    }
    if (!written || linkErr != EEXIST) return true;  // no lock of ours, nobody else's either
    // Someone else was quicker: look at theirs.
  }
  return false;
}

void ReleaseUucpLock(const std::string& lockPath) {
  if (lockPath.empty()) return;
  bool exists = false;
  time_t age = 0;
  if (LockOwner(lockPath, exists, age) == static_cast<long>(::getpid())) ::unlink(lockPath.c_str());
}

}  // namespace panora
