// The processor's answers and the other messages the device link's threads
// hand to the window: every received block is read as the answer to the
// command noted last (ParseReply) and applied here: the position dialog, the
// bezel page, the handshake (the connection's), the firmware version line;
// the end of a worker batch gives the panel its button back.
//
// The Send.../Post... entries may be called from any thread: they cross the
// hand-over seam and run the handler on the user-interface thread ("Send"
// waits until it has run and is false when abandoned or shut down).
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

class QWidget;

namespace panora {

class CConnection;
class HandOver;

// What the position dialog is opened with after a position answer.
struct PositionRequest {
  int channel = 0;  // m_nCurpod
  int x = 0, y = 0, w = 0, h = 0;
  int right = 0, bottom = 0;  // x + w, y + h
};

// What the answers change in the window.
class ReplyHost {
 public:
  virtual ~ReplyHost() = default;
  virtual void AddInfo(const QString& text) = 0;
  virtual int CurrentWindow() const = 0;  // m_nCurpod
  // A worker batch ended (or could not start): the panel that started it.
  virtual void BatchDone(int job) = 0;
  // The channel position dialog, modal, with the answered window.
  virtual void OpenPositionDialog(const PositionRequest& request) = 0;
};

class CReplies {
 public:
  CReplies(ReplyHost& host, CConnection& connection);

  void OnDeviceData(const std::uint8_t* data, int length);
  void OnBatchDone(int job);
  void OnPositionAnswer();

  bool SendDeviceData(const std::uint8_t* data, int length, const std::atomic<bool>* cancel = nullptr);
  void PostBatchDone(int job);
  bool SendPositionAnswer(const std::atomic<bool>* cancel = nullptr);
  bool SendNetResult(int result, const std::atomic<bool>* cancel = nullptr);
  bool SendReplyTimeout(const std::atomic<bool>* cancel = nullptr);

  // The bezel page shows answered values (already limited to 0..48); set
  // with the page, so an answer without a page changes nothing. The
  // position dialog can be replaced as well (tests).
  void SetShowBezel(std::function<void(int h, int v)> showBezel) { m_fnShowBezel = std::move(showBezel); }
  void SetPositionDialog(std::function<void(const PositionRequest&)> open) {
    m_fnPositionDialog = std::move(open);
  }

  // The window last answered to the position query, in output pixels.
  int m_nPosX = 0, m_nPosY = 0, m_nPosW = 0, m_nPosH = 0;

 private:
  ReplyHost& m_host;
  CConnection& m_conn;
  std::function<void(int, int)> m_fnShowBezel;
  std::function<void(const PositionRequest&)> m_fnPositionDialog;
};

}  // namespace panora
