#include "link/RsCom.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

#include "link/SerialBaud.h"
#include "link/SerialPorts.h"
#include "link/TimedLock.h"

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

// A close lets bytes already queued drain while the line moves (a whole
// 1022-byte frame takes 89 ms at 115200 baud), but discards them once it
// stands still: closing a line with unsent output otherwise waits for the
// driver's own closing time (30 s on many serial drivers).
constexpr int kDrainOnCloseMs = 150;
constexpr int kStuckOnCloseMs = 30;

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
  // Not the write mutex: a dialog asking for the name must not wait behind
  // a write that waits for room on a stuck line.
  std::lock_guard<std::mutex> lock(m_nameMutex);
  return m_strName;
}

void CRsCom::SetLostHandler(std::function<void()> onLost) {
  m_onLost = std::move(onLost);
}

void CRsCom::SetWriteFailedHandler(std::function<void()> onFailed) {
  m_onWriteFailed = std::move(onFailed);
}

namespace {
thread_local bool t_quiet = false;  // an open nobody asked for shows no box
}  // namespace

int CRsCom::OpenPortQuietly(const std::string& name, HandOver* hwnd) {
  t_quiet = true;
  const int r = OpenPort(name, hwnd);
  t_quiet = false;
  return r;
}

void CRsCom::ShowMessage(const char* text) {
  if (!m_showMessage || t_quiet) return;
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
  // ordinary users, the flock keeps out cooperating programs (and root),
  // and the UUCP lock file those that know only that convention. A port
  // that another program already has open without any lock is not shared
  // either: two programs reading one line each get half of every answer.
  std::string lockPath;
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || DeviceOpenElsewhere(fd) ||
      !TakeUucpLock(clean, lockPath)) {
    if (fd >= 0) ::close(fd);
    ShowMessage("Can not Open COM");
    return 0;
  }
  ::ioctl(fd, TIOCEXCL);
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  {
    std::lock_guard lock(m_mutex);
    m_fd.store(fd);
    m_wake.store(wake);
    m_strLockPath = lockPath;
  }
  m_generation->fetch_add(1);
  if (wake < 0 || !ConfigurePort(12, 0, 4, 0)) {
    std::lock_guard lock(m_mutex);
    CloseLocked();
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
      std::lock_guard lock(m_mutex);
      CloseLocked();
    }
    m_bRun.store(0);
    ShowMessage("Not CreateThread");
    return 0;
  }
  std::lock_guard<std::mutex> lock(m_nameMutex);
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

  // tcsetattr succeeds when the driver took any part of the request; what
  // it really runs with is only known by reading it back.
  struct termios now {};
  if (::tcgetattr(fd, &now) != 0) return 0;
  const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
  if ((now.c_cflag & framing) != (tio.c_cflag & framing)) return 0;
  if ((now.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) != 0 || (now.c_oflag & OPOST) != 0) return 0;
  if (constant != B0) {
    if (::cfgetospeed(&now) != constant) return 0;
  } else {
    // A driver may run a close rate of its own; UARTs tolerate 2 %.
    const long actual = static_cast<long>(detail::ReadArbitrarySpeed(fd));
    const long diff = actual > baud ? actual - baud : baud - actual;
    if (actual == 0 || diff * 50 > baud) return 0;
  }

  // Bytes that arrive with no gap longer than this belong to one block.
  m_nReadIntervalMs.store(50);
  ::tcflush(fd, TCIOFLUSH);
  return 1;
}

int CRsCom::WritePort(int length, const std::uint8_t* bytes) {
  HandOver* const hwnd = m_hwnd.load();
  const bool fromUi = hwnd != nullptr && hwnd->IsUiThread();
  const bool stuck = fromUi && m_uiStuck.load();
  const auto deadline = Clock::now() + std::chrono::milliseconds(fromUi ? kUiWriteBoundMs : kWriteBoundMs);
  std::unique_lock lock(m_mutex, std::defer_lock);
  // A worker's write waiting for room holds the lock: the user-interface
  // thread then finds no room either.
  const bool locked = stuck ? lock.try_lock() : LockBy(lock, deadline);
  const int fd = m_fd.load();
  if (fd < 0) {
    if (locked) lock.unlock();
    ShowMessage("have not opened COM");
    return 0;
  }
  if (bytes == nullptr || length <= 0) return 0;
  const int wake = m_wake.load();
  const int n = length > kMaxWrite ? kMaxWrite : length;
  // Logged before it leaves, so that its answer cannot be logged first; a
  // write that fails is logged again as not sent.
  TrafficHook* const hook = m_traffic.load();
  if (hook != nullptr) hook->OnTraffic(TrafficDir::Sent, bytes, n, TrafficClock::now());
  // A write cut short by a close is no fault of the line.
  auto failed = [this, wake, hwnd, fromUi] {
    struct pollfd c = {wake, POLLIN, 0};
    const bool closing = ::poll(&c, 1, 0) != 0;
    if (fromUi && !closing) m_uiStuck.store(true);
    if (!closing && hwnd != nullptr && m_onWriteFailed) hwnd->Post(m_onWriteFailed);
    return 0;
  };
  // After a write that found no room, the next ones of the user-interface
  // thread fail at once until the line takes bytes again.
  auto writable = [fd] {
    int queued = 0;
    struct pollfd w = {fd, POLLOUT, 0};
    return ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued == 0 && ::poll(&w, 1, 0) > 0 &&
           (w.revents & POLLOUT) != 0;
  };
  if (!locked || (stuck && !writable())) {
    if (hook != nullptr) hook->OnTraffic(TrafficDir::Unsent, bytes, n, TrafficClock::now());
    return failed();
  }
  // A frame goes out only once the frames before it have left the driver's
  // queue: should this one be cut, the flush below then takes nothing but
  // its own rest. (A pseudo-terminal reports no queue and goes on at once.)
  for (int queued = 0; ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0;) {
    const int left = MsLeft(deadline);
    if (left == 0) {  // nothing of this frame was written
      if (hook != nullptr) hook->OnTraffic(TrafficDir::Unsent, bytes, n, TrafficClock::now());
      return failed();
    }
    struct pollfd w = {wake, POLLIN, 0};
    if (::poll(&w, 1, std::min(left, 2)) != 0) {  // closing, or an error
      if (hook != nullptr) hook->OnTraffic(TrafficDir::Unsent, bytes, n, TrafficClock::now());
      return failed();
    }
  }
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
    // A close wakes us through the wake-up descriptor: it never waits
    // behind this write for the rest of the second.
    struct pollfd p[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
    if (::poll(p, 2, left) <= 0 || (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ||
        (p[1].revents & POLLIN) != 0)
      break;
  }
  if (written == n) {
    m_uiStuck.store(false);
    return n;
  }
  if (hook != nullptr) hook->OnTraffic(TrafficDir::Unsent, bytes, n, TrafficClock::now());
  // The processor's parser would take the rest of a cut frame as the start
  // of the next one: drop what has not left yet.
  if (written > 0) ::tcflush(fd, TCOFLUSH);
  return failed();
}

void CRsCom::StopReader() {
  if (!m_reader.joinable()) return;
  m_bRun.store(0);
  m_stop.store(true);
  if (HandOver* hwnd = m_hwnd.load()) hwnd->WakeWaiters();
  m_reader.join();
}

void CRsCom::CloseLocked() {
  const int fd = m_fd.exchange(-1);
  if (fd >= 0) {
    int queued = 0, last = -1, still = 0;
    for (int waited = 0; waited < kDrainOnCloseMs && still < kStuckOnCloseMs &&
                         ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0;
         waited += 2) {
      still = queued == last ? still + 2 : 0;
      last = queued;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) ::tcflush(fd, TCOFLUSH);
    ::close(fd);
  }
  const int wake = m_wake.exchange(-1);
  if (wake >= 0) ::close(wake);
  ReleaseUucpLock(m_strLockPath);
  m_strLockPath.clear();
}

void CRsCom::StopWaiting() {
  const int wake = m_wake.load();
  if (wake >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wake, &one, sizeof one);
  }
}

void CRsCom::ClosePort() {
  // Wake the reader and any write waiting for room before anything else.
  StopWaiting();
  m_generation->fetch_add(1);
  StopReader();
  std::lock_guard lock(m_mutex);
  CloseLocked();
  m_bRun.store(0);
  m_bEnded.store(0);
  std::lock_guard<std::mutex> nameLock(m_nameMutex);
  m_strName.clear();
}

void CRsCom::ReaderThread() {
  const int fd = m_fd.load();
  const int wake = m_wake.load();
  HandOver* const hwnd = m_hwnd.load();
  const DataFn onData = m_onData;
  const unsigned generation = m_generation->load();
  std::uint8_t buf[kBlockSize];
  bool lost = false;
  bool closing = false;

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
  // Waits for bytes, a hang-up or a close; -1 on a close, 0 on time-out.
  auto wait = [&](int timeoutMs, short& revents) {
    for (;;) {
      struct pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
      const int r = ::poll(p, 2, timeoutMs);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (p[1].revents & POLLIN) != 0) return -1;
      revents = p[0].revents;
      return r;
    }
  };

  // Blocks without a time limit while the line is idle: an open port that
  // receives nothing costs no wake-ups.
  while (m_bRun.load() && !lost) {
    short revents = 0;
    if (wait(-1, revents) < 0) {
      closing = true;
      break;
    }
    int have = 0;
    if ((revents & POLLIN) != 0) {
      if (!readSome(have)) lost = true;
    } else {
      lost = true;  // hang-up or error with nothing left to read
    }
    // A reply is written in one go; keep reading while bytes follow each
    // other closely, so that it reaches the frame as one block.
    const int interval = m_nReadIntervalMs.load();
    const auto totalEnd = Clock::now() + std::chrono::milliseconds(100 + 20 * kBlockSize);
    while (!lost && have > 0 && have < kBlockSize && m_bRun.load()) {
      const int left = MsLeft(totalEnd);
      if (left == 0) break;
      short more = 0;
      const int r = wait(interval < left ? interval : left, more);
      if (r < 0) {
        closing = true;
        break;
      }
      if (r == 0) break;
      if ((more & POLLIN) != 0) {
        const int before = have;
        if (!readSome(have)) lost = true;
        if (have == before && !lost) break;
      } else {
        lost = true;
      }
    }
    if (closing) break;
    if (have > 0) {
      if (TrafficHook* hook = m_traffic.load())
        hook->OnTraffic(TrafficDir::Received, buf, have, TrafficClock::now());
    }
    if (have > 0 && hwnd != nullptr && onData) {
      std::vector<std::uint8_t> block(buf, buf + have);
      const bool handed = hwnd->Send(
          [onData, block = std::move(block)] { onData(block.data(), static_cast<int>(block.size())); },
          &m_stop);
      if (!handed) break;
    }
  }
  if (lost && !closing) {
    // Reported once; the reader then stops instead of spinning on a port
    // that keeps signalling hang-up. A report that arrives after the port
    // was closed or opened again is about a port that no longer matters.
    m_bLost.store(true);
    if (hwnd != nullptr && m_onLost) {
      auto onLost = m_onLost;
      auto current = m_generation;
      hwnd->Post([onLost, current, generation] {
        if (current->load() == generation) onLost();
      });
    }
  }
  m_bEnded.store(1);
}

}  // namespace panora
