// "Send Set-up": brings the processor to what the screen shows, as one
// worker batch (the mode, the record's settings, the picture values this
// session set, the four windows from their exact places), and "Send Set-up
// and User Modes", which first makes every stored user mode on the
// processor as an operator would. A progress bar with Cancel stands in the
// status bar while it runs; the end is one line in the information list.
// "Send Set-up on Connect" (Tools, kept in the settings file) sends it
// after every connect and reconnect; with it off, a connect while changes
// wait says how many and where to send them.
#pragma once

#include <QObject>
#include <QString>

#include "link/DeviceLink.h"
#include "model/SetupFrames.h"

class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace panora {

class CMainFrame;

class CSetupSender : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* kSection = "Link";
  static constexpr const char* kOnConnectKey = "SendSetupOnConnect";

  explicit CSetupSender(CMainFrame& frame);

  // The progress pane in the status bar, the switch in the Tools menu.
  void CreateControls(QStatusBar* bar, QMenu* tools);

  // The frames of the set-up as the screen shows it now.
  std::vector<FrameBytes> Frames(bool withUserModes);
  // Starts the batch; false (with a box) when there is no link or a batch
  // is already going out.
  bool Send(bool withUserModes);
  void Cancel();
  bool Running() const { return m_bRunning; }

  // What the link tells.
  void OnProgress(int sent, int total);
  void OnDone(const SetupOutcome& outcome);
  void OnConnected();

  // Contrast, brightness and bezel as this session set them.
  SessionPicture& Picture() { return m_picture; }
  bool OnConnect() const { return m_bOnConnect; }
  void SetOnConnect(bool on);
  QAction* OnConnectAction() const { return m_onConnectAction; }
  QProgressBar* ProgressBar() const { return m_progress; }
  QPushButton* CancelButton() const { return m_cancel; }
  // The last end line, for tests and the remote control.
  const QString& LastResult() const { return m_lastResult; }

 signals:
  void Finished(const QString& result);

 private:
  CMainFrame& m_frame;
  SessionPicture m_picture;
  QWidget* m_pane = nullptr;
  QProgressBar* m_progress = nullptr;
  QPushButton* m_cancel = nullptr;
  QAction* m_onConnectAction = nullptr;
  bool m_bOnConnect = false;
  bool m_bRunning = false;
  QString m_lastResult;
};

}  // namespace panora
