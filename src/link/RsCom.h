// The serial transport: one port (an RS232 port or the processor's USB
// virtual serial port), 115200 baud 8N1 raw, and a reader thread that hands
// every received block to the user-interface thread synchronously, in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/HandOver.h"

namespace panora {

class CRsCom {
 public:
  static constexpr int kBlockSize = 1024;  // largest block handed over
  static constexpr int kMaxWrite = 1022;   // a longer frame loses its tail
  static constexpr int kWriteBoundMs = 1000;
  static constexpr int kPollMs = 10;

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
  // closed first. 1 on success, 0 on failure (the object is then closed).
  int OpenPort(const std::string& name);
  int OpenPort(const std::string& name, HandOver* hwnd);
  // Index tables: speed 0..14 (other = 9600), parity 0 none 1 even 2 mark
  // 3 odd 4 space, data bits 0..3 = 4..7 (other = 8), stop bits 1 = one and
  // a half, 2 = two (other = one). 1 / 0.
  int ConfigurePort(int speed, int parity, int dataBits, int stopBits);
  // Writes at most 1022 bytes, waiting at most 1000 ms; returns the count
  // written. Safe from the user-interface thread and the reply-wait worker.
  int WritePort(int length, const std::uint8_t* bytes);
  // Stops and joins the reader, then closes the port. Safe when closed, and
  // from inside a block's hand-over.
  void ClosePort();

  bool IsOpen() const { return m_fd.load() >= 0; }
  std::string PortName() const;
  // True once the open port has gone away (read error or hang-up); the
  // reader has then stopped. Cleared by the next open.
  bool IsLost() const { return m_bLost.load(); }
  // Called (posted) once per connection when the port goes away. Set it
  // before opening: the reader reads it.
  void SetLostHandler(std::function<void()> onLost);

  // Speed of an index of the table (9600 for an unknown index).
  static int SpeedOfIndex(int index);
  // The name clean-up of OpenPort.
  static std::string CleanName(const std::string& name);

 private:
  void ReaderThread();
  void StopReader();
  void ShowMessage(const char* text);

  std::atomic<HandOver*> m_hwnd;  // receives the blocks; set by every open
  DataFn m_onData;
  MessageFn m_showMessage;
  std::function<void()> m_onLost;

  std::atomic<int> m_fd{-1};  // open port, or -1 when closed
  std::thread m_reader;
  std::atomic<int> m_bRun{0};    // 1 while the reader is to keep running
  std::atomic<int> m_bEnded{0};  // set to 1 by the reader as its last act
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_bLost{false};
  std::atomic<int> m_nReadIntervalMs{50};
  mutable std::mutex m_mutex;  // the descriptor against a concurrent write, and the name
  std::string m_strName;
};

}  // namespace panora
