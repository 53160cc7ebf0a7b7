// Speeds without a termios constant go through the kernel's arbitrary-rate
// interface (termios2 with BOTHER). Kept apart because its header clashes
// with <termios.h>.
#pragma once

namespace panora::detail {

// Sets input and output speed of an open serial descriptor; false on failure.
bool SetArbitrarySpeed(int fd, unsigned baud);
// The output speed as the kernel reports it, 0 on failure.
unsigned ReadArbitrarySpeed(int fd);

}  // namespace panora::detail
