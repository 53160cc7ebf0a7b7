// The program behind the remote control: each API route runs the handler
// the operator's own control runs (a mode's quick or tool button, a window
// drag, a panel's Set button, Send Set-up), with the same frames and the
// same busy rule, on the user-interface thread; and every change, whoever
// made it (the operator, the API, an answer), goes out as one event to the
// WebSocket clients. Owns the server; off until asked.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "model/WindowGeometry.h"
#include "remote/ApiHost.h"
#include "remote/RemoteServer.h"

class QAction;
class QMenu;

namespace panora {

class CMainFrame;

// The [Remote] section of the settings file.
struct RemoteSettings {
  bool enabled = false;
  std::string address = "127.0.0.1";
  int port = 8080;
  std::string token;  // the file's; PANORA_CONTROL_TOKEN wins over it
  static RemoteSettings Read();
  // Writes the section; once it holds a token the file is made readable by
  // its owner only. False (and why) when it could not be written.
  bool Write(std::string* why) const;
};

// The token in force: PANORA_CONTROL_TOKEN, else the settings file's.
std::string ControlToken(const RemoteSettings& settings);

class CRemoteControl : public QObject, public remote::ApiHost {
  Q_OBJECT
 public:
  explicit CRemoteControl(CMainFrame& frame);
  ~CRemoteControl() override;

  // "Remote Control..." in the Tools menu.
  void CreateMenuItem(QMenu* tools);
  // Starts (or restarts) the server; false and why when it cannot: a
  // non-loopback address without a token, a port in use...
  bool Start(const RemoteOptions& options, std::string* why);
  void Stop();
  bool Running() const;
  std::string Url() const;
  CRemoteServer& Server() { return *m_server; }
  // At start-up: the server as the settings file asks for it.
  void StartFromSettings();
  void OnRemoteDialog();

  // ApiHost.
  std::string StateJson() override;
  remote::ApiResult RecallMode(int mode) override;
  remote::ApiResult SetWindow(int channel, int x, int y, int w, int h) override;
  remote::ApiResult SetInputs(const std::array<std::optional<int>, 4>& inputs) override;
  remote::ApiResult SetLayers(const remote::LayersRequest& request) override;
  remote::ApiResult SetDisplay(const remote::DisplayRequest& request) override;
  remote::ApiResult SetResolution(const remote::ResolutionRequest& request) override;
  remote::ApiResult SendSetup(bool withUserModes) override;

  // What changed, for the event clients; each sends only what differs from
  // the last event of its kind.
  void ModeChanged();
  void WindowsChanged();
  void LinkChanged();
  void SettingsChanged(const char* what);
  void SetupProgress(int sent, int total);
  void SetupResult(const QString& result);

 private:
  remote::ApiResult Done();
  // 409 with the busy message while a batch goes out.
  std::optional<remote::ApiResult> Busy();
  // After a change was applied: 503 when it could not go out for want of a link.
  remote::ApiResult AppliedOrUnsent();
  void Broadcast(const QString& json);
  class Quiet;

  CMainFrame& m_frame;
  std::unique_ptr<CRemoteServer> m_server;
  RemoteOptions m_options;  // what the running server was started with
  QAction* m_action = nullptr;
  int m_lastMode = -2;
  std::array<OutputGeometry, 4> m_lastWindows{};
  bool m_windowsKnown = false;
  QString m_lastLink;
};

}  // namespace panora
