// The network transport: one TCP client socket to the processor, a receive
// thread that hands every received block to the user-interface thread
// synchronously, and connector threads that make one attempt each.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/HandOver.h"
#include "link/Traffic.h"

namespace panora {

class CNetLink {
 public:
  static constexpr int kBlockSize = 1024;
  static constexpr int kMaxAddress = 255;    // characters of the address text used
  static constexpr int kSendBoundMs = 1000;  // a send never blocks longer
  // A send from the user-interface thread waits for room at most this long:
  // a drag must never freeze the window behind a processor that stopped reading.
  static constexpr int kUiSendBoundMs = 50;
  static constexpr int kWaitSliceMs = 5;  // a waiting send looks for StopWaiting this often
  // The socket's send buffer: a control link must not queue megabytes of
  // stale commands for a processor that does not read (the system would
  // otherwise grow it up to its TCP maximum).
  static constexpr int kSendBufferBytes = 32 * 1024;

  using DataFn = std::function<void(const std::uint8_t*, int)>;
  using MessageFn = std::function<void(const char*)>;

  explicit CNetLink(DataFn onData, MessageFn showMessage = {});
  virtual ~CNetLink();
  CNetLink(const CNetLink&) = delete;
  CNetLink& operator=(const CNetLink&) = delete;

  // Closes what exists and connects to address:port (texts as the network
  // dialog gives them). Blocks until connected, refused, timed out by the
  // system, or abandoned by Close, a newer Connect or shut-down. 1 / 0.
  int Connect(const std::string& address, const std::string& port, HandOver* window);
  // Ends the connection and abandons any attempt in progress; joins the
  // receive thread. Safe when not connected.
  void Close();
  // Makes a send waiting for room give up within kWaitSliceMs (Close and
  // Shutdown do it first, so that they never wait out a send's bound).
  void StopWaiting();

  // The link counts as connected while its receive thread exists, even after
  // the peer has gone (sends then fail).
  bool IsConnected() const { return m_bConnected.load(); }
  // One send, whole or not at all: waits for room at most kSendBoundMs, or
  // kUiSendBoundMs on the user-interface thread, where after one send that
  // found no room the next fail at once until the socket is writable again.
  // Returns the count sent, -1 on failure. Safe from the user-interface
  // thread and the reply-wait worker.
  int Send(const std::uint8_t* bytes, int length);
  // True once the receive thread has ended (peer closed or receive error).
  bool ReceiveEnded() const { return m_bEnded.load() != 0; }
  // Told of every send and every block received; it must outlive the link's use.
  void SetTrafficHook(TrafficHook* hook) { m_traffic.store(hook); }
  // Called (posted to the window) once per connection when it goes away on
  // its own: the peer closed, a receive failed, or a send found it broken.
  // Not when Close, a newer Connect or shut-down ended it. The link still
  // counts as connected until Close. Set both handlers before connecting.
  void SetLostHandler(std::function<void()> onLost);
  // Called (posted) when a send did not go out whole.
  void SetSendFailedHandler(std::function<void()> onFailed);

  // Starts a connector thread with the current address and port: one Connect,
  // then onResult(result) runs on the user-interface thread (sent).
  void StartConnector(HandOver* window, std::function<void(int)> onResult);
  // Abandons attempts and joins every connector and the receive thread; the
  // owner calls it before the hand-over's thread stops serving.
  void Shutdown();

  // m_strNetIP and m_strNetPort, written by the network dialog.
  void SetNetAddress(const std::string& ip, const std::string& port);
  std::string NetIP() const;
  std::string NetPort() const;

  // The parsing of Connect: the address as the system's dotted-text
  // conversion gives it (all ones when invalid, in network byte order) and
  // the port from the text's leading digits (-1 when above 65535).
  static std::uint32_t ParseAddress(const std::string& text);
  static long ParsePort(const std::string& text);

 private:
  int ConnectSince(const std::string& address, const std::string& port, HandOver* window, std::uint64_t gen);
  struct Attempt;
  struct Connector;
  void ReceiveThread(int fd, HandOver* window, unsigned generation);
  // Posts the lost report of connection `generation` unless one went already.
  void ReportLost(HandOver* window, unsigned generation);
  void CloseLocked();
  void CancelAttemptsLocked();

  DataFn m_onData;
  MessageFn m_showMessage;
  std::atomic<TrafficHook*> m_traffic{nullptr};

  // Everything below but the flags; timed, so that the user-interface
  // thread never waits out a worker's send that waits for room.
  mutable std::timed_mutex m_mutex;
  mutable std::mutex m_addrMutex;  // the address texts: never held across a send
  int m_sock = -1;
  std::thread m_recv;
  std::atomic<HandOver*> m_window{nullptr};
  std::vector<std::shared_ptr<Attempt>> m_attempts;
  std::vector<std::unique_ptr<Connector>> m_connectors;
  std::function<void()> m_onLost;
  std::function<void()> m_onSendFailed;
  // Counts connections and closes; a report about an earlier one is stale.
  std::shared_ptr<std::atomic<unsigned>> m_generation = std::make_shared<std::atomic<unsigned>>(0);
  std::atomic<unsigned> m_lostReported{~0u};  // the generation already reported lost
  std::string m_strNetIP;
  std::string m_strNetPort;

  std::atomic<bool> m_bConnected{false};
  std::atomic<int> m_bRun{0};    // 1 while the receive thread is to keep running
  std::atomic<int> m_bEnded{0};  // set to 1 by the receive thread when it ends
  std::atomic<bool> m_stopRecv{false};
  std::atomic<bool> m_shutdown{false};
  std::atomic<unsigned> m_sendAborts{0};  // counts StopWaiting calls
  std::atomic<int> m_closing{0};          // Close calls waiting for the lock
  std::atomic<bool> m_uiStuck{false};     // a send of the user-interface thread found no room
  // Counts Close and Shutdown calls (under m_mutex), so that an attempt that
  // had not registered yet when one came gives up instead of connecting.
  std::uint64_t m_nCloseGen = 0;
};

}  // namespace panora
