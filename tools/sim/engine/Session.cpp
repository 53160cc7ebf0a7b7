#include "sim/engine/Session.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/Frame.h"
#include "link/Traffic.h"
#include "sim/engine/ServerOptions.h"
#include "sim/engine/SharedEngine.h"
#include "sim/engine/SimLog.h"
#include "sim/engine/StopSignal.h"

namespace panora::sim {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return HexBytes(bytes.data(), bytes.size());
}

}  // namespace

Session::Session(const ServingContext& context, int fd, bool isSocket, std::string name)
    : m_ctx(context), m_fd(fd), m_isSocket(isSocket), m_name(std::move(name)) {}

int Session::WaitMs() const {
  // Only a partial frame needs a deadline; otherwise wait for bytes alone.
  return m_decoder.Pending() > 0 ? m_ctx.options.partialTimeoutMs : -1;
}

void Session::Reset(int fd) {
  m_fd = fd;
  m_decoder.Reset();
  m_frames = 0;
  m_shown = 0;
}

void Session::FlushSkips() {
  for (const auto& ev : m_decoder.Flush()) LogSkip(std::string(SkipReasonText(ev.reason)), ev.bytes);
}

void Session::LogSkip(const std::string& reason, const std::vector<std::uint8_t>& bytes) {
  // Skip only what a rejected candidate already showed.
  const std::size_t covered = std::min(m_shown, bytes.size());
  m_shown -= covered;
  if (covered < bytes.size()) {
    m_ctx.log.Line("rx skip " + reason + ": " + HexBytes(bytes.data() + covered, bytes.size() - covered));
  }
}

bool Session::OnSilence() {
  // The held frame start may have had a bad length field: give up only its
  // first byte and read the rest again, so a good frame sent behind it is
  // still taken.
  while (m_decoder.Pending() > 0 && !m_ctx.stop.Raised()) {
    const auto events = m_decoder.Flush();
    if (events.empty()) break;
    const std::vector<std::uint8_t> held = events.front().bytes;
    m_ctx.log.Line("rx skip truncated (" + std::to_string(m_ctx.options.partialTimeoutMs) +
                   " ms of silence): " + Hex(held));
    m_shown = held.size() - 1;
    if (!OnBytes(held.data() + 1, held.size() - 1)) return false;
  }
  return true;
}

bool Session::OnBytes(const std::uint8_t* data, std::size_t count) {
  const ServerOptions& opt = m_ctx.options;
  for (const auto& ev : m_decoder.Feed(data, count)) {
    if (!ev.isFrame) {
      const std::string reason(SkipReasonText(ev.reason));
      if (!ev.candidate.empty()) {
        m_ctx.log.Line("rx skip " + reason + ": " + Hex(ev.candidate));
        m_shown = ev.candidate.size() - ev.bytes.size();
        continue;
      }
      LogSkip(reason, ev.bytes);
      continue;
    }
    m_shown = 0;
    m_ctx.log.Line("rx " + Hex(ev.bytes));
    const Outcome outcome = m_ctx.engine.Process(ev.bytes);
    if (!outcome.problem.empty()) m_ctx.log.Line("not applied: " + outcome.problem);
    ++m_frames;
    if (!opt.silent) Answer(outcome.answer);
    if (opt.dropAfter > 0 && m_frames >= opt.dropAfter) {
      m_ctx.log.Line("dropping " + m_name + " after " + std::to_string(m_frames) + " frames");
      return false;
    }
    if (m_ctx.stop.Raised()) return false;
  }
  return true;
}

void Session::Answer(const std::vector<std::uint8_t>& answer) {
  const ServerOptions& opt = m_ctx.options;
  if (opt.delayMs > 0 && !m_ctx.stop.Pause(opt.delayMs)) return;
  std::vector<std::uint8_t> bytes = answer;
  if (opt.garbage) {
    // Random, but never a frame start, so that no reader can find a frame.
    std::uniform_int_distribution<int> dist(0, 254);
    for (auto& b : bytes) {
      const int v = dist(m_rng);
      b = static_cast<std::uint8_t>(v >= kFrameStart0 ? v + 1 : v);
    }
    // Nor a block that the program would take by its length field (byte 2 x
    // 10 + byte 3, at most the block's size): 30 and up is more than any answer.
    if (bytes.size() > 2 && bytes[2] < 3) bytes[2] = static_cast<std::uint8_t>(bytes[2] + 3);
    m_ctx.log.Line("tx garbage " + Hex(bytes));
  } else {
    m_ctx.log.Line("tx " + Hex(bytes));
  }
  if (opt.split && bytes.size() > 1) {
    const std::size_t half = bytes.size() / 2;
    if (!WriteAll(bytes.data(), half)) return;
    if (!m_ctx.stop.Pause(opt.splitPauseMs)) return;
    WriteAll(bytes.data() + half, bytes.size() - half);
  } else {
    WriteAll(bytes.data(), bytes.size());
  }
  if (opt.floodBps > 0 && m_frames == 1 && !bytes.empty()) Flood(bytes);
}

void Session::Flood(const std::vector<std::uint8_t>& answer) {
  // Copies of the answer, paced in 10 ms steps, as a processor that keeps talking.
  constexpr int kStepMs = 10;
  const int bps = m_ctx.options.floodBps;
  const std::size_t perStep = std::max<std::size_t>(1, static_cast<std::size_t>(bps) * kStepMs / 1000);
  m_ctx.log.Line("flood " + m_name + " at " + std::to_string(bps) + " bytes/s");
  std::size_t offset = 0;  // keeps the repeated answers whole across steps
  for (int t = 0; t < m_ctx.options.floodMs; t += kStepMs) {
    std::vector<std::uint8_t> step(perStep);
    for (std::size_t i = 0; i < perStep; ++i) step[i] = answer[(offset + i) % answer.size()];
    offset = (offset + perStep) % answer.size();
    if (!WriteAll(step.data(), step.size()) || !m_ctx.stop.Pause(kStepMs)) return;
  }
}

bool Session::WriteAll(const std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    // A client that stops reading is given up on after a while rather than
    // wedging the simulator.
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_ctx.stop.Fd(), POLLIN, 0}};
    const int rc = ::poll(fds, 2, 2000);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0 || fds[1].revents) return false;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL) && !(fds[0].revents & POLLOUT)) return false;
    const ssize_t n = m_isSocket ? ::send(m_fd, data, count, MSG_NOSIGNAL) : ::write(m_fd, data, count);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      m_ctx.log.Line("send to " + m_name + " failed: " + std::strerror(errno));
      return false;
    }
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace panora::sim
