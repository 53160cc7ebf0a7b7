#include "ctl/link_io.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "link/FrameDecoder.h"
#include "link/HandOver.h"
#include "link/RsCom.h"

namespace panora::ctl {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::vector<std::string> FrameFaults(const std::vector<std::uint8_t>& b) {
  char text[96];
  std::vector<std::string> faults;
  if (b.size() < static_cast<std::size_t>(kFrameOverhead)) {
    faults.push_back("it is only " + std::to_string(b.size()) + " bytes long");
    return faults;
  }
  if (b[0] != kFrameStart0 || b[1] != kFrameStart1) faults.push_back("it does not start with 7D 3A");
  const std::size_t counted = std::size_t{b[2]} * 255 + b[3];
  if (counted + 8 != b.size()) {
    std::snprintf(text, sizeof text, "its length field %02X %02X does not match its %zu bytes", b[2], b[3],
                  b.size());
    faults.push_back(text);
    return faults;
  }
  unsigned sum = 0;
  for (std::size_t i = 4; i < counted + 4; ++i) sum += b[i];
  if (static_cast<std::uint8_t>(sum) != b[counted + 4]) {
    std::snprintf(text, sizeof text, "its checksum is 0x%02X, not 0x%02X", b[counted + 4], sum & 0xFFu);
    faults.push_back(text);
  }
  if (!std::equal(std::begin(kFrameTrailer), std::end(kFrameTrailer), b.end() - 3))
    faults.push_back("it does not end in \"END\"");
  return faults;
}

std::string NoAnswerText(Link::Wait wait, int timeoutMs, const std::string& error,
                         const std::string& skipped) {
  const std::string extra =
      skipped.empty() ? "" : " (received only bytes that are no frame: " + skipped + ")";
  switch (wait) {
    case Link::Wait::Closed: return "the link closed before an answer came" + extra;
    case Link::Wait::Failed: return error + extra;
    default: return "no answer within " + std::to_string(timeoutMs) + " ms" + extra;
  }
}

std::string TakenAnswerText(const std::string& fault) {
  return "the answer is no clean frame: " + fault + " (taken, as the program would)";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 0xF];
  }
  return s;
}

int ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* res = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res); rc != 0) {
    error = "cannot resolve " + host + ": " + ::gai_strerror(rc);
    return -1;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int fd = -1;
  error = "no address for " + host;
  for (addrinfo* ai = res; ai && fd < 0; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      // Bounded, so that a host that never answers cannot hang a script.
      pollfd p{fd, POLLOUT, 0};
      do {
        rc = ::poll(&p, 1, MsLeft(deadline));
      } while (rc < 0 && errno == EINTR);
      // A failed poll tells nothing about the connection: it is a failure too.
      int soErr = rc == 0 ? ETIMEDOUT : rc < 0 ? errno : 0;
      socklen_t len = sizeof soErr;
      if (rc > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0) soErr = errno;
      errno = soErr;
      rc = soErr == 0 ? 0 : -1;
    }
    if (rc != 0) {
      error = "cannot connect to " + host + ":" + service + ": " + std::strerror(errno);
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(res);
  return fd;
}

// The serial transport hands every block over to a "user-interface thread";
// the command-line tool has none, so the reader's own thread takes it and
// queues the bytes for WaitFrame.
struct Link::Serial : HandOver {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::uint8_t> bytes;
  std::string messages;
  CRsCom port{this,
              [this](const std::uint8_t* data, int n) {
                {
                  std::lock_guard<std::mutex> lock(mutex);
                  bytes.insert(bytes.end(), data, data + n);
                }
                cv.notify_all();
              },
              [this](const char* text) {
                std::lock_guard<std::mutex> lock(mutex);
                messages += text;
              }};

  void Dispatch(std::function<void()> call) override { call(); }
  bool OnUiThread() const override { return true; }
};

Link::Link() = default;
Link::Link(int fd, bool isSocket) : m_fd(fd), m_isSocket(isSocket) {}

std::unique_ptr<Link> Link::OpenSerial(const std::string& device, std::string& error) {
  // Say why a device is unusable; the transport itself only knows that it is.
  const int probe = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (probe < 0) {
    error = "cannot open " + device + ": " + std::strerror(errno);
    return nullptr;
  }
  const bool isTty = ::isatty(probe) == 1;
  ::close(probe);
  if (!isTty) {
    error = device + " is not a serial port";
    return nullptr;
  }
  std::unique_ptr<Link> link(new Link());
  link->m_serial = std::make_unique<Serial>();
  Serial* serial = link->m_serial.get();
  serial->port.SetLostHandler([serial] {
    { std::lock_guard<std::mutex> lock(serial->mutex); }
    serial->cv.notify_all();
  });
  if (!link->m_serial->port.OpenPort(device)) {
    std::lock_guard<std::mutex> lock(link->m_serial->mutex);
    error =
        "cannot open " + device + (link->m_serial->messages.empty() ? "" : ": " + link->m_serial->messages);
    return nullptr;
  }
  return link;
}

Link::~Link() {
  if (m_serial) m_serial->port.ClosePort();
  if (m_fd >= 0) ::close(m_fd);
}

long Link::Read(std::uint8_t* buf, std::size_t size, int timeoutMs, std::string& error) {
  if (m_serial) {
    std::unique_lock<std::mutex> lock(m_serial->mutex);
    const bool any = m_serial->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return !m_serial->bytes.empty() || m_serial->port.IsLost();
    });
    if (!any) return -2;
    if (m_serial->bytes.empty()) return 0;  // the port went away
    std::size_t n = 0;
    while (n < size && !m_serial->bytes.empty()) {
      buf[n++] = m_serial->bytes.front();
      m_serial->bytes.pop_front();
    }
    return static_cast<long>(n);
  }
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, timeoutMs);
    if (rc < 0) {
      if (errno == EINTR) continue;
      error = std::string("poll: ") + std::strerror(errno);
      return -1;
    }
    if (rc == 0) return -2;
    const ssize_t n = m_isSocket ? ::recv(m_fd, buf, size, 0) : ::read(m_fd, buf, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return -2;
    // A hung-up serial line reads EIO; either way nothing more will come.
    return n < 0 ? 0 : static_cast<long>(n);
  }
}

bool Link::Send(const std::uint8_t* data, std::size_t count, std::string& error) {
  if (m_serial) {
    // The serial transport takes at most kMaxWrite bytes a call (what the
    // program can send); a longer frame goes out in pieces, back to back.
    while (count > 0) {
      const int piece = static_cast<int>(std::min<std::size_t>(count, CRsCom::kMaxWrite));
      if (m_serial->port.WritePort(piece, data) != piece) {
        error = "cannot send: the serial port did not take the frame";
        return false;
      }
      data += piece;
      count -= static_cast<std::size_t>(piece);
    }
    return true;
  }
  while (count > 0) {
    pollfd p{m_fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, 1000);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) {
      error = "cannot send: the link does not take data";
      return false;
    }
    const ssize_t n = m_isSocket ? ::send(m_fd, data, count, MSG_NOSIGNAL) : ::write(m_fd, data, count);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = std::string("cannot send: ") + std::strerror(errno);
      return false;
    }
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

Link::Wait Link::WaitAnswer(int timeoutMs, int noted, std::vector<std::uint8_t>& answer,
                            std::vector<std::string>& faults, std::string& skipped, std::string& error) {
  // Bytes still arriving this soon after the last ones belong to the same
  // answer, as the program's serial reader counts them.
  constexpr int kQuietMs = 50;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  FrameDecoder decoder;
  std::vector<std::uint8_t> raw;  // everything received, as the program's block would hold it
  auto programTakes = [&](const std::vector<std::uint8_t>& b) {
    return ParseReply(b.data(), static_cast<int>(b.size()), noted).accepted;
  };
  auto take = [&](const std::vector<std::uint8_t>& b) {
    answer = b;
    faults = FrameFaults(b);
    return Wait::Frame;
  };
  auto note = [&](const std::vector<DecoderEvent>& events) {
    for (const auto& ev : events) {
      if (ev.isFrame) {
        answer = ev.bytes;
        return true;
      }
      if (!skipped.empty()) skipped += "; ";
      skipped += std::to_string(ev.bytes.size()) + " bytes " + std::string(SkipReasonText(ev.reason));
      // A whole frame but for its checksum or trailer, which the program never looks at.
      if (!ev.candidate.empty() && programTakes(ev.candidate)) {
        take(ev.candidate);
        return true;
      }
    }
    return false;
  };
  for (;;) {
    const int left = MsLeft(deadline);
    const bool takeable = !raw.empty() && programTakes(raw);
    if (left == 0) {
      if (takeable) return take(raw);
      note(decoder.Flush());
      return Wait::TimedOut;
    }
    std::uint8_t buf[1024];
    const long n = Read(buf, sizeof buf, takeable ? std::min(left, kQuietMs) : left, error);
    if (n == -2) {
      if (takeable) return take(raw);
      continue;
    }
    if (n < 0) return Wait::Failed;
    if (n == 0) {
      if (takeable) return take(raw);
      note(decoder.Flush());
      return Wait::Closed;
    }
    raw.insert(raw.end(), buf, buf + n);
    if (note(decoder.Feed(buf, static_cast<std::size_t>(n)))) return Wait::Frame;
  }
}

}  // namespace panora::ctl
