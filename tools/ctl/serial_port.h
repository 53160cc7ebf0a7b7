// A minimal serial port for panora-ctl: 115200 8N1, raw, no flow control.
// Kept apart so that it can give way to the program's serial transport.
#pragma once

#include <string>

namespace panora::ctl {

// Opens and configures the device; returns the descriptor (non-blocking),
// or -1 with the reason in error.
int OpenSerialPort(const std::string& device, std::string& error);

}  // namespace panora::ctl
