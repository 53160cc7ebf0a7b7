// The serial ports of this machine, by device path, as the port dialog and
// the USB search see them, and the UUCP lock files that programs sharing a
// port agree on.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace panora {

struct SerialPortEntry {
  std::string path;
  bool noPermission = false;  // exists, but this user may not open it (EACCES)
  // Its names in /dev/serial/by-id (made from the adapter's maker, model and
  // serial number), which stay the same when it is plugged in again, in
  // whatever order; its plain name may change then. Sorted.
  std::vector<std::string> byId = {};
};

// Every serial device the system lists (/sys/class/tty/*/device) that exists:
// it opens, it is in use (by another program or this one), or this user may
// not open it. Ports without hardware behind them are left out. Natural
// order (ttyS2 before ttyS10).
std::vector<SerialPortEntry> ListSerialPortEntries();

// A port the operator typed: a path, or a bare name looked for in /dev
// ("ttyUSB0"). Surrounding white space is dropped.
std::string TypedSerialPath(const std::string& typed);
// Why `path` cannot be used as a serial port, empty when it can be tried:
// it is missing, no character device, no terminal, the pseudo-terminal
// multiplexer, or this user may not open it. A port in use elsewhere passes
// (opening it says so).
std::string SerialDeviceProblem(const std::string& path);
// The paths of ListSerialPortEntries.
std::vector<std::string> ListSerialPorts();

// The serial devices attached over USB (CDC-ACM and USB serial adapters),
// in a stable order. Empty optional when the system's device list cannot be
// read at all.
std::optional<std::vector<std::string>> ListUsbSerialPorts();

// Test seam: extra ports (pseudo-terminals) listed after the system's own,
// in the order added; usb adds them to the USB list as well.
void AddExtraSerialPort(const std::string& path, bool usb);
void ClearExtraSerialPorts();
// Removes the extra port with this path (every entry of it).
void RemoveExtraSerialPort(const std::string& path);
// Test seams: read the device list below another root instead of
// /sys/class/tty, and find the device nodes in another folder than /dev.
void SetSerialClassRoot(const std::string& root);
void SetSerialDevRoot(const std::string& root);

// Whether a process other than this one has the device of this open
// descriptor open (a program that takes no lock at all). Only the
// processes this user may look into are seen.
bool DeviceOpenElsewhere(int fd);

// UUCP lock files ("LCK..ttyUSB0" holding the owner's process id as ten
// ASCII digits). The folder is PANORA_LOCK_DIR when set, else /var/lock;
// SetSerialLockDir overrides both (empty: back to those).
std::string SerialLockDir();
void SetSerialLockDir(const std::string& dir);
// The lock file's name for a device path (links followed): "LCK..ttyUSB0",
// "LCK..pts_3" for /dev/pts/3.
std::string UucpLockName(const std::string& device);
// Honours a lock of a live process (false: the port is taken) and removes a
// stale one. Where the folder is writable a lock of our own is made and its
// path put in lockPath (empty otherwise).
bool TakeUucpLock(const std::string& device, std::string& lockPath);
// Removes our lock file (only while it still names this process).
void ReleaseUucpLock(const std::string& lockPath);

}  // namespace panora
