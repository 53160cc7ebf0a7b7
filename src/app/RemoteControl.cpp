#include "app/RemoteControl.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPushButton>
#include <cmath>
#include <cstdlib>

#include "app/Dialogs.h"
#include "app/LinkStatus.h"
#include "app/MainFrame.h"
#include "app/SetupSender.h"
#include "app/dialogs/DlgRemote.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"
#include "link/PrivateProfile.h"
#include "model/MainSetPayloads.h"
#include "model/ModeController.h"
#include "model/ModeTable.h"
#include "model/Paths.h"
#include "panels/DlgMainSet.h"

namespace panora {

namespace {

constexpr char kSection[] = "Remote";

QString Json(const QJsonObject& o) {
  return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

remote::ApiResult Result(int status, const QJsonObject& body) {
  return {status, Json(body).toStdString()};
}

remote::ApiResult Error(int status, const QString& text) {
  return Result(status, QJsonObject{{QStringLiteral("error"), text}});
}

QString GroupName(int mode) {
  const ModeInfo* m = FindMode(mode);
  return m != nullptr ? QStringLiteral("%1 %2").arg(QString::fromLatin1(m->groupName)).arg(m->variant) : QString();
}

// The fraction of `total` whose product with it truncates to `v` again, so
// that output pixels given come back as they were.
double ExactFraction(int v, int total) {
  double f = static_cast<double>(v) / total;
  while (static_cast<int>(f * total) < v) f = std::nextafter(f, 2.0);
  return f;
}

QJsonObject WindowJson(int channel, const OutputGeometry& g) {
  return {{QStringLiteral("channel"), channel + 1}, {QStringLiteral("x"), g.x}, {QStringLiteral("y"), g.y},
          {QStringLiteral("w"), g.w}, {QStringLiteral("h"), g.h}};
}

const char* PhaseName(LinkState::Phase p) {
  switch (p) {
    case LinkState::Phase::Idle: return "not connected";
    case LinkState::Phase::HandshakePending: return "handshake pending";
    case LinkState::Phase::Accepted: return "handshake accepted";
    case LinkState::Phase::Refused: return "handshake refused";
    case LinkState::Phase::Connecting: return "connecting";
    case LinkState::Phase::Connected: return "connected";
    case LinkState::Phase::Lost: return "lost";
  }
  return "not connected";
}

}  // namespace

// ---- settings -----------------------------------------------------------------

RemoteSettings RemoteSettings::Read() {
  const std::string path = NetSettingsPath();
  RemoteSettings s;
  s.enabled = GetPrivateProfileInt(kSection, "Enabled", 0, path) != 0;
  s.address = GetPrivateProfileString(kSection, "Address", s.address, path);
  s.port = GetPrivateProfileInt(kSection, "Port", s.port, path);
  s.token = GetPrivateProfileString(kSection, "Token", "", path);
  return s;
}

bool RemoteSettings::Write(std::string* why) const {
  const std::string path = NetSettingsPath();
  if (!WritePrivateProfileStrings(kSection,
                                  {{"Enabled", enabled ? "1" : "0"},
                                   {"Address", address},
                                   {"Port", std::to_string(port)},
                                   {"Token", token}},
                                  path)) {
    if (why != nullptr) *why = "the settings could not be written to " + path;
    return false;
  }
  // A token is a password: nobody else may read the file that holds it.
  if (!token.empty() && ::chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0) {
    if (why != nullptr) *why = "the settings file " + path + " could not be made private";
    return false;
  }
  return true;
}

std::string ControlToken(const RemoteSettings& settings) {
  const char* env = std::getenv("PANORA_CONTROL_TOKEN");
  return env != nullptr && *env != '\0' ? std::string(env) : settings.token;
}

// ---- the server -----------------------------------------------------------------

CRemoteControl::CRemoteControl(CMainFrame& frame)
    : QObject(&frame), m_frame(frame), m_server(std::make_unique<CRemoteServer>(*this)) {
  // The web remote is built in: venues are often offline.
  QFile page(QStringLiteral(":/res/remote.html"));
  if (page.open(QIODevice::ReadOnly)) m_server->SetPage(page.readAll());
}

CRemoteControl::~CRemoteControl() = default;

void CRemoteControl::CreateMenuItem(QMenu* tools) {
  m_action = tools->addAction(QStringLiteral("Remote Control..."));
  m_action->setObjectName(QStringLiteral("remoteControl"));
  connect(m_action, &QAction::triggered, this, &CRemoteControl::OnRemoteDialog);
}

bool CRemoteControl::Start(const RemoteOptions& options, std::string* why) {
  m_server->Stop();
  if (!m_server->Start(options, why)) return false;
  m_options = options;
  m_lastMode = -2;
  m_windowsKnown = false;
  return true;
}

void CRemoteControl::Stop() {
  m_server->Stop();
}

bool CRemoteControl::Running() const {
  return m_server->Running();
}

std::string CRemoteControl::Url() const {
  return m_server->Url();
}

void CRemoteControl::StartFromSettings() {
  const RemoteSettings s = RemoteSettings::Read();
  if (!s.enabled) return;
  std::string why;
  RemoteOptions o;
  o.address = s.address;
  o.port = s.port;
  o.token = ControlToken(s);
  if (!Start(o, &why)) m_frame.AddInfo(QStringLiteral("Remote control not started: %1").arg(QString::fromStdString(why)));
}

void CRemoteControl::OnRemoteDialog() {
  // A server started from the command line is shown as it serves.
  RemoteSettings shown = RemoteSettings::Read();
  if (Running()) {
    shown.enabled = true;
    shown.address = m_options.address;
    shown.port = m_server->Port();
  }
  CDlgRemote dlg(shown, std::getenv("PANORA_CONTROL_TOKEN") != nullptr, Running() ? Url() : "", &m_frame);
  if (Dialogs().Exec(dlg) != kIdOk) return;
  const RemoteSettings s = dlg.Settings();
  std::string why;
  if (!s.Write(&why)) {
    MessageBox(&m_frame, QString::fromStdString(why), kMbOk | kMbIconError);
    return;
  }
  if (!s.enabled) {
    Stop();
    return;
  }
  RemoteOptions o;
  o.address = s.address;
  o.port = s.port;
  o.token = ControlToken(s);
  if (!Start(o, &why)) {
    MessageBox(&m_frame, QStringLiteral("The remote control could not start: %1").arg(QString::fromStdString(why)),
               kMbOk | kMbIconError);
    return;
  }
  m_frame.AddInfo(QStringLiteral("Remote control: %1").arg(QString::fromStdString(Url())));
}

// ---- the routes ---------------------------------------------------------------------

remote::ApiResult CRemoteControl::Done() {
  return Result(200, QJsonObject{{QStringLiteral("ok"), true}});
}

std::optional<remote::ApiResult> CRemoteControl::Busy() {
  if (m_frame.m_bSending.load() != 1) return std::nullopt;
  return Error(409, QString::fromLatin1(kBusyText));
}

remote::ApiResult CRemoteControl::AppliedOrUnsent() {
  // A box the change's send would have shown (none opens for a request).
  const std::string kept = m_frame.Link().TakeQuietMessage();
  if (m_frame.Link().LinkUp() && kept.empty()) return Done();
  const QString why = kept.empty() ? QStringLiteral("no link to the processor")
                                   : QStringLiteral("the processor did not take it (%1)").arg(QString::fromStdString(kept));
  return Result(503, QJsonObject{{QStringLiteral("error"),
                                  why + QStringLiteral(": the change is shown on screen and counted as not sent")},
                                 {QStringLiteral("applied"), true}});
}

// Messages a request's handler would show go into its answer instead.
class CRemoteControl::Quiet {
 public:
  explicit Quiet(CDeviceLink& link) : m_link(link) {
    m_link.TakeQuietMessage();
    m_link.SetQuiet(true);
  }
  ~Quiet() { m_link.SetQuiet(false); }

 private:
  CDeviceLink& m_link;
};

std::string CRemoteControl::StateJson() {
  CMainFrame& f = m_frame;
  const CDataPrm& rec = f.m_Profile.m_DataPrm[kWorkingSlot];
  QJsonObject link;
  CLinkStatus* ls = f.LinkStatus();
  if (ls != nullptr) {
    const LinkState& st = ls->State();
    const char* kinds[] = {"none", "rs232", "usb", "tcp"};
    link[QStringLiteral("transport")] = QString::fromLatin1(kinds[static_cast<int>(st.kind())]);
    link[QStringLiteral("address")] =
        QString::fromStdString(st.kind() == LinkState::Kind::Tcp ? st.Address() + ":" + st.Port() : st.Device());
    link[QStringLiteral("state")] = QString::fromLatin1(PhaseName(st.phase()));
    link[QStringLiteral("text")] = QString::fromStdString(st.Text(f.Link().Unsent()));
  }
  link[QStringLiteral("changesNotSent")] = f.Link().Unsent();
  QJsonArray windows, inputs, layers, display, resolution, tools, names, groups, quick;
  for (int ch = 0; ch < 4; ++ch) {
    windows.append(WindowJson(ch, f.Windows().OutputOf(ch)));
    CChildFrame* frame = f.ChannelFrame(ch);
    inputs.append((frame != nullptr ? frame->View()->m_nInput : ch) + 1);
  }
  const CDataPrm s = rec.Sanitized();
  for (int o = 0; o < 4; ++o) {
    QJsonArray row, shown;
    for (std::size_t ch = 0; ch < 4; ++ch) {
      row.append(s.m_nLayer[ch][static_cast<std::size_t>(o)] + 1);
      shown.append((s.m_bDispAll != 0 ? s.m_bDispCh[ch] : s.m_bOutDispCh[static_cast<std::size_t>(o)][ch]) != 0);
    }
    layers.append(row);
    display.append(shown);
    resolution.append((s.m_bPerOutRes != 0 ? s.m_nOutRes[static_cast<std::size_t>(o)] : s.m_nAllOutRes) + 1);
  }
  for (int mode : f.m_Profile.m_nToolMode) tools.append(IsValidMode(mode) ? QJsonValue(mode) : QJsonValue());
  for (int m = 0; m < kModeTotal; ++m) {
    names.append(QString::fromStdString(f.m_Profile.ModeName(m)));
    groups.append(GroupName(m));
  }
  for (int m : kQuickModes) quick.append(m);
  const QJsonObject o{{QStringLiteral("mode"), f.m_nCurMod},
                      {QStringLiteral("modeName"), GroupName(f.m_nCurMod)},
                      {QStringLiteral("link"), link},
                      {QStringLiteral("busy"), f.m_bSending.load() == 1},
                      {QStringLiteral("windows"), windows},
                      {QStringLiteral("inputs"), inputs},
                      {QStringLiteral("layers"), layers},
                      {QStringLiteral("display"), display},
                      {QStringLiteral("resolution"), resolution},
                      {QStringLiteral("toolButtons"), tools},
                      {QStringLiteral("modeNames"), names},
                      {QStringLiteral("modeGroups"), groups},
                      {QStringLiteral("quickModes"), quick}};
  return Json(o).toStdString();
}

remote::ApiResult CRemoteControl::RecallMode(int mode) {
  const Quiet quiet(m_frame.Link());
  if (!IsValidMode(mode)) return Error(400, QStringLiteral("mode must be 0 to 33"));
  if (mode == m_frame.m_nCurMod) return Done();  // as the button of the live mode: nothing
  if (auto busy = Busy()) return *busy;
  // The mode's own button: a quick-mode button, else a tool button, else
  // the mode dialog's choice.
  ModeController& modes = m_frame.Modes();
  for (std::size_t i = 0; i < kQuickModes.size(); ++i)
    if (kQuickModes[i] == mode) {
      m_frame.OnQuickMode(static_cast<int>(i));
      return AppliedOrUnsent();
    }
  if (const int tool = modes.FirstToolButtonOf(mode); tool >= 0) {
    m_frame.OnToolButton(tool);
    return AppliedOrUnsent();
  }
  modes.Load(mode);
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SetWindow(int channel, int x, int y, int w, int h) {
  const Quiet quiet(m_frame.Link());
  const int ch = channel - 1;
  if (ch < 0 || ch > 3 || m_frame.ChannelFrame(ch) == nullptr) return Error(400, QStringLiteral("channel must be 1 to 4"));
  const int res = m_frame.MainSet().GetOutputResolution(ch);
  const Size size = OutputResolution(res);
  if (x < 0 || y < 0 || w < 1 || h < 1 || x + w > size.width || y + h > size.height)
    return Error(400, QStringLiteral("the window must lie inside Out%1's %2 x %3 pixels: x + w at most %2, y + h at most %3")
                          .arg(channel)
                          .arg(size.width)
                          .arg(size.height));
  const OutputGeometry now = m_frame.Windows().OutputOf(ch);
  // A drag moves in every mode; sizing only where the frame's corners size.
  if ((now.w != w || now.h != h) && !IsPipPopMode(m_frame.m_nCurMod))
    return Error(400, QStringLiteral("\"w\" and \"h\" must stay %1 and %2: windows are sized only in the PIP and POP "
                                     "modes (13..20, 26..33); in this mode they only move")
                          .arg(now.w)
                          .arg(now.h));
  if (auto busy = Busy()) return *busy;
  CChannelWindows& windows = m_frame.Windows();
  windows.PlaceChannel(ch, {ExactFraction(x, size.width), ExactFraction(y, size.height), ExactFraction(w, size.width),
                            ExactFraction(h, size.height)});
  // As at the end of the operator's drag: current, sent, outlined.
  windows.SetCurrentPod(ch);
  windows.SendWindowGeometry(ch);
  windows.HighlightWindow(m_frame.ChannelFrame(ch));
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SetInputs(const std::array<std::optional<int>, 4>& inputs) {
  const Quiet quiet(m_frame.Link());
  CDlgMainSet& p = m_frame.MainSet();
  if (auto busy = Busy()) return *busy;
  if (!p.m_btnInputSet->isEnabled())
    return Error(400, QStringLiteral("the channel inputs can be set only in the full, PIP and POP modes (8..33)"));
  for (std::size_t ch = 0; ch < 4; ++ch)
    if (inputs[ch] && (*inputs[ch] < 1 || *inputs[ch] > 4)) return Error(400, QStringLiteral("CH%1 must be 1 to 4").arg(ch + 1));
  // The channels not named keep the input they have, whatever the radios
  // show unset.
  for (std::size_t ch = 0; ch < 4; ++ch) {
    CChildFrame* frame = m_frame.ChannelFrame(static_cast<int>(ch));
    const int input = inputs[ch] ? *inputs[ch] - 1 : (frame != nullptr ? frame->View()->m_nInput : static_cast<int>(ch));
    p.m_grpInSel[ch]->button(input)->setChecked(true);
  }
  p.OnInputSet();
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SetLayers(const remote::LayersRequest& r) {
  const Quiet quiet(m_frame.Link());
  CDlgMainSet& p = m_frame.MainSet();
  if (auto busy = Busy()) return *busy;
  if (!p.m_btnOverlaySet->isEnabled())
    return Error(400, QStringLiteral("the layers can be set only in the PIP and POP modes (13..20, 26..33)"));
  if (!IsLayerPermutation({r.layers[0] - 1, r.layers[1] - 1, r.layers[2] - 1, r.layers[3] - 1}) ||
      (r.output && (*r.output < 1 || *r.output > 4)))
    return Error(400, QStringLiteral("layers must give CH1..CH4 the layers 1 to 4, each once; output 1 to 4"));
  if (r.output) {
    p.m_grpOverlay->button(1)->click();  // Different
    p.m_cbOverlayOut->setCurrentIndex(*r.output - 1);
    p.OnOverlayOutChanged();
  } else {
    p.m_grpOverlay->button(0)->click();  // All
  }
  for (std::size_t ch = 0; ch < 4; ++ch) p.m_grpLayerSel[ch]->button(r.layers[ch] - 1)->setChecked(true);
  p.OnOverlaySet();
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SetDisplay(const remote::DisplayRequest& r) {
  const Quiet quiet(m_frame.Link());
  CDlgMainSet& p = m_frame.MainSet();
  if (auto busy = Busy()) return *busy;
  if (!p.m_btnDisplaySet->isEnabled())
    return Error(400, QStringLiteral("the output display can be set only in the PIP and POP modes (13..20, 26..33)"));
  const CDataPrm rec = m_frame.m_Profile.m_DataPrm[kWorkingSlot].Sanitized();
  if (r.all) {
    if (!p.m_chkDispAll->isChecked()) p.m_chkDispAll->click();
    for (std::size_t ch = 0; ch < 4; ++ch) p.m_chkDispCh[ch]->setChecked((*r.all)[ch]);
  } else {
    if (p.m_chkDispAll->isChecked()) p.m_chkDispAll->click();
    // The outputs not named keep what they show now.
    for (std::size_t o = 0; o < 4; ++o)
      for (std::size_t ch = 0; ch < 4; ++ch)
        p.m_chkOutDispCh[4 * o + ch]->setChecked(
            r.outputs[o] ? (*r.outputs[o])[ch]
                         : (rec.m_bDispAll != 0 ? rec.m_bDispCh[ch] : rec.m_bOutDispCh[o][ch]) != 0);
  }
  p.OnDisplaySet();
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SetResolution(const remote::ResolutionRequest& r) {
  const Quiet quiet(m_frame.Link());
  CDlgMainSet& p = m_frame.MainSet();
  if (auto busy = Busy()) return *busy;
  auto bad = [](const std::optional<int>& v) { return v && (*v < 1 || *v > kResolutionCount); };
  if (bad(r.all) || bad(r.outputs[0]) || bad(r.outputs[1]) || bad(r.outputs[2]) || bad(r.outputs[3]))
    return Error(400, QStringLiteral("resolution codes are 1 to 6"));
  if (r.all) {
    if (p.m_chkFullMode->isChecked()) p.m_chkFullMode->click();
    p.m_cbAllOutRes->setCurrentIndex(*r.all - 1);
  } else {
    if (!p.m_chkFullMode->isEnabled())
      return Error(400, QStringLiteral("each output has its own resolution only in the full modes (8..12, 21..25)"));
    // The outputs not named keep the resolution they have.
    std::array<int, 4> keep{};
    for (int o = 0; o < 4; ++o) keep[static_cast<std::size_t>(o)] = p.GetOutputResolution(o);
    if (!p.m_chkFullMode->isChecked()) p.m_chkFullMode->click();
    for (std::size_t o = 0; o < 4; ++o) p.m_cbOutRes[o]->setCurrentIndex(r.outputs[o] ? *r.outputs[o] - 1 : keep[o]);
  }
  p.OnResolutionSet();
  WindowsChanged();  // the same windows are other output pixels now
  return AppliedOrUnsent();
}

remote::ApiResult CRemoteControl::SendSetup(bool withUserModes) {
  const Quiet quiet(m_frame.Link());
  if (!m_frame.Link().LinkUp())
    return Error(503, QStringLiteral("no link to the processor: connect first; nothing was sent"));
  if (auto busy = Busy()) return *busy;
  CSetupSender& setup = m_frame.Setup();
  const int frames = static_cast<int>(setup.Frames(withUserModes).size());
  if (!setup.Send(withUserModes)) return Error(409, QString::fromLatin1(kBusyText));
  return Result(200, QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("frames"), frames}});
}

// ---- events ---------------------------------------------------------------------------

void CRemoteControl::Broadcast(const QString& json) {
  if (m_server->Running()) m_server->Broadcast(json.toStdString());
}

void CRemoteControl::ModeChanged() {
  const int mode = m_frame.m_nCurMod;
  if (mode == m_lastMode) return;
  m_lastMode = mode;
  Broadcast(Json({{QStringLiteral("event"), QStringLiteral("mode")},
                  {QStringLiteral("mode"), mode},
                  {QStringLiteral("modeName"), GroupName(mode)}}));
  // A mode brings its own inputs, layers, display and resolution.
  SettingsChanged("mode");
}

void CRemoteControl::WindowsChanged() {
  if (!m_server->Running()) return;
  for (int ch = 0; ch < 4; ++ch) {
    const OutputGeometry g = m_frame.Windows().OutputOf(ch);
    if (m_windowsKnown && g == m_lastWindows[static_cast<std::size_t>(ch)]) continue;
    m_lastWindows[static_cast<std::size_t>(ch)] = g;
    QJsonObject o = WindowJson(ch, g);
    o.insert(QStringLiteral("event"), QStringLiteral("window"));
    Broadcast(Json(o));
  }
  m_windowsKnown = true;
}

void CRemoteControl::LinkChanged() {
  if (!m_server->Running()) return;
  const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(StateJson())).object();
  QJsonObject link = state.value(QStringLiteral("link")).toObject();
  const QString text = link.value(QStringLiteral("text")).toString();
  if (text == m_lastLink) return;
  m_lastLink = text;
  link.insert(QStringLiteral("event"), QStringLiteral("link"));
  Broadcast(Json(link));
}

void CRemoteControl::SettingsChanged(const char* what) {
  if (!m_server->Running()) return;
  const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(StateJson())).object();
  QJsonObject o{{QStringLiteral("event"), QStringLiteral("settings")}, {QStringLiteral("what"), QString::fromLatin1(what)}};
  for (const char* key : {"inputs", "layers", "display", "resolution", "toolButtons", "modeNames"})
    o.insert(QString::fromLatin1(key), state.value(QString::fromLatin1(key)));
  Broadcast(Json(o));
}

void CRemoteControl::SetupProgress(int sent, int total) {
  Broadcast(Json({{QStringLiteral("event"), QStringLiteral("setup")},
                  {QStringLiteral("sent"), sent},
                  {QStringLiteral("total"), total}}));
}

void CRemoteControl::SetupResult(const QString& result) {
  Broadcast(Json({{QStringLiteral("event"), QStringLiteral("setup")}, {QStringLiteral("result"), result}}));
}

}  // namespace panora
