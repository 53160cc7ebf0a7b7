#include "link/SerialPorts.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

std::string ClassRoot() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  return g_classRoot;
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

// A port exists when it opens or when it is in use; a port without hardware
// (a ttyS line with no UART behind it) fails otherwise.
bool PortExists(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  return errno == EBUSY || errno == EACCES || errno == EPERM;
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

}  // namespace

std::vector<std::string> ListSerialPorts() {
  std::vector<SysPort> sys;
  ScanClass(sys);
  std::vector<std::string> out;
  for (const SysPort& p : sys) {
    const std::string path = "/dev/" + p.name;
    if (PortExists(path)) out.push_back(path);
  }
  for (const Extra& e : Extras())
    if (PortExists(e.path)) out.push_back(e.path);
  return out;
}

std::optional<std::vector<std::string>> ListUsbSerialPorts() {
  std::vector<SysPort> sys;
  const bool readable = ScanClass(sys);
  const std::vector<Extra> extras = Extras();
  if (!readable && extras.empty()) return std::nullopt;
  std::vector<std::string> out;
  for (const SysPort& p : sys)
    if (p.usb) out.push_back("/dev/" + p.name);
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

}  // namespace panora
