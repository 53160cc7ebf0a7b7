// The link status pane, reconnect and keepalive against the simulated
// processor: its TCP listener and its pty are closed (unplugged) and brought
// back on the same port and path.
#include "app/LinkStatus.h"

#include <QButtonGroup>
#include <QProgressBar>
#include <QPushButton>
#include <QComboBox>
#include <QStatusBar>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <fstream>

#include "LinkGuiSupport.h"
#include "app/SetupSender.h"
#include "app/Undo.h"
#include "layout/ChannelWindows.h"
#include "layout/ChildFrame.h"
#include "model/ModeController.h"
#include "panels/DlgMainSet.h"
#include "link/PrivateProfile.h"
#include "model/MainSetPayloads.h"
#include "model/Paths.h"

namespace panora::test {
namespace {

const QString kDot = QString::fromUtf8(" \u00b7 ");

QString Pane(CMainFrame& f) {
  return f.LinkStatus()->Pane()->text();
}

int InfoCount(CMainFrame& f, const QString& text) {
  return static_cast<int>(InfoTexts(f).count(text));
}

// The frames with command byte `command` the simulator logged as received.
int LoggedFrames(const std::string& log, const char* command) {
  std::ifstream in(log);
  int n = 0;
  const std::string needle = std::string("7D 3A 00 04 ") + command;
  for (std::string line; std::getline(in, line);)
    if (line.find(" rx ") != std::string::npos && line.find(needle) != std::string::npos) ++n;
  return n;
}

std::unique_ptr<sim::Server> StartServer(sim::ServerOptions opt) {
  auto server = std::make_unique<sim::Server>(std::move(opt));
  std::string error;
  EXPECT_TRUE(server->Start(error)) << error;
  return server;
}

class LinkStatusTest : public FrameTest {};

TEST_F(LinkStatusTest, ToolsMenuFollowsViewAndItsSettingsAreStored) {
  const QList<QAction*> menus = f->menuBar()->actions();
  const qsizetype view = menus.indexOf(f->ViewMenu()->menuAction());
  ASSERT_GE(view, 0);
  ASSERT_LT(view + 1, menus.size());
  EXPECT_EQ(menus[view + 1], f->ToolsMenu()->menuAction());
  EXPECT_EQ(f->ToolsMenu()->title(), "&Tools");
  QStringList items;
  QList<QKeySequence> keys;
  for (QAction* a : f->ToolsMenu()->actions()) {
    items << a->text();
    keys << a->shortcut();
  }
  EXPECT_EQ(items, (QStringList{"Traffic Monitor", "Snap to Edges", "Reconnect Automatically", "Keepalive",
                                "Send Set-up on Connect", "Remote Control..."}));
  keys.removeLast();  // Remote Control...: a dialog
  keys.removeLast();  // Send Set-up on Connect: a setting, not a command
  EXPECT_FALSE(keys.contains(QKeySequence())) << items.join(", ").toStdString();
  CLinkStatus& ls = *f->LinkStatus();
  EXPECT_EQ(ls.ReconnectAction()->text(), "Reconnect Automatically");
  EXPECT_EQ(ls.KeepaliveAction()->text(), "Keepalive");
  EXPECT_FALSE(ls.ReconnectAction()->shortcut().isEmpty());
  EXPECT_FALSE(ls.KeepaliveAction()->shortcut().isEmpty());
  // Off by default; the pane says so and is read under its text.
  EXPECT_FALSE(ls.ReconnectAction()->isChecked());
  EXPECT_FALSE(ls.KeepaliveAction()->isChecked());
  EXPECT_EQ(Pane(*f), "Not connected");
  EXPECT_TRUE(ls.Pane()->accessibleName().isEmpty());

  ls.ReconnectAction()->trigger();
  ls.KeepaliveAction()->trigger();
  EXPECT_TRUE(ls.State().Reconnect());
  EXPECT_TRUE(ls.KeepaliveTimer().isActive());
  const std::string ini = NetSettingsPath();
  EXPECT_EQ(GetPrivateProfileInt(CLinkStatus::kSection, "Reconnect", 0, ini), 1);
  EXPECT_EQ(GetPrivateProfileInt(CLinkStatus::kSection, "Keepalive", 0, ini), 1);
  ls.KeepaliveAction()->trigger();
  EXPECT_EQ(GetPrivateProfileInt(CLinkStatus::kSection, "Keepalive", 1, ini), 0);
  EXPECT_FALSE(ls.KeepaliveTimer().isActive());
  // Beside the network settings, which stay as they were.
  EXPECT_EQ(ReadNetSettings(ini).port, "4001");
}

// A stored setting is in force from the start.
class StoredLinkSettingsTest : public FrameTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WritePrivateProfileString(CLinkStatus::kSection, "Reconnect", "1", NetSettingsPath()));
    FrameTest::SetUp();
  }
};

TEST_F(StoredLinkSettingsTest, ReconnectIsOnAtStart) {
  EXPECT_TRUE(f->LinkStatus()->ReconnectAction()->isChecked());
  EXPECT_TRUE(f->LinkStatus()->State().Reconnect());
  EXPECT_FALSE(f->LinkStatus()->KeepaliveAction()->isChecked());
}

TEST_F(LinkStatusTest, TcpPeerGoneIsLostAndReconnectsUntilDisconnect) {
  sim::ServerOptions opt;
  opt.tcpPort = 0;
  auto server = StartServer(opt);
  const std::string port = std::to_string(server->TcpPort());
  opt.tcpPort = server->TcpPort();
  const QString where = QStringLiteral("TCP 127.0.0.1:%1").arg(QString::fromStdString(port));

  // Without reconnect: lost, and the check mark keeps its meaning.
  f->Connection().ConnectNet("127.0.0.1", port);
  EXPECT_EQ(Pane(*f), where + kDot + "connecting");
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f) == where + kDot + "connected"; }));
  server->Stop();
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f) == where + kDot + "lost"; })) << Pane(*f).toStdString();
  EXPECT_TRUE(Checked(*f, ID_CONN_TCPIP));
  EXPECT_TRUE(f->NetLink().IsConnected());  // counted as connected until closed
  EXPECT_FALSE(f->LinkStatus()->ReconnectTimer().isActive());

  // With reconnect: tries every 2 s while nothing listens, then connects
  // with the usual line.
  f->LinkStatus()->ReconnectAction()->trigger();
  server = StartServer(opt);
  f->Connection().ConnectNet("127.0.0.1", port);
  ASSERT_TRUE(WaitUntil([&] { return InfoCount(*f, "Connect NET success!") == 2; }));
  server->Stop();
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).contains("reconnecting (try 1)"); }, 4000))
      << Pane(*f).toStdString();
  EXPECT_TRUE(Pane(*f).startsWith(where + kDot + "lost" + kDot + "reconnecting"));
  EXPECT_FALSE(f->NetLink().IsConnected());
  server = StartServer(opt);
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f) == where + kDot + "connected"; }, 5000))
      << Pane(*f).toStdString();
  EXPECT_EQ(InfoCount(*f, "Connect NET success!"), 3);
  EXPECT_TRUE(Checked(*f, ID_CONN_TCPIP));
  EXPECT_FALSE(f->LinkStatus()->ReconnectTimer().isActive());

  // Disconnect ends the loop: nothing connects behind the operator's back.
  server->Stop();
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).contains("reconnecting"); }));
  f->Action(ID_CONN_DISCONNECT)->trigger();
  EXPECT_EQ(Pane(*f), "Not connected");
  EXPECT_FALSE(f->LinkStatus()->ReconnectTimer().isActive());
  server = StartServer(opt);
  WaitUntil([] { return false; }, 2300);
  EXPECT_EQ(Pane(*f), "Not connected");
  EXPECT_FALSE(f->NetLink().IsConnected());
  EXPECT_EQ(InfoCount(*f, "Connect NET success!"), 0);  // Disconnect replaced the list
}

// A try that hangs (the port's accept queue is full) when the operator turns
// reconnect off: nothing it could still connect stays open, and it does not
// hold a later loop back.
TEST_F(LinkStatusTest, AnAbandonedTryLeavesNoSocketAndDoesNotBlockTheNextLoop) {
  sim::ServerOptions opt;
  opt.tcpPort = 0;
  auto server = StartServer(opt);
  opt.tcpPort = server->TcpPort();
  const std::string port = std::to_string(opt.tcpPort);
  CLinkStatus& ls = *f->LinkStatus();
  ls.ReconnectAction()->trigger();
  f->Connection().ConnectNet("127.0.0.1", port);
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).endsWith(kDot + "connected"); }));

  server->Stop();
  auto hanging = std::make_unique<HangingPort>(opt.tcpPort);
  ASSERT_TRUE(hanging->Hangs());
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).contains("reconnecting (try 1)"); }, 4000))
      << Pane(*f).toStdString();
  ls.ReconnectAction()->trigger();
  EXPECT_TRUE(Pane(*f).endsWith(kDot + "lost")) << Pane(*f).toStdString();
  // The processor is back where the try's next connection request goes.
  hanging.reset();
  server = StartServer(opt);
  WaitUntil([] { return false; }, 1500);
  EXPECT_FALSE(f->NetLink().IsConnected());
  EXPECT_TRUE(Pane(*f).endsWith(kDot + "lost")) << Pane(*f).toStdString();

  // Reconnect on again, a manual connect, a loss: the loop tries and connects.
  ls.ReconnectAction()->trigger();
  f->Connection().ConnectNet("127.0.0.1", port);
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).endsWith(kDot + "connected"); }));
  server->Stop();
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).contains("reconnecting"); }));
  server = StartServer(opt);
  EXPECT_TRUE(WaitUntil([&] { return Pane(*f).endsWith(kDot + "connected"); }, 5000))
      << Pane(*f).toStdString();
}

TEST_F(LinkStatusTest, VanishedPtyIsLostAndReopenedWithTheHandshake) {
  sim::ServerOptions opt;
  opt.useTcp = false;
  opt.ptyPath = home.Path() + "/line.tty";
  auto server = StartServer(opt);
  f->LinkStatus()->ReconnectAction()->trigger();
  const QString where = QStringLiteral("RS232 %1").arg(QString::fromStdString(opt.ptyPath));

  f->Connection().ConnectSerial(opt.ptyPath);
  EXPECT_EQ(Pane(*f), where + kDot + "handshake pending");
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f) == where + kDot + "handshake accepted"; }));

  server->Stop();  // the line is unplugged
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "COM port lost"); }));
  EXPECT_TRUE(Pane(*f).startsWith(where + kDot + "lost" + kDot + "reconnecting")) << Pane(*f).toStdString();
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232));
  // A try finds no device, quietly (a box would fail the test).
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).contains("reconnecting (try 1)"); }, 4000))
      << Pane(*f).toStdString();

  server = StartServer(opt);  // plugged in again, on a new pty behind the same path
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f) == where + kDot + "handshake accepted"; }, 5000))
      << Pane(*f).toStdString();
  EXPECT_EQ(InfoCount(*f, "Connection Success!"), 2);
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  EXPECT_EQ(f->m_nConnKind.load(), 1);
  EXPECT_FALSE(f->LinkStatus()->ReconnectTimer().isActive());
}

TEST_F(LinkStatusTest, KeepaliveQueriesQuietlyAndMarksASilentProcessor) {
  sim::ServerOptions opt;
  opt.tcpPort = 0;
  opt.logPath = home.Path() + "/sim.log";
  auto server = StartServer(opt);
  CLinkStatus& ls = *f->LinkStatus();
  ls.KeepaliveAction()->trigger();
  ls.KeepaliveTimer().setInterval(40);
  f->Connection().ConnectNet("127.0.0.1", std::to_string(server->TcpPort()));
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  ASSERT_TRUE(WaitUntil([&] { return LoggedFrames(opt.logPath, "FF") >= 3; }));
  EXPECT_FALSE(InfoTexts(*f).join('\n').contains("Version:"));
  EXPECT_FALSE(Pane(*f).contains("not answering"));
  // The operator asks right after a keepalive query went out, before its
  // answer: his query gets its line, one, and the keepalive's none.
  bool asked = false;
  QObject hookScope;
  QObject::connect(&ls.KeepaliveTimer(), &QTimer::timeout, &hookScope, [&] {
    if (!asked && ls.State().KeepaliveAwaited() > 0) {
      asked = true;
      f->Action(ID_ABOUT_FIRMWARE)->trigger();
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return asked; }));
  const auto versions = [&] { return InfoTexts(*f).filter("Version:").size(); };
  EXPECT_TRUE(WaitUntil([&] { return versions() == 1; }));
  const int queries = LoggedFrames(opt.logPath, "FF");
  ASSERT_TRUE(WaitUntil([&] { return LoggedFrames(opt.logPath, "FF") >= queries + 3; }));
  EXPECT_EQ(versions(), 1);
  // Answers do not pile up as awaited (one may be on its way at any time).
  EXPECT_TRUE(WaitUntil([&] { return ls.State().KeepaliveAwaited() <= 1; }));

  sim::ServerOptions silentOpt;
  silentOpt.tcpPort = 0;
  silentOpt.silent = true;
  auto silent = StartServer(silentOpt);
  f->Connection().ConnectNet("127.0.0.1", std::to_string(silent->TcpPort()));
  ASSERT_TRUE(WaitUntil([&] { return InfoCount(*f, "Connect NET success!") == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return Pane(*f).endsWith(kDot + "not answering"); })) << Pane(*f).toStdString();
  EXPECT_EQ(ls.State().Misses(), LinkState::kMissesNotAnswering);
  // Shut-down ends the queries (and any reconnect tries) for good.
  f->Shutdown(false);
  EXPECT_FALSE(ls.KeepaliveTimer().isActive());
  EXPECT_FALSE(ls.ReconnectTimer().isActive());
}

}  // namespace
}  // namespace panora::test

namespace panora::test {
namespace {

// What the simulator holds of the set-up the screen shows.
void ExpectProcessorShowsTheScreen(CMainFrame& f, const sim::State& s) {
  const CDataPrm& rec = f.m_Profile.m_DataPrm[kWorkingSlot];
  EXPECT_EQ(s.mode, f.m_nCurMod);
  for (int ch = 0; ch < 4; ++ch) {
    const OutputGeometry g = FractionsToOutput(f.Windows().MeasureChannel(ch), OutputResolution(rec.m_nAllOutRes));
    EXPECT_EQ(s.setUp.geometry[ch], (sim::Geometry{static_cast<std::uint16_t>(g.x), static_cast<std::uint16_t>(g.y),
                                                   static_cast<std::uint16_t>(g.w), static_cast<std::uint16_t>(g.h)}))
        << "CH" << ch + 1;
    EXPECT_EQ(s.setUp.input[ch], rec.m_nChInput[ch] + 1);
  }
}

TEST_F(LinkStatusTest, ChangesWithoutALinkAreCountedAndSendSetUpBringsTheProcessorToTheScreen) {
  CSetupSender& setup = f->Setup();
  // Offline: a recall, a window moved, an input set, a contrast set. Each is
  // counted, the pane says how many, the monitor's log holds them as not sent.
  f->OnQuickMode(5);  // PIP-Default 2
  f->ChannelFrame(1)->MoveTo(Rect{10, 20, 210, 140});
  f->Windows().SendWindowGeometry(1);
  f->MainSet().m_grpInSel[2]->button(0)->click();
  f->MainSet().m_btnInputSet->click();
  f->Setup().Picture().NoteContrast(1, 250);  // as the picture page's Set notes it
  EXPECT_EQ(f->Link().Unsent(), 3);
  Pump(20);
  EXPECT_EQ(Pane(*f), "Not connected" + kDot + "3 changes not sent");
  int unsent = 0;
  for (const TrafficRecord& r : f->Traffic().Since(0)) unsent += r.dir == TrafficDir::Unsent ? 1 : 0;
  EXPECT_EQ(unsent, 3);
  // A query is no change; Send Set-up without a link says so and sends nothing.
  dialogs.ExpectBox("Please connect PC to machine");
  f->OnFirmwareVersion();
  dialogs.ExpectBox("No link to the processor");
  f->Action(ID_SEND_SETUP)->trigger();
  EXPECT_EQ(f->Link().Unsent(), 3);

  // The link comes up: a line names the count and the command. The
  // processor takes its time with each answer, so the batch is seen running.
  sim::ServerOptions slow;
  slow.delayMs = 30;
  EmbeddedSim sim(slow);
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  EXPECT_TRUE(InfoHas(*f, "3 changes not sent: Connection > Send Set-up"));
  EXPECT_NE(sim.Server().GetState().mode, 14);

  // Send Set-up: progress with Cancel while it runs, busy rule, one line at the end.
  const int frames = static_cast<int>(setup.Frames(false).size());
  f->Action(ID_SEND_SETUP)->trigger();
  ASSERT_TRUE(setup.Running());
  EXPECT_TRUE(setup.ProgressBar()->isVisible());
  EXPECT_EQ(f->m_bSending.load(), 1);
  // A Set that refuses while it runs: the box, and the change waits, counted.
  dialogs.ExpectBox(kBusyText);
  f->MainSet().m_btnResolutionSet->click();
  const QString done = QStringLiteral("Set-up sent: %1 of %1 frames answered").arg(frames);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, done); }, 30000)) << InfoTexts(*f).join('|').toStdString();
  EXPECT_FALSE(setup.ProgressBar()->isVisible());
  EXPECT_EQ(f->Link().Unsent(), 1);
  EXPECT_EQ(Pane(*f), QStringLiteral("TCP 127.0.0.1:%1").arg(QString::fromStdString(sim.PortText())) + kDot +
                          "connected" + kDot + "1 change not sent");
  const sim::State s = sim.Server().GetState();
  ExpectProcessorShowsTheScreen(*f, s);
  EXPECT_EQ(s.contrast[1], 250);
  EXPECT_EQ(s.setUp.input[2], 1);

  // Cancel stops after the frame in flight and says how far it got; the
  // count stays, the set-up did not go out whole.
  f->Action(ID_SEND_SETUP)->trigger();
  setup.CancelButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return !setup.Running(); }, 10000));
  EXPECT_TRUE(setup.LastResult().startsWith("Send Set-up cancelled after frame")) << setup.LastResult().toStdString();
  EXPECT_EQ(f->Link().Unsent(), 1);
}

TEST_F(LinkStatusTest, SendSetUpOnConnectIsStoredAndSendsAfterEveryConnect) {
  QAction* onConnect = f->Setup().OnConnectAction();
  EXPECT_FALSE(onConnect->isChecked());
  onConnect->trigger();
  EXPECT_EQ(GetPrivateProfileInt(CSetupSender::kSection, CSetupSender::kOnConnectKey, 0, NetSettingsPath()), 1);
  f->OnQuickMode(7);  // PIP-Default 4, counted
  EmbeddedSim sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoTexts(*f).join('|').contains("Set-up sent:"); }, 30000));
  EXPECT_FALSE(InfoTexts(*f).join('|').contains("changes not sent"));
  EXPECT_EQ(sim.Server().GetState().mode, 16);
  ExpectProcessorShowsTheScreen(*f, sim.Server().GetState());
}

TEST_F(LinkStatusTest, AFactoryResetIsUndoneOnScreenAndSaysHowToWriteItBack) {
  f->Modes().SetModeName(3, "Lobby");
  f->Modes().AssignToolButton(2, 14);
  f->m_Profile.m_DataPrm[4].m_bSaved = 1;
  f->OnQuickMode(9);  // POP-Default 1
  f->ChannelFrame(2)->MoveTo(Rect{30, 40, 230, 160});
  f->Windows().SendWindowGeometry(2);
  const CProfile before = f->m_Profile;
  const ChannelFractions ch3 = f->Windows().MeasureChannel(2);
  const int mode = f->m_nCurMod;
  dialogs.ExpectDialog("172", ClickButton(QStringLiteral("1149")));  // Yes
  f->Action(ID_FACTORY_RESET)->trigger();
  EXPECT_EQ(f->m_nCurMod, 8);
  EXPECT_EQ(f->m_Profile.m_strModeName[3], "4");
  EXPECT_TRUE(f->Action(ID_EDIT_UNDO)->isEnabled());

  f->Action(ID_EDIT_UNDO)->trigger();
  EXPECT_EQ(f->m_nCurMod, mode);
  EXPECT_EQ(f->m_Profile.m_strModeName[3], "Lobby");
  EXPECT_EQ(f->m_Profile.m_nToolMode, before.m_nToolMode);
  EXPECT_EQ(f->m_Profile.m_DataPrm[4].m_bSaved, 1);
  EXPECT_EQ(f->Windows().MeasureChannel(2), ch3);
  EXPECT_TRUE(InfoTexts(*f).join('|').contains("Factory reset undone"));
  // Redo puts the reset set-up back, again on the PC side only.
  f->Action(ID_EDIT_REDO)->trigger();
  EXPECT_EQ(f->m_nCurMod, 8);
  EXPECT_EQ(f->m_Profile.m_strModeName[3], "4");
}

}  // namespace
}  // namespace panora::test

namespace panora::test {
namespace {

// After Edit > Undo of a factory reset, Send Set-up sends the resolution the
// panel shows and the windows as the placement pane gives them.
TEST_F(LinkStatusTest, SendSetUpAfterAnUndoneFactoryResetSendsWhatThePanelShows) {
  f->MainSet().m_cbAllOutRes->setCurrentIndex(5);  // XGA, set in mode 17
  f->MainSet().m_btnResolutionSet->click();
  dialogs.ExpectDialog("172", ClickButton(QStringLiteral("1149")));  // Yes
  f->Action(ID_FACTORY_RESET)->trigger();
  f->Action(ID_EDIT_UNDO)->trigger();
  ASSERT_EQ(f->m_nCurMod, 17);
  const std::vector<FrameBytes> frames = f->Setup().Frames(false);
  ASSERT_GE(frames.size(), 6u);
  EXPECT_EQ(frames[1][8], ResolutionCode(f->MainSet().GetOutputResolution(0)));
  const OutputGeometry shown = f->Windows().OutputOf(3);
  const FrameBytes& ch4 = frames.back();
  EXPECT_EQ(std::vector<int>(ch4.begin() + 8, ch4.end() - 4),
            (std::vector<int>{shown.x / 256, shown.x % 256, shown.y / 256, shown.y % 256, shown.w / 256,
                              shown.w % 256, shown.h / 256, shown.h % 256}));
}

// The progress bar and its Cancel stay while a help text shows in the
// status bar (the mouse over a toolbar button or a menu item).
TEST_F(LinkStatusTest, TheSetUpProgressStaysWhileTheStatusBarShowsAHelpText) {
  sim::ServerOptions opt;
  opt.delayMs = 200;
  EmbeddedSim sim(opt);
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  CSetupSender& setup = f->Setup();
  f->Action(ID_SEND_SETUP)->trigger();
  ASSERT_TRUE(setup.Running());
  EXPECT_TRUE(setup.ProgressBar()->isVisible());
  f->statusBar()->showMessage(QStringLiteral("Load Mode"));  // a status tip
  f->statusBar()->showMessage(QStringLiteral("Ready"));
  EXPECT_TRUE(setup.ProgressBar()->isVisible());
  EXPECT_TRUE(setup.CancelButton()->isVisible());
  setup.CancelButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return !setup.Running(); }, 10000));
}

// An Overlay Set for all outputs with no link: its frames are counted and
// the traffic monitor shows each of them as not sent.
TEST_F(LinkStatusTest, LayersSetWithoutALinkAreShownAsNotSentInTheMonitor) {
  auto unsentRecords = [&] {
    int n = 0;
    for (const TrafficRecord& r : f->Traffic().Since(0)) n += r.dir == TrafficDir::Unsent ? 1 : 0;
    return n;
  };
  const int before = unsentRecords();
  f->MainSet().m_btnOverlaySet->click();
  ASSERT_TRUE(WaitUntil([&] { return f->Link().Unsent() > 0; }));
  Pump(20);
  EXPECT_EQ(unsentRecords() - before, f->Link().Unsent());
}

}  // namespace
}  // namespace panora::test
