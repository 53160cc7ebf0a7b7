#include "app/SetupSender.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "app/Dialogs.h"
#include "app/MainFrame.h"
#include "panels/DlgMainSet.h"
#include "link/PrivateProfile.h"
#include "model/ModeController.h"
#include "model/Paths.h"

namespace panora {

CSetupSender::CSetupSender(CMainFrame& frame) : QObject(&frame), m_frame(frame) {}

void CSetupSender::CreateControls(QStatusBar* bar, QMenu* tools) {
  m_pane = new QWidget;
  m_pane->setObjectName(QStringLiteral("setupProgress"));
  auto* row = new QHBoxLayout(m_pane);
  row->setContentsMargins(0, 0, 0, 0);
  m_progress = new QProgressBar;
  m_progress->setAccessibleName(QStringLiteral("Send Set-up progress"));
  m_progress->setFormat(QStringLiteral("Set-up %v/%m"));
  m_progress->setMinimumWidth(120);
  m_cancel = new QPushButton(QStringLiteral("Cancel"));
  m_cancel->setObjectName(QStringLiteral("setupCancel"));
  connect(m_cancel, &QPushButton::clicked, this, &CSetupSender::Cancel);
  row->addWidget(m_progress);
  row->addWidget(m_cancel);
  // Permanent: a help text in the status bar must not hide Cancel.
  bar->insertPermanentWidget(0, m_pane);
  m_pane->hide();

  m_onConnectAction = tools->addAction(QStringLiteral("Send Set-up on Connect"));
  m_onConnectAction->setObjectName(QStringLiteral("sendSetupOnConnect"));
  m_onConnectAction->setCheckable(true);
  m_bOnConnect = GetPrivateProfileInt(kSection, kOnConnectKey, 0, NetSettingsPath()) != 0;
  m_onConnectAction->setChecked(m_bOnConnect);
  connect(m_onConnectAction, &QAction::triggered, this, [this](bool on) {
    SetOnConnect(on);
    const std::string path = NetSettingsPath();
    if (!WritePrivateProfileString(kSection, kOnConnectKey, on ? "1" : "0", path))
      MessageBox(&m_frame, QStringLiteral("The setting could not be saved to\n%1").arg(QString::fromStdString(path)),
                 kMbOk | kMbIconError);
  });
}

void CSetupSender::SetOnConnect(bool on) {
  m_bOnConnect = on;
  if (m_onConnectAction != nullptr && m_onConnectAction->isChecked() != on) m_onConnectAction->setChecked(on);
}

std::vector<FrameBytes> CSetupSender::Frames(bool withUserModes) {
  WindowPlaces windows;
  for (int ch = 0; ch < 4; ++ch) windows[static_cast<std::size_t>(ch)] = m_frame.Windows().MeasureChannel(ch);
  const CDataPrm& record = m_frame.m_Profile.m_DataPrm[kWorkingSlot];
  // The resolution the panel shows, at which the windows' pixels are read.
  OutputResolutions shown{};
  for (int o = 0; o < 4; ++o) shown[static_cast<std::size_t>(o)] = m_frame.MainSet().GetOutputResolution(o);
  if (withUserModes)
    return SetupWithUserModes(m_frame.m_Profile.m_DataPrm, m_frame.m_nCurMod, record, windows, &m_picture, &shown);
  return SetupFrames(m_frame.m_nCurMod, record, windows, &m_picture, &shown);
}

bool CSetupSender::Send(bool withUserModes) {
  CDeviceLink& link = m_frame.Link();
  if (!link.TransportOpen()) {
    MessageBox(&m_frame, QStringLiteral("No link to the processor: connect first. Nothing was sent."));
    return false;
  }
  if (m_bRunning || link.m_bSending.load() == 1) {
    MessageBox(&m_frame, QString::fromLatin1(kBusyText));
    return false;
  }
  std::vector<FrameBytes> frames = Frames(withUserModes);
  const int total = static_cast<int>(frames.size());
  if (!link.StartSetupBatch(std::move(frames), withUserModes)) {
    MessageBox(&m_frame, QString::fromLatin1(kBusyText));
    return false;
  }
  m_bRunning = true;
  if (m_progress != nullptr) {
    m_progress->setRange(0, total);
    m_progress->setValue(0);
    m_cancel->setEnabled(true);
    m_pane->show();
  }
  return true;
}

void CSetupSender::Cancel() {
  if (!m_bRunning) return;
  m_frame.Link().CancelSetup();
  if (m_cancel != nullptr) m_cancel->setEnabled(false);
}

void CSetupSender::OnProgress(int sent, int total) {
  if (m_progress == nullptr) return;
  m_progress->setRange(0, total);
  m_progress->setValue(sent);
}

void CSetupSender::OnDone(const SetupOutcome& o) {
  m_bRunning = false;
  m_frame.Link().EndSetup(o);
  if (m_pane != nullptr) m_pane->hide();
  if (o.cancelled)
    m_lastResult = QStringLiteral("Send Set-up cancelled after frame %1 of %2").arg(o.sent).arg(o.total);
  else if (o.lost)
    m_lastResult = QStringLiteral("Send Set-up stopped, the link was lost after frame %1 of %2").arg(o.sent).arg(o.total);
  else if (o.sent < o.total)
    m_lastResult = QStringLiteral("Set-up sent: %1 of %2 frames went out, %3 answered")
                       .arg(o.sent)
                       .arg(o.total)
                       .arg(o.answered);
  else
    m_lastResult = QStringLiteral("Set-up sent: %1 of %2 frames answered").arg(o.answered).arg(o.total);
  m_frame.AddInfo(m_lastResult);
  emit Finished(m_lastResult);
}

void CSetupSender::OnConnected() {
  if (m_bOnConnect) {
    // After the answer that confirmed the link has been handled.
    QMetaObject::invokeMethod(
        this, [this] { Send(false); }, Qt::QueuedConnection);
    return;
  }
  const int unsent = m_frame.Link().Unsent();
  if (unsent > 0)
    m_frame.AddInfo(QStringLiteral("%1 %2 not sent: Connection > Send Set-up")
                        .arg(unsent)
                        .arg(unsent == 1 ? QStringLiteral("change") : QStringLiteral("changes")));
}

}  // namespace panora
