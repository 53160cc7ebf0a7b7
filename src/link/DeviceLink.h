// The send path, the reply-wait worker, the last-command bookkeeping and the
// reading of the processor's answers. The program's connection
// (app/Connection) owns one CDeviceLink beside its CRsCom and CNetLink; the
// window effects of an answer are app/Replies', which applies what
// ParseReply returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/AutoResetEvent.h"
#include "link/Frame.h"
#include "link/HandOver.h"
#include "link/Traffic.h"

namespace panora {

class CRsCom;
class CNetLink;

// Signalled on every received block; waited for only by the worker.
extern AutoResetEvent g_hReplyEvent;
// Each received block is copied here before it is read.
inline constexpr int kRxBufSize = 1024;
extern std::uint8_t g_RxBuf[kRxBufSize];

// m_nReplyStatus values.
enum ReplyStatus : int {
  kReplyAnswered = 0,
  kReplyTimedOut = 1,
  kReplyNotConnected = 2,
  kReplyShort = 3,
  kReplyPending = 4,
};

// Worker jobs (m_nJobType).
enum WorkerJob : int {
  kJobOverlay = 1,   // 4 x 17 bytes, ends with kMsgBatchDone 1
  kJobGeometry = 2,  // 4 x 20 bytes, ends with kMsgBatchDone 2
  kJobPosition = 3,  // 1 x 12 bytes, the answer opens the position dialog
  kJobBezel = 4,     // 1 x 12 bytes, the answer fills the bezel panel
  kJobSetup = 5,     // the whole set-up, any frames (StartSetupBatch)
};

// What one received block means, given the command noted last.
enum class ReplyKind {
  None,            // nothing to do beyond waking the worker
  Position,        // 0x31 answered: posX..posH
  PositionFailed,  // 0x31 noted but the block was not accepted (status 3)
  Bezel,           // 0x53 with sub-code 0: bezelH, bezelV as received
  Handshake,       // 0xF1: handshakeOk
  Version,         // 0xFF: version[0..2]
};

struct ReplyAction {
  bool accepted = false;    // passed the length test and holds the answer bytes
  bool burstPiece = false;  // a full receive buffer without a frame: decided nothing
  ReplyKind kind = ReplyKind::None;
  int posX = 0, posY = 0, posW = 0, posH = 0;
  int bezelH = 0, bezelV = 0;
  bool handshakeOk = false;
  int version[3] = {0, 0, 0};
  std::string VersionText() const;  // "Version:a.b.c"
};

// A block that holds a whole, valid frame (FrameDecoder) is read by that
// frame: the last one of the noted command, else the first one, so that
// noise before an answer never decides. A block without one is read from its
// first byte: D = byte 2 x 10 + byte 3; it is accepted when count >= D,
// D >= 5 and it holds every answer byte the noted command reads (a shorter
// block would read stale bytes of an earlier one); a block that fills the
// whole receive buffer, a piece of a longer burst, is not accepted
// (burstPiece).
ReplyAction ParseReply(const std::uint8_t* bytes, int count, int curCmd);
// The same, for the block after a piece of a burst: `carried` is that
// piece's tail. A whole, valid frame in the carried bytes and the block
// together decides (an answer that came right after the burst may begin in
// its last block); without one the block is read on its own.
ReplyAction ParseReply(const std::uint8_t* carried, int carriedCount, const std::uint8_t* bytes, int count,
                       int curCmd);
// How much of a piece of a burst TakeReply keeps for the next block: more
// than the longest answer frame.
inline constexpr int kReplyCarryBytes = 64;
// Bezel values above 48 are shown as 0.
int ShownBezel(int value);

// How a set-up batch ended.
struct SetupOutcome {
  int total = 0;     // frames in the batch
  int sent = 0;      // frames written whole
  int answered = 0;  // frames the processor answered within the reply wait
  bool cancelled = false;
  bool lost = false;  // the link went away before the last frame
  bool withUserModes = false;  // the batch made the stored user modes too
  bool Whole() const { return !cancelled && !lost && sent == total; }
};

// What the worker reports; each runs on the user-interface thread.
struct LinkHooks {
  std::function<void(const char*)> showMessage;  // "Net Send failure!", busy box
  std::function<void()> replyTimeout;            // kMsgReplyTimeout, sent (may be empty)
  std::function<void(int)> batchDone;            // kMsgBatchDone, posted, with the job
  std::function<void()> positionAnswer;          // kMsgPositionAnswer, sent
  std::function<void()> unsentChanged;           // the count of changes not sent moved, posted
  std::function<void(int sent, int total)> setupProgress;  // posted after each frame of a set-up
  std::function<void(const SetupOutcome&)> setupDone;      // posted when a set-up batch ends
};

// A command that only asks (handshake, version, position, bezel query):
// one that could not go out changes nothing in the processor.
bool IsQueryCommand(int command, int subCode);

class CDeviceLink {
 public:
  static constexpr int kReplyWaitMs = 1000;

  // The transports and the hand-over must outlive this object.
  CDeviceLink(CRsCom& rsCom, CNetLink& netLink, HandOver* hwnd, LinkHooks hooks);
  ~CDeviceLink();
  CDeviceLink(const CDeviceLink&) = delete;
  CDeviceLink& operator=(const CDeviceLink&) = delete;

  void NoteCommand(int command, int subCode);
  // Serial wins; a short network send shows "Net Send failure!"; with no
  // transport the frame is dropped (and logged as not sent). True when the
  // whole frame went out; a change that did not is counted.
  bool SendFrame(const std::uint8_t* bytes, int length);
  // The standard sender: build in a buffer of its own (never g_TxBuf, so no
  // sender disturbs a batch), note, send. With respectBusy it refuses while
  // the worker sends ("please wait second, ...") and returns false.
  bool SendCommand(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload = nullptr,
                   int n = 0, bool respectBusy = false);
  // Starts the worker for m_nJobType on the batch now in g_TxBuf. The batch
  // is copied before the thread starts and the busy state is raised first,
  // so that nothing built afterwards reaches the batch and a second trigger
  // already sees m_bSending = 1.
  void StartSendWorker();
  // The whole set-up as one batch (job 5): each frame waits for its answer
  // as a batch's frames do, the progress and the end are reported through
  // the hooks, and m_bSending stays up until it ends. False when no
  // transport is open or a batch is already going out (nothing started).
  bool StartSetupBatch(std::vector<std::vector<std::uint8_t>> frames, bool withUserModes = false);
  // The set-up batch stops after the frame in flight.
  void CancelSetup() { m_cancelSetup.store(true); }
  // Changes whose frame could not go out (no link, a failed send, a single
  // change refused while a batch goes out), since the set-up was last sent
  // whole; EndSetup takes off those the batch covered: a plain set-up does
  // not cover user modes stored meanwhile, one with the user modes does.
  int Unsent() const { return m_nUnsent.load(); }
  int UnsentUserModes() const { return m_nUnsentStores.load(); }
  // A change built but not sent because no transport is open: logged as not
  // sent and counted, with nothing noted.
  void CountUnsent(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload, int n);
  void CountUnsentFrame(const std::uint8_t* bytes, int length);
  // Changes that wait for the processor without a frame of their own (user
  // modes brought back on screen).
  void AddUnsentUserModes(int changes);
  void EndSetup(const SetupOutcome& outcome);
  // Ends and joins every worker (they abandon their waits at once, a serial
  // write waiting for room included). For the owner's shut-down only: the
  // serial reader stops as well, and the port is to be closed next.
  void Shutdown();

  bool TransportOpen() const;
  // Open and not known to be gone (a serial device vanished, a peer that
  // closed): a frame could reach the processor.
  bool LinkUp() const { return TransportOpen() && !LinkLost(); }
  // While quiet, a message box the link would show on the user-interface
  // thread is kept instead (the remote control answers with it).
  void SetQuiet(bool quiet) { m_quiet = quiet; }
  std::string TakeQuietMessage() { return std::exchange(m_quietMessage, std::string()); }
  // Reports the traffic of both transports to `hook` (null: to nobody); the
  // hook must outlive the transports' threads.
  void SetTrafficHook(TrafficHook* hook);
  // Steps 1 to 3 of a received block: signals g_hReplyEvent, copies the
  // block to g_RxBuf and parses it by m_nCurCmd, together with the tail of
  // the block before when that was a piece of a burst; sets m_nReplyStatus
  // for a position answer (0) or failure (3). The frame applies the rest and
  // then calls EndReply. One thread at a time (the frame's handler).
  ReplyAction TakeReply(const std::uint8_t* bytes, int count);
  void EndReply() { m_nReplyStatus.store(kReplyAnswered); }

  std::atomic<int> m_nPrevCmd{0};
  std::atomic<int> m_nPrevSub{0};
  std::atomic<int> m_nCurCmd{0};
  std::atomic<int> m_nCurSub{0};
  std::atomic<int> m_bSending{0};
  std::atomic<int> m_nJobType{0};
  std::atomic<int> m_nReplyStatus{0};

 private:
  struct Worker;
  void SendWorker(int job, bool transportOpen, std::vector<std::uint8_t> batch, int frameSize);
  void SetupWorker(std::vector<std::vector<std::uint8_t>> frames);
  bool StartWorker(std::function<void()> body);
  // Waits up to the reply wait for g_hReplyEvent; false when it did not come.
  bool WaitForAnswer();
  // `box`: a network send that fails shows "Net Send failure!".
  bool Write(const std::uint8_t* bytes, int length, bool box = true);
  bool LinkLost() const;
  void NoteUnsent(const std::uint8_t* bytes, int length, int frames = 1);
  void Post(std::function<void()> fn);
  void ShowMessage(const char* text);

  CRsCom& m_RsCom;
  CNetLink& m_NetLink;
  HandOver* m_hwnd;
  LinkHooks m_hooks;
  std::mutex m_workersMutex;
  std::vector<std::unique_ptr<Worker>> m_workers;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_cancelSetup{false};
  std::atomic<int> m_nUnsent{0};
  std::atomic<int> m_nUnsentStores{0};        // of which user modes stored (or brought back)
  std::atomic<int> m_nUnsentAtSetup{0};       // the counts when the set-up batch started
  std::atomic<int> m_nUnsentStoresAtSetup{0};
  std::atomic<bool> m_setupUserModes{false};
  TrafficHook* m_traffic = nullptr;
  bool m_quiet = false;  // user-interface thread only, as the message it keeps
  std::string m_quietMessage;
  // The tail of the last block when it was a piece of a burst (TakeReply).
  std::vector<std::uint8_t> m_carried;
};

}  // namespace panora
