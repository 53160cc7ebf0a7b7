// The serial ports of this machine, by device path, as the port dialog and
// the USB search see them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace panora {

// Every serial device the system lists (/sys/class/tty/*/device) that exists:
// it opens, or it is in use (by another program or this one). Ports without
// hardware behind them are left out. Natural order (ttyS2 before ttyS10).
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
// Test seam: read the device list below another root instead of /sys/class/tty.
void SetSerialClassRoot(const std::string& root);

}  // namespace panora
