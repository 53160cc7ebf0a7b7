// The serial transport: one port (an RS232 port or the processor's USB
// virtual serial port), 115200 baud 8N1 raw, and a reader thread that hands
// every received block to the user-interface thread synchronously, in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/HandOver.h"
#include "link/Traffic.h"

namespace panora {

class CRsCom {
 public:
  static constexpr int kBlockSize = 1024;  // largest block handed over
  static constexpr int kMaxWrite = 1022;   // a longer frame loses its tail
  static constexpr int kWriteBoundMs = 1000;
  // A write from the user-interface thread waits for room at most this
  // long: a drag must never freeze the window behind a line that stopped.
  static constexpr int kUiWriteBoundMs = 50;

  // Runs on the user-interface thread with a copy of the received bytes.
  using DataFn = std::function<void(const std::uint8_t*, int)>;
  // Shows one of the fixed message-box texts.
  using MessageFn = std::function<void(const char*)>;

  CRsCom(HandOver* hwnd, DataFn onData, MessageFn showMessage = {});
  virtual ~CRsCom();
  CRsCom(const CRsCom&) = delete;
  CRsCom& operator=(const CRsCom&) = delete;

  // Opens a device path (white space around and inside it is removed),
  // configures 115200 8N1 and starts the reader. A port already open is
  // closed first. A port that another program holds (flock, TIOCEXCL or a
  // UUCP lock file of a live process) is refused. 1 on success, 0 on
  // failure (the object is then closed).
  int OpenPort(const std::string& name);
  int OpenPort(const std::string& name, HandOver* hwnd);
  // The same without any message box: for retries nobody asked for.
  int OpenPortQuietly(const std::string& name, HandOver* hwnd);
  // Index tables: speed 0..14 (other = 9600), parity 0 none 1 even 2 mark
  // 3 odd 4 space, data bits 0..3 = 4..7 (other = 8), stop bits 1 = one and
  // a half, 2 = two (other = one). The settings are read back: 0 when the
  // driver did not take them all.
  int ConfigurePort(int speed, int parity, int dataBits, int stopBits);
  // Writes at most 1022 bytes as a whole, waiting at most 1000 ms for room
  // (kUiWriteBoundMs on the user-interface thread, whose writes fail at once
  // after one that found no room until the port is writable again);
  // returns the count written. A write that cannot finish in time (or that
  // a close interrupts) discards its unsent rest with the line's other
  // unsent bytes and returns 0, so that no part of a frame is sent later
  // to run into the next one. Safe from the user-interface thread and the
  // reply-wait worker.
  int WritePort(int length, const std::uint8_t* bytes);
  // Stops and joins the reader, then closes the port; a write waiting for
  // room gives up at once. Safe when closed, and from inside a block's
  // hand-over.
  void ClosePort();
  // Ends every wait of the open port at once, the reader's and those of
  // writes waiting for room, ahead of a shut-down: joining a worker then
  // never waits out its write. The port stays open until ClosePort.
  void StopWaiting();

  bool IsOpen() const { return m_fd.load() >= 0; }
  std::string PortName() const;
  // True once the open port has gone away (read error or hang-up); the
  // reader has then stopped. Cleared by the next open.
  bool IsLost() const { return m_bLost.load(); }
  // Called (posted) once per connection when the port goes away; not when
  // the port was closed or opened again before the call ran. Set it before
  // opening: the reader reads it.
  void SetLostHandler(std::function<void()> onLost);
  // Told of every frame written (or cut) and every block read; it must
  // outlive the port's use. Null: nobody is told.
  void SetTrafficHook(TrafficHook* hook) { m_traffic.store(hook); }
  // Called (posted) when a write did not go out whole. Set it before opening.
  void SetWriteFailedHandler(std::function<void()> onFailed);

  // Speed of an index of the table (9600 for an unknown index).
  static int SpeedOfIndex(int index);
  // The name clean-up of OpenPort.
  static std::string CleanName(const std::string& name);

 private:
  void ReaderThread();
  void StopReader();
  void ShowMessage(const char* text);
  // Closes the descriptor, the wake-up descriptor and our lock file; under m_mutex.
  void CloseLocked();

  std::atomic<HandOver*> m_hwnd;  // receives the blocks; set by every open
  DataFn m_onData;
  MessageFn m_showMessage;
  std::function<void()> m_onLost;
  std::function<void()> m_onWriteFailed;

  std::atomic<TrafficHook*> m_traffic{nullptr};
  std::atomic<int> m_fd{-1};    // open port, or -1 when closed
  std::atomic<int> m_wake{-1};  // eventfd: readable once a close has begun
  std::thread m_reader;
  std::atomic<int> m_bRun{0};    // 1 while the reader is to keep running
  std::atomic<int> m_bEnded{0};  // set to 1 by the reader as its last act
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_bLost{false};
  std::atomic<int> m_nReadIntervalMs{50};
  // Counts opens and closes; a loss report of an earlier one is stale.
  std::shared_ptr<std::atomic<unsigned>> m_generation = std::make_shared<std::atomic<unsigned>>(0);
  // The descriptors against a concurrent write, the lock file; timed, so
  // that the user-interface thread never waits out a worker's write.
  mutable std::timed_mutex m_mutex;
  std::atomic<bool> m_uiStuck{false};  // a write of the user-interface thread found no room
  mutable std::mutex m_nameMutex;
  std::string m_strName;
  std::string m_strLockPath;  // our UUCP lock file, or empty
};

}  // namespace panora
