#include "link/DeviceLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "link/Commands.h"
#include "link/FrameDecoder.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

namespace panora {

AutoResetEvent g_hReplyEvent;
std::uint8_t g_RxBuf[kRxBufSize];

namespace {

// Bytes a block must hold for the answer of a noted command.
int AnswerBytes(int curCmd) {
  switch (curCmd) {
    case cmd::kQueryPosition: return 17;  // bytes 9..16
    case cmd::kBezel: return 11;          // bytes 9..10
    case cmd::kVersion: return 12;        // bytes 9..11
    case cmd::kHandshake: return 7;       // byte 6
    default: return 0;
  }
}

// The sub-code the bookkeeping notes for a frame sent. Answers are read by
// command alone, and the two commands whose sub-code says only which window
// or whether it sets are noted as their query: (0x31, 0) and (0x53, 0).
int NotedSubCode(int command, int subCode) {
  return command == cmd::kQueryPosition || command == cmd::kBezel ? 0 : subCode;
}

}  // namespace

bool IsQueryCommand(int command, int subCode) {
  return command == cmd::kHandshake || command == cmd::kVersion || command == cmd::kQueryPosition ||
         (command == cmd::kBezel && subCode == cmd::kSubBezelQuery);
}

std::string ReplyAction::VersionText() const {
  char text[48];
  std::snprintf(text, sizeof text, "Version:%d.%d.%d", version[0], version[1], version[2]);
  return text;
}

int ShownBezel(int value) {
  return value > cmd::kBezelMax ? 0 : value;
}

namespace {

// The answer frame a block holds, whole and valid: the last one of the noted
// command (answers come in the order of their commands, so an earlier one in
// the same block answers an earlier command), else the first of another
// command, as reading the block from its start would take it. Null when the
// block holds no valid frame.
std::optional<std::vector<std::uint8_t>> AnswerFrame(const std::uint8_t* bytes, int count, int curCmd) {
  std::optional<std::vector<std::uint8_t>> ofNoted, other;
  // Start bytes in the noise whose length runs past the block's end hold
  // the decoder back for bytes that never come; the answer may lie inside
  // them, so the rest after those two bytes is searched again.
  for (int from = 0; from < count;) {
    FrameDecoder decoder;
    std::size_t used = 0;
    for (DecoderEvent& ev : decoder.Feed(bytes + from, static_cast<std::size_t>(count - from))) {
      used += ev.bytes.size();
      if (!ev.isFrame) continue;
      if (ev.Command() == curCmd)
        ofNoted = std::move(ev.bytes);
      else if (!other)
        other = std::move(ev.bytes);
    }
    if (decoder.Pending() == 0) break;
    from += static_cast<int>(used) + 2;
  }
  return ofNoted ? ofNoted : other;
}

// The block read as the answer to curCmd from its first byte on.
ReplyAction ReadBlock(const std::uint8_t* bytes, int count, int curCmd) {
  ReplyAction a;
  if (bytes != nullptr && count >= 4) {
    const int d = bytes[2] * 10 + bytes[3];  // ten, not the sender's 255
    a.accepted = count >= d && d >= 5 && count >= AnswerBytes(curCmd);
  }
  if (!a.accepted) {
    if (curCmd == cmd::kQueryPosition) a.kind = ReplyKind::PositionFailed;
    return a;
  }
  const std::uint8_t* b = bytes;
  switch (curCmd) {
    case cmd::kQueryPosition:
      a.kind = ReplyKind::Position;
      a.posX = b[9] * 256 + b[10];
      a.posY = b[11] * 256 + b[12];
      a.posW = b[13] * 256 + b[14];
      a.posH = b[15] * 256 + b[16];
      break;
    case cmd::kBezel:
      if (b[5] == 0) {
        a.kind = ReplyKind::Bezel;
        a.bezelH = b[9];
        a.bezelV = b[10];
      }
      break;
    case cmd::kHandshake:
      a.kind = ReplyKind::Handshake;
      a.handshakeOk = b[cmd::kAnswerHandshakeResult] == 0;
      break;
    case cmd::kVersion:
      a.kind = ReplyKind::Version;
      a.version[0] = b[9];
      a.version[1] = b[10];
      a.version[2] = b[11];
      break;
    default: break;
  }
  return a;
}

}  // namespace

ReplyAction ParseReply(const std::uint8_t* bytes, int count, int curCmd) {
  if (bytes != nullptr && count >= kFrameOverhead) {
    // Noise before an answer (a line that picked up rubbish, a device
    // talking at another speed) must not be read as the answer: a whole,
    // valid frame decides.
    if (const auto frame = AnswerFrame(bytes, count, curCmd))
      return ReadBlock(frame->data(), static_cast<int>(frame->size()), curCmd);
    // A block that filled the whole receive buffer without holding a frame
    // is a piece of a burst longer than any answer; its bytes would decide
    // at random.
    if (count >= kRxBufSize) {
      ReplyAction a = ReadBlock(nullptr, 0, curCmd);
      a.burstPiece = true;
      return a;
    }
  }
  return ReadBlock(bytes, count, curCmd);
}

ReplyAction ParseReply(const std::uint8_t* carried, int carriedCount, const std::uint8_t* bytes, int count,
                       int curCmd) {
  if (carried != nullptr && carriedCount > 0 && bytes != nullptr && count > 0) {
    // The answer that ended a burst may have begun in the burst's last
    // block: a whole, valid frame across the two decides.
    std::vector<std::uint8_t> joined(carried, carried + carriedCount);
    joined.insert(joined.end(), bytes, bytes + count);
    if (const auto frame = AnswerFrame(joined.data(), static_cast<int>(joined.size()), curCmd))
      return ReadBlock(frame->data(), static_cast<int>(frame->size()), curCmd);
  }
  return ParseReply(bytes, count, curCmd);
}

struct CDeviceLink::Worker {
  std::thread thread;
  std::atomic<bool> done{false};
};

CDeviceLink::CDeviceLink(CRsCom& rsCom, CNetLink& netLink, HandOver* hwnd, LinkHooks hooks)
    : m_RsCom(rsCom), m_NetLink(netLink), m_hwnd(hwnd), m_hooks(std::move(hooks)) {}

CDeviceLink::~CDeviceLink() {
  Shutdown();
}

void CDeviceLink::NoteCommand(int command, int subCode) {
  m_nPrevCmd.store(m_nCurCmd.load());
  m_nPrevSub.store(m_nCurSub.load());
  m_nCurCmd.store(command);
  m_nCurSub.store(subCode);
}

void CDeviceLink::SetTrafficHook(TrafficHook* hook) {
  m_traffic = hook;
  m_RsCom.SetTrafficHook(hook);
  m_NetLink.SetTrafficHook(hook);
}

bool CDeviceLink::TransportOpen() const {
  return m_RsCom.IsOpen() || m_NetLink.IsConnected();
}

void CDeviceLink::ShowMessage(const char* text) {
  if (!m_hooks.showMessage) return;
  // The worker never waits for a box: it queues it for the user-interface thread.
  if (m_hwnd == nullptr || m_hwnd->IsUiThread()) {
    if (m_quiet) {
      m_quietMessage = text;
      return;
    }
    m_hooks.showMessage(text);
    return;
  }
  auto show = m_hooks.showMessage;
  m_hwnd->Post([show, text] { show(text); });
}

void CDeviceLink::Post(std::function<void()> fn) {
  if (!fn) return;
  if (m_hwnd == nullptr) {
    fn();
    return;
  }
  m_hwnd->Post(std::move(fn));
}

bool CDeviceLink::Write(const std::uint8_t* bytes, int length, bool box) {
  if (m_RsCom.IsOpen()) return m_RsCom.WritePort(length, bytes) == length;
  if (m_NetLink.IsConnected() && m_NetLink.ReceiveEnded()) {
    // The processor closed the connection (the pane says "lost"): the system
    // might still take the frame and drop it unseen, so it is not written but
    // failed, counted and reported as a failed send is.
    if (m_traffic != nullptr) m_traffic->OnTraffic(TrafficDir::Unsent, bytes, length, TrafficClock::now());
    if (box) ShowMessage("Net Send failure!");
    return false;
  }
  if (m_NetLink.IsConnected()) {
    if (m_NetLink.Send(bytes, length) == length) return true;
    if (box) ShowMessage("Net Send failure!");
    return false;
  }
  // Nowhere to go: the monitor shows it as not sent all the same.
  if (m_traffic != nullptr) m_traffic->OnTraffic(TrafficDir::Unsent, bytes, length, TrafficClock::now());
  return false;
}

void CDeviceLink::NoteUnsent(const std::uint8_t* bytes, int length, int frames) {
  if (length < kFrameOverhead || IsQueryCommand(bytes[4], bytes[5])) return;
  // A user mode stored while the processor could not hear it is made again
  // only by a set-up with the user modes.
  if (bytes[4] == cmd::kSaveMode) m_nUnsentStores.fetch_add(frames);
  m_nUnsent.fetch_add(frames);
  if (m_hooks.unsentChanged) Post(m_hooks.unsentChanged);
}

bool CDeviceLink::LinkLost() const {
  return !TransportOpen() || (m_RsCom.IsOpen() && m_RsCom.IsLost()) ||
         (!m_RsCom.IsOpen() && m_NetLink.ReceiveEnded());
}

void CDeviceLink::CountUnsent(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload, int n) {
  if (n < 0 || n > kMaxPayload) return;
  std::uint8_t buffer[kTxBufSize];
  const CKezCmd frame = BuildFrame(buffer, payload, n, command, subCode);
  CountUnsentFrame(frame.Data(), frame.TotalLength());
}

void CDeviceLink::CountUnsentFrame(const std::uint8_t* bytes, int length) {
  if (bytes == nullptr || length < kFrameOverhead) return;
  if (m_traffic != nullptr) m_traffic->OnTraffic(TrafficDir::Unsent, bytes, length, TrafficClock::now());
  NoteUnsent(bytes, length);
}

void CDeviceLink::AddUnsentUserModes(int changes) {
  if (changes <= 0) return;
  m_nUnsentStores.fetch_add(changes);
  m_nUnsent.fetch_add(changes);
  if (m_hooks.unsentChanged) Post(m_hooks.unsentChanged);
}

bool CDeviceLink::SendFrame(const std::uint8_t* bytes, int length) {
  if (bytes == nullptr || length <= 0) return false;
  if (Write(bytes, length)) return true;
  NoteUnsent(bytes, length);
  return false;
}

bool CDeviceLink::SendCommand(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload, int n,
                              bool respectBusy) {
  if (n < 0 || n > kMaxPayload) return false;
  if (respectBusy && m_bSending.load() == 1) {
    ShowMessage("please wait second, sending data have not finished");
    // The change the operator made stays on screen: it waits, counted.
    CountUnsent(command, subCode, payload, n);
    return false;
  }
  // A buffer of its own: g_TxBuf may still hold a batch being handed to a worker.
  std::uint8_t buffer[kTxBufSize];
  const CKezCmd frame = BuildFrame(buffer, payload, n, command, subCode);
  NoteCommand(command, NotedSubCode(command, subCode));
  SendFrame(frame.Data(), frame.TotalLength());
  return true;
}

ReplyAction CDeviceLink::TakeReply(const std::uint8_t* bytes, int count) {
  g_hReplyEvent.Set();
  if (bytes == nullptr || count < 0) count = 0;
  if (count > kRxBufSize) count = kRxBufSize;
  if (count > 0) std::memcpy(g_RxBuf, bytes, static_cast<std::size_t>(count));
  ReplyAction a =
      ParseReply(m_carried.data(), static_cast<int>(m_carried.size()), g_RxBuf, count, m_nCurCmd.load());
  // Only the tail of a piece of a burst is kept for the next block: a short
  // block read on its own, as ever, leaves nothing behind.
  m_carried.clear();
  if (a.burstPiece) m_carried.assign(g_RxBuf + count - kReplyCarryBytes, g_RxBuf + count);
  if (a.kind == ReplyKind::Position) m_nReplyStatus.store(kReplyAnswered);
  if (a.kind == ReplyKind::PositionFailed) m_nReplyStatus.store(kReplyShort);
  if (a.kind == ReplyKind::Bezel || a.kind == ReplyKind::Version) m_nReplyStatus.store(kReplyAnswered);
  return a;
}

void CDeviceLink::StartSendWorker() {
  const int job = m_nJobType.load();
  int frameSize = 0, frames = 0;
  switch (job) {
    case kJobOverlay: frameSize = 17, frames = 4; break;
    case kJobGeometry: frameSize = 20, frames = 4; break;
    case kJobPosition:
    case kJobBezel: frameSize = 12, frames = 1; break;
    default: break;  // an unknown job sends nothing
  }
  std::vector<std::uint8_t> batch(g_TxBuf, g_TxBuf + frameSize * frames);
  const bool open = TransportOpen();
  if (open) m_bSending.store(1);
  // A query whose answer the frame reads is pending from here on.
  if (job == kJobPosition || job == kJobBezel) m_nReplyStatus.store(kReplyPending);
  if (!StartWorker([this, job, open, batch = std::move(batch), frameSize]() mutable {
        SendWorker(job, open, std::move(batch), frameSize);
      }) &&
      open)
    m_bSending.store(0);
}

bool CDeviceLink::StartWorker(std::function<void()> body) {
  std::lock_guard<std::mutex> lock(m_workersMutex);
  if (m_stop.load()) return false;
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if ((*it)->done.load()) {
      (*it)->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
  auto worker = std::make_unique<Worker>();
  Worker* w = worker.get();
  try {
    w->thread = std::thread([w, body = std::move(body)] {
      body();
      w->done.store(true);
    });
  } catch (const std::system_error&) {
    return false;
  }
  m_workers.push_back(std::move(worker));
  return true;
}

bool CDeviceLink::StartSetupBatch(std::vector<std::vector<std::uint8_t>> frames, bool withUserModes) {
  if (!TransportOpen() || m_bSending.load() == 1 || frames.empty()) return false;
  m_bSending.store(1);
  m_nJobType.store(kJobSetup);
  m_cancelSetup.store(false);
  m_setupUserModes.store(withUserModes);
  m_nUnsentAtSetup.store(m_nUnsent.load());
  m_nUnsentStoresAtSetup.store(m_nUnsentStores.load());
  if (StartWorker([this, frames = std::move(frames)]() mutable { SetupWorker(std::move(frames)); })) return true;
  m_bSending.store(0);
  return false;
}

bool CDeviceLink::WaitForAnswer() {
  using Clock = std::chrono::steady_clock;
  // The wait is cut into slices only so that shut-down need not wait for it.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyWaitMs);
  while (!m_stop.load()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    if (g_hReplyEvent.Wait(std::min(left, std::chrono::milliseconds(20)))) return true;
  }
  return false;
}

void CDeviceLink::SetupWorker(std::vector<std::vector<std::uint8_t>> frames) {
  SetupOutcome out;
  out.total = static_cast<int>(frames.size());
  out.withUserModes = m_setupUserModes.load();
  for (const std::vector<std::uint8_t>& f : frames) {
    if (m_stop.load()) break;
    if (m_cancelSetup.load()) {
      out.cancelled = true;
      break;
    }
    if (LinkLost()) {
      out.lost = true;
      break;
    }
    const int length = static_cast<int>(f.size());
    if (length < kFrameOverhead) continue;
    NoteCommand(f[4], NotedSubCode(f[4], f[5]));
    g_hReplyEvent.Reset();
    // Not counted one by one: the batch ends whole or it does not. A frame
    // that cannot go out ends it: the link is gone, and the end line says
    // so once instead of a box per frame left.
    if (!Write(f.data(), length, false)) {
      out.lost = true;
      break;
    }
    ++out.sent;
    if (WaitForAnswer()) ++out.answered;
    if (m_hooks.setupProgress) {
      auto progress = m_hooks.setupProgress;
      const int done = out.sent, total = out.total;
      Post([progress, done, total] { progress(done, total); });
    }
  }
  m_bSending.store(0);
  if (m_stop.load()) return;
  if (m_hooks.setupDone) {
    auto fn = m_hooks.setupDone;
    Post([fn, out] { fn(out); });
  }
}

void CDeviceLink::EndSetup(const SetupOutcome& outcome) {
  if (m_nJobType.load() == kJobSetup) m_nJobType.store(0);
  if (!outcome.Whole()) return;
  // What was waiting when the batch started went out with it; a change made
  // since, that could not go out, still waits. User modes stored meanwhile
  // went out only with a set-up that made them.
  const int stores = outcome.withUserModes ? m_nUnsentStoresAtSetup.load() : 0;
  const int covered = m_nUnsentAtSetup.load() - (outcome.withUserModes ? 0 : m_nUnsentStoresAtSetup.load());
  int now = m_nUnsent.load();
  while (!m_nUnsent.compare_exchange_weak(now, std::max(0, now - covered))) {
  }
  now = m_nUnsentStores.load();
  while (!m_nUnsentStores.compare_exchange_weak(now, std::max(0, now - stores))) {
  }
  if (m_hooks.unsentChanged) m_hooks.unsentChanged();
}

void CDeviceLink::SendWorker(int job, bool transportOpen, std::vector<std::uint8_t> batch, int frameSize) {
  if (!transportOpen) {
    if (job == kJobOverlay) {
      // The layers set on every output could not go out; the monitor shows
      // each frame as not sent.
      for (std::size_t at = 0; frameSize > 0 && at + static_cast<std::size_t>(frameSize) <= batch.size();
           at += static_cast<std::size_t>(frameSize))
        Write(batch.data() + at, frameSize, false);
      if (batch.size() >= static_cast<std::size_t>(frameSize) && frameSize > 0)
        NoteUnsent(batch.data(), frameSize, static_cast<int>(batch.size()) / frameSize);
      if (m_hooks.batchDone && m_hwnd != nullptr) {
        auto done = m_hooks.batchDone;
        m_hwnd->Post([done] { done(kJobOverlay); });
      }
    } else if (job == kJobPosition) {
      m_nReplyStatus.store(kReplyNotConnected);
      if (m_hooks.positionAnswer && m_hwnd != nullptr) m_hwnd->Send(m_hooks.positionAnswer, &m_stop);
    }
    return;
  }
  for (std::size_t at = 0; frameSize > 0 && at + static_cast<std::size_t>(frameSize) <= batch.size();
       at += static_cast<std::size_t>(frameSize)) {
    if (m_stop.load()) break;
    const std::uint8_t* frame = batch.data() + at;
    NoteCommand(frame[4], NotedSubCode(frame[4], frame[5]));
    // Reset before writing, so that an answer that comes back at once counts.
    g_hReplyEvent.Reset();
    SendFrame(frame, frameSize);
    const bool answered = WaitForAnswer();
    if (answered || m_stop.load() || m_hwnd == nullptr) continue;
    if (m_hooks.replyTimeout) m_hwnd->Send(m_hooks.replyTimeout, &m_stop);
    if (job == kJobPosition || job == kJobBezel) {
      m_nReplyStatus.store(kReplyTimedOut);
      if (m_hooks.positionAnswer) m_hwnd->Send(m_hooks.positionAnswer, &m_stop);
    }
  }
  // Not busy before the end is announced: a button the announcement
  // enables again must not meet the busy state when it is pressed at once.
  m_bSending.store(0);
  if (!m_stop.load() && m_hwnd != nullptr && m_hooks.batchDone &&
      (job == kJobOverlay || job == kJobGeometry)) {
    auto done = m_hooks.batchDone;
    m_hwnd->Post([done, job] { done(job); });
  }
}

void CDeviceLink::Shutdown() {
  m_stop.store(true);
  if (m_hwnd != nullptr) m_hwnd->WakeWaiters();
  // A worker may be waiting for room on a line or socket that takes nothing.
  m_RsCom.StopWaiting();
  m_NetLink.StopWaiting();
  std::vector<std::unique_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> lock(m_workersMutex);
    workers.swap(m_workers);
  }
  for (auto& w : workers) w->thread.join();
}

}  // namespace panora
