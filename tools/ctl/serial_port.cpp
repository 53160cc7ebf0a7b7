#include "ctl/serial_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace panora::ctl {

int OpenSerialPort(const std::string& device, std::string& error) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + device + ": " + std::strerror(errno);
    return -1;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    error = device + " is not a serial port: " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;  // with O_NONBLOCK an empty read is EAGAIN, never 0
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    error = "cannot configure " + device + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  // Whatever an earlier user left unread is not an answer to us.
  ::tcflush(fd, TCIOFLUSH);
  return fd;
}

}  // namespace panora::ctl
