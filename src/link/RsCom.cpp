#include "link/RsCom.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

#include "link/SerialBaud.h"

namespace panora {

namespace {

constexpr int kSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                           19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr int kSpeedCount = static_cast<int>(sizeof kSpeeds / sizeof kSpeeds[0]);
constexpr int kDefaultSpeedIndex = 6;  // 9600

// The termios constant of a speed, or B0 when it has none.
speed_t SpeedConstant(int baud) {
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

CRsCom::CRsCom(HandOver* hwnd, DataFn onData, MessageFn showMessage)
    : m_hwnd(hwnd), m_onData(std::move(onData)), m_showMessage(std::move(showMessage)) {}

CRsCom::~CRsCom() {
  ClosePort();
}

int CRsCom::SpeedOfIndex(int index) {
  if (index < 0 || index >= kSpeedCount) index = kDefaultSpeedIndex;
  return kSpeeds[index];
}

std::string CRsCom::CleanName(const std::string& name) {
  // Trimming the ends and dropping every space inside comes to dropping all
  // spaces, plus the other white space at the ends.
  std::size_t first = 0, last = name.size();
  auto isWhite = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  while (first < last && isWhite(name[first])) ++first;
  while (last > first && isWhite(name[last - 1])) --last;
  std::string out;
  for (std::size_t i = first; i < last; ++i)
    if (name[i] != ' ') out += name[i];
  return out;
}

std::string CRsCom::PortName() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strName;
}

void CRsCom::SetLostHandler(std::function<void()> onLost) {
  m_onLost = std::move(onLost);
}

void CRsCom::ShowMessage(const char* text) {
  if (!m_showMessage) return;
  // Boxes belong to the user-interface thread; the worker's rare write on a
  // closed port queues its box there instead of waiting for it.
  HandOver* const hwnd = m_hwnd.load();
  if (hwnd == nullptr || hwnd->IsUiThread()) {
    m_showMessage(text);
    return;
  }
  auto show = m_showMessage;
  hwnd->Post([show, text] { show(text); });
}

int CRsCom::OpenPort(const std::string& name) {
  return OpenPort(name, m_hwnd.load());
}

int CRsCom::OpenPort(const std::string& name, HandOver* hwnd) {
  const std::string clean = CleanName(name);
  if (hwnd == nullptr) {
    ShowMessage("No indicate m_hwnd");
    return 0;
  }
  const bool wasOpen = IsOpen();
  ClosePort();
  m_hwnd = hwnd;
  if (wasOpen) std::this_thread::sleep_for(std::chrono::milliseconds(100));

  const int fd = ::open(clean.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // Nobody else may use the port while we hold it: TIOCEXCL keeps out
  // ordinary users, the lock keeps out cooperating programs (and root).
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    ShowMessage("Can not Open COM");
    return 0;
  }
  ::ioctl(fd, TIOCEXCL);
  m_fd.store(fd);
  if (!ConfigurePort(12, 0, 4, 0)) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ::close(fd);
    m_fd.store(-1);
    return 0;
  }
  m_bRun.store(1);
  m_bEnded.store(0);
  m_stop.store(false);
  m_bLost.store(false);
  try {
    m_reader = std::thread([this] { ReaderThread(); });
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      ::close(fd);
      m_fd.store(-1);
    }
    m_bRun.store(0);
    ShowMessage("Not CreateThread");
    return 0;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strName = clean;
  return 1;
}

int CRsCom::ConfigurePort(int speed, int parity, int dataBits, int stopBits) {
  const int fd = m_fd.load();
  if (fd < 0) return 0;
  struct termios tio {};
  if (::tcgetattr(fd, &tio) != 0) return 0;

  const int baud = SpeedOfIndex(speed);
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CRTSCTS | PARENB | PARODD | CMSPAR | CSTOPB | CSIZE);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  switch (dataBits) {
    case 0: return 0;  // four data bits: no serial driver here can do them
    case 1: tio.c_cflag |= CS5; break;
    case 2: tio.c_cflag |= CS6; break;
    case 3: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  switch (parity) {
    case 1: tio.c_cflag |= PARENB; break;                    // even
    case 2: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
    case 3: tio.c_cflag |= PARENB | PARODD; break;           // odd
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;                                          // none
  }
  switch (stopBits) {
    case 1:
      // One and a half stop bits exist only with five data bits, where the
      // UART gives them for the two-stop-bit setting.
      if (dataBits != 1) return 0;
      tio.c_cflag |= CSTOPB;
      break;
    case 2: tio.c_cflag |= CSTOPB; break;
    default: break;
  }
  const speed_t constant = SpeedConstant(baud);
  if (constant != B0) {
    ::cfsetispeed(&tio, constant);
    ::cfsetospeed(&tio, constant);
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return 0;
  if (constant == B0 && !detail::SetArbitrarySpeed(fd, static_cast<unsigned>(baud))) return 0;

  // Bytes that arrive with no gap longer than this belong to one block.
  m_nReadIntervalMs.store(50);
  ::tcflush(fd, TCIOFLUSH);
  return 1;
}

int CRsCom::WritePort(int length, const std::uint8_t* bytes) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const int fd = m_fd.load();
  if (fd < 0) {
    lock.unlock();
    ShowMessage("have not opened COM");
    return 0;
  }
  if (bytes == nullptr || length <= 0) return 0;
  const int n = length > kMaxWrite ? kMaxWrite : length;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteBoundMs);
  int written = 0;
  while (written < n) {
    const ssize_t r = ::write(fd, bytes + written, static_cast<std::size_t>(n - written));
    if (r > 0) {
      written += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) break;
    const int left = MsLeft(deadline);
    if (left == 0) break;
    struct pollfd p {
      fd, POLLOUT, 0
    };
    if (::poll(&p, 1, left) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  return written;
}

void CRsCom::StopReader() {
  if (!m_reader.joinable()) return;
  m_bRun.store(0);
  m_stop.store(true);
  if (HandOver* hwnd = m_hwnd.load()) hwnd->WakeWaiters();
  m_reader.join();
}

void CRsCom::ClosePort() {
  StopReader();
  std::lock_guard<std::mutex> lock(m_mutex);
  const int fd = m_fd.exchange(-1);
  if (fd >= 0) ::close(fd);
  m_bRun.store(0);
  m_bEnded.store(0);
  m_strName.clear();
}

void CRsCom::ReaderThread() {
  const int fd = m_fd.load();
  HandOver* const hwnd = m_hwnd.load();
  const DataFn onData = m_onData;
  std::uint8_t buf[kBlockSize];
  bool lost = false;

  // Reads what is there; false when the port has gone away.
  auto readSome = [&](int& have) {
    for (;;) {
      const ssize_t r = ::read(fd, buf + have, static_cast<std::size_t>(kBlockSize - have));
      if (r > 0) {
        have += static_cast<int>(r);
        return true;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno == EAGAIN) return true;
      return false;  // end of file or an error such as EIO: unplugged
    }
  };

  while (m_bRun.load() && !lost) {
    struct pollfd p {
      fd, POLLIN, 0
    };
    const int ready = ::poll(&p, 1, kPollMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      lost = true;
      break;
    }
    if (ready == 0) continue;
    int have = 0;
    if ((p.revents & POLLIN) != 0) {
      if (!readSome(have)) lost = true;
    } else {
      lost = true;  // hang-up or error with nothing left to read
    }
    // A reply is written in one go; keep reading while bytes follow each
    // other closely, so that it reaches the frame as one block.
    const int interval = m_nReadIntervalMs.load();
    const auto totalEnd = Clock::now() + std::chrono::milliseconds(100 + 20 * kBlockSize);
    while (!lost && have > 0 && have < kBlockSize && m_bRun.load()) {
      struct pollfd q {
        fd, POLLIN, 0
      };
      const int left = MsLeft(totalEnd);
      if (left == 0) break;
      const int r = ::poll(&q, 1, interval < left ? interval : left);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      if ((q.revents & POLLIN) != 0) {
        const int before = have;
        if (!readSome(have)) lost = true;
        if (have == before && !lost) break;
      } else {
        lost = true;
      }
    }
    if (have > 0 && hwnd != nullptr && onData) {
      std::vector<std::uint8_t> block(buf, buf + have);
      const bool handed = hwnd->Send(
          [onData, block = std::move(block)] { onData(block.data(), static_cast<int>(block.size())); },
          &m_stop);
      if (!handed) break;
    }
  }
  if (lost) {
    // Reported once; the reader then stops instead of spinning on a port
    // that keeps signalling hang-up.
    m_bLost.store(true);
    if (hwnd != nullptr && m_onLost) hwnd->Post(m_onLost);
  }
  m_bEnded.store(1);
}

}  // namespace panora
