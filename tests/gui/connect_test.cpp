// The connect procedures of the main window against the simulated processor
// over a real pseudo-terminal and real loopback TCP.
#include <sys/file.h>
#include <sys/stat.h>

#include <QDialog>
#include <QPushButton>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "LinkGuiSupport.h"
#include "app/UiHandOver.h"
#include "link/Commands.h"
#include "link/Frame.h"
#include "link/LinkTestSupport.h"

using namespace panora;
using namespace panora::test;
using Clock = std::chrono::steady_clock;

class Rs232Test : public FrameTest {
 protected:
  // The processor's line, played by the test: once the handshake has gone
  // out, `noise` random bytes, then the right "accepted" answer, all in one
  // go. `success`: whether "Connection Success!" came.
  void NoiseThenAcceptedAnswer(Pty& line, std::size_t noise, bool& success) {
    AddExtraSerialPort(line.slave, false);
    dialogs.ExpectDialog("153", ChoosePort(line.slave));
    f->Action(ID_CONN_RS232)->trigger();
    ASSERT_TRUE(f->RsCom().IsOpen());
    ASSERT_EQ(line.Read(12, std::chrono::milliseconds(1000)).size(), 12u);  // the handshake
    std::vector<std::uint8_t> bytes(noise);
    std::mt19937 random(20240611);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const std::uint8_t data[1] = {0};
    std::uint8_t answer[13];
    BuildFrame(answer, data, 1, cmd::kHandshake, 0);  // byte 6 = 0: accepted
    bytes.insert(bytes.end(), answer, answer + sizeof answer);
    std::thread processor([&] { line.Write(bytes); });  // the reader hands blocks to this thread
    success = WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }, 5000);
    processor.join();
  }
};

TEST_F(Rs232Test, HandshakeSuccessThenVersionAndTheDialogPreselectsTheOpenPort) {
  sim::ServerOptions opt;
  opt.engine.versionMajor = 2;
  opt.engine.versionMinor = 0;
  opt.engine.versionBuild = 15;
  EmbeddedSim sim(opt, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  Pty other;  // a second port that exists
  AddExtraSerialPort(other.slave, false);
  AddExtraSerialPort(sim.Pty(), false);

  dialogs.ExpectDialog("153", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.windowTitle(), "RS232");
    EXPECT_EQ(dlg.m_strPorts, (std::vector<std::string>{other.slave, sim.Pty()}));
    EXPECT_EQ(dlg.PortBox()->currentIndex(), 0);  // nothing open: the first
    return ChoosePort(sim.Pty())(d);
  });
  f->Action(ID_CONN_RS232)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 1);
  EXPECT_TRUE(f->TimerHandshake().isActive());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  EXPECT_FALSE(f->TimerHandshake().isActive());
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  EXPECT_FALSE(Checked(*f, ID_CONN_USB));
  EXPECT_FALSE(Checked(*f, ID_CONN_TCPIP));
  EXPECT_EQ(f->RsCom().PortName(), sim.Pty());

  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:2.0.15"); }));
  EXPECT_EQ(f->m_nCurCmd.load(), cmd::kVersion);

  // Opened again, the dialog shows the port in use and preselects it;
  // Cancel changes nothing.
  dialogs.ExpectDialog("153", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.PortBox()->currentText().toStdString(), sim.Pty());
    return kIdCancel;
  });
  f->Action(ID_CONN_RS232)->trigger();
  EXPECT_TRUE(f->RsCom().IsOpen());
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
}

TEST_F(Rs232Test, ATypedDeviceTheListDoesNotShowIsOpenedAndGreeted) {
  // A simulator of its own (its --pty link), which no port list shows.
  EmbeddedSim sim({}, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  dialogs.ExpectDialog("153", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.PortBox()->count(), 0);
    // A mistyped path first: named, nothing opened, the dialog stays.
    dlg.PortBox()->setEditText(QString::fromStdString(sim.Pty() + "x"));
    dlg.accept();
    EXPECT_FALSE(f->RsCom().IsOpen());
    dlg.PortBox()->setEditText(QString::fromStdString(sim.Pty()));
    dlg.accept();
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  dialogs.ExpectBox(sim.Pty() + "x can not be used as a serial port: it does not exist.");
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  EXPECT_EQ(f->RsCom().PortName(), sim.Pty());
}

TEST_F(Rs232Test, NoiseBeforeTheHandshakeAnswerDoesNotDecideIt) {
  // 64 KB of noise, then the answer.
  Pty line;
  bool success = false;
  ASSERT_NO_FATAL_FAILURE(NoiseThenAcceptedAnswer(line, 64 * 1024, success));
  EXPECT_TRUE(success);
  EXPECT_FALSE(InfoHas(*f, "Connection error!"));
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  EXPECT_EQ(f->m_nConnKind.load(), 1);
}

TEST_F(Rs232Test, NoiseThatPutsTheAnswerAcrossTwoBlocksDoesNotLoseTheHandshake) {
  // 64500 bytes of noise put the 13-byte answer across the reader's
  // 1024-byte block boundary (64500 % 1024 = 1012): no block holds it whole,
  // yet it decides.
  Pty line;
  bool success = false;
  ASSERT_NO_FATAL_FAILURE(NoiseThenAcceptedAnswer(line, 64500, success));
  f->TimerHandshake().stop();
  EXPECT_TRUE(success);
}

TEST_F(Rs232Test, RefusedHandshakeLeavesThePortOpenAndMarksNothing) {
  sim::ServerOptions opt;
  opt.engine.refuse = true;
  EmbeddedSim sim(opt, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  AddExtraSerialPort(sim.Pty(), false);
  f->SetConnectionCheck(3, true);  // a mark left from before goes too

  dialogs.ExpectDialog("153", ChoosePort(sim.Pty()));
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection error!"); }));
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232) || Checked(*f, ID_CONN_USB) || Checked(*f, ID_CONN_TCPIP));
  EXPECT_FALSE(f->TimerHandshake().isActive());
  EXPECT_TRUE(f->RsCom().IsOpen());
  // No time-out box follows: the answer stopped timer 4.
  Pump(1200);
  EXPECT_TRUE(dialogs.Boxes().empty());
  // Frames still go out on the refused port, and answers are read.
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:1.0.0"); }));
  // "Disconnect" closes the refused port as well.
  f->Action(ID_CONN_DISCONNECT)->trigger();
  EXPECT_FALSE(f->RsCom().IsOpen());
}

TEST_F(Rs232Test, ANetworkConnectDuringTheHandshakeWaitIsNotUndoneByItsTimeOut) {
  sim::ServerOptions silent;
  silent.silent = true;
  EmbeddedSim line(silent, home.Path());
  EmbeddedSim net;
  ASSERT_TRUE(line.Ok() && net.Ok());
  f->Connection().ConnectSerial(line.Pty());
  ASSERT_TRUE(f->TimerHandshake().isActive());
  f->Connection().ConnectNet("127.0.0.1", net.PortText());
  EXPECT_FALSE(f->RsCom().IsOpen());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  Pump(1200);  // the handshake's second has passed
  EXPECT_TRUE(dialogs.Boxes().empty());
  EXPECT_EQ(f->m_nConnKind.load(), 3);
  EXPECT_TRUE(Checked(*f, ID_CONN_TCPIP));
}

TEST_F(Rs232Test, SilentProcessorTimesOutAfterOneSecond) {
  sim::ServerOptions opt;
  opt.silent = true;
  EmbeddedSim sim(opt, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  AddExtraSerialPort(sim.Pty(), false);

  dialogs.ExpectDialog("153", ChoosePort(sim.Pty()));
  dialogs.ExpectBox("Connect Unsuccess,Please check it");
  const auto start = Clock::now();
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !dialogs.Boxes().empty(); }, 3000));
  const qint64 ms = MsSince(start);
  EXPECT_GE(ms, 950);
  EXPECT_LT(ms, 1800);
  EXPECT_FALSE(f->RsCom().IsOpen());
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(f->TimerHandshake().isActive());
}

TEST_F(Rs232Test, DisconnectDuringTheHandshakeWaitClosesThePortAndTheTimeOutStillComes) {
  sim::ServerOptions opt;
  opt.silent = true;
  EmbeddedSim sim(opt, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  AddExtraSerialPort(sim.Pty(), false);

  dialogs.ExpectDialog("153", ChoosePort(sim.Pty()));
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(f->RsCom().IsOpen());
  Pump(200);
  f->Action(ID_CONN_DISCONNECT)->trigger();
  EXPECT_FALSE(f->RsCom().IsOpen());
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_EQ(InfoTexts(*f), QStringList{"Disconnect!"});
  EXPECT_FALSE(Checked(*f, ID_CONN_DISCONNECT));
  dialogs.ExpectBox("Connect Unsuccess,Please check it");
  ASSERT_TRUE(WaitUntil([&] { return !dialogs.Boxes().empty(); }, 2000));
}

TEST_F(Rs232Test, NoPortChosenOrAPortThatWillNotOpen) {
  // An empty list and OK: nothing chosen.
  dialogs.ExpectDialog("153", [](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.PortBox()->count(), 0);
    dlg.accept();
    return kIdOk;
  });
  dialogs.ExpectBox("can not open com");
  f->SetConnectionCheck(3, true);           // a connection that the procedure closes
  f->TimerHandshake().start(1000);  // and an earlier handshake still awaited
  f->Action(ID_CONN_RS232)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(f->TimerHandshake().isActive());
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232) || Checked(*f, ID_CONN_USB) || Checked(*f, ID_CONN_TCPIP));

  // A port held by another program: the port's own message first.
  BusyPty busy;
  ASSERT_TRUE(busy.Held());
  AddExtraSerialPort(busy.slave, false);
  dialogs.ExpectDialog("153", ChoosePort(busy.slave));
  dialogs.ExpectBox("Can not Open COM");
  dialogs.ExpectBox("can not open com");
  f->Action(ID_CONN_RS232)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(f->RsCom().IsOpen());
}

TEST_F(Rs232Test, APortThisUserMayNotOpenIsListedMarkedAndChoosingItFails) {
  Pty allowed, locked;
  ::chmod(allowed.slave.c_str(), 0666);
  ::chmod(locked.slave.c_str(), 0000);
  AddExtraSerialPort(allowed.slave, false);
  AddExtraSerialPort(locked.slave, false);
  dialogs.ExpectDialog("153", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.m_strPorts, (std::vector<std::string>{allowed.slave, locked.slave}));
    EXPECT_EQ(dlg.PortBox()->itemText(0).toStdString(), allowed.slave);
    EXPECT_EQ(dlg.PortBox()->itemText(1).toStdString(), locked.slave + " (no permission)");
    dlg.PortBox()->setCurrentIndex(1);
    dlg.accept();
    EXPECT_EQ(dlg.m_strCom, locked.slave);
    return kIdOk;
  });
  dialogs.ExpectBox("Can not Open COM");
  dialogs.ExpectBox("can not open com");
  {
    AsOrdinaryUser user;
    f->Action(ID_CONN_RS232)->trigger();
  }
  EXPECT_FALSE(f->RsCom().IsOpen());
  EXPECT_EQ(f->m_nConnKind.load(), 0);
}

TEST_F(Rs232Test, AnUnpluggedPortIsClosedAndReportedOnceThenReconnectingWorks) {
  // A USB adapter: its device node goes when it is unplugged (the pty's own
  // number may soon be taken by another one).
  Pty adapter;
  const std::string node = home.Path() + "/ttyUSB0";
  ASSERT_EQ(::symlink(adapter.slave.c_str(), node.c_str()), 0);
  AddExtraSerialPort(node, false);
  f->Connection().ConnectSerial(node);
  ASSERT_EQ(adapter.Read(12, std::chrono::seconds(1)).size(), 12u);  // the handshake
  const std::uint8_t ok[13] = {0x7D, 0x3A, 0, 5, 0xF1, 0, 0, 0, 0, 0xF6, 0x45, 0x4E, 0x44};
  adapter.Write({ok, ok + 13});
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  ASSERT_TRUE(Checked(*f, ID_CONN_RS232));

  sim::ServerOptions opt;
  opt.engine.versionMajor = 4;
  EmbeddedSim sim(opt, home.Path());  // the processor on another line
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  AddExtraSerialPort(sim.Pty(), false);

  adapter.CloseMaster();  // unplugged
  ::unlink(node.c_str());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "COM port lost"); }));
  EXPECT_FALSE(f->RsCom().IsOpen());
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232) || Checked(*f, ID_CONN_USB) || Checked(*f, ID_CONN_TCPIP));
  dialogs.ExpectBox("Please connect PC to machine");  // nothing to send on now
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  Pump(300);
  EXPECT_EQ(InfoTexts(*f).count(QStringLiteral("COM port lost")), 1);

  // The dialog lists what exists now; the processor's line connects and
  // frames go out again.
  dialogs.ExpectDialog("153", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgCom&>(d);
    EXPECT_EQ(dlg.m_strPorts, std::vector<std::string>{sim.Pty()});
    return ChoosePort(sim.Pty())(d);
  });
  f->Action(ID_CONN_RS232)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoTexts(*f).count(QStringLiteral("Connection Success!")) == 2; }));
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:4.0.0"); }));
}

class UsbTest : public FrameTest {};

TEST_F(UsbTest, TwoUsbPortsTheFirstBusyTheHandshakeGoesOutOnTheSecond) {
  EmbeddedSim sim({}, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  BusyPty busy;
  ASSERT_TRUE(busy.Held());
  Pty plain;  // a serial port that is not on USB is not tried
  AddExtraSerialPort(plain.slave, false);
  AddExtraSerialPort(busy.slave, true);
  AddExtraSerialPort(sim.Pty(), true);

  dialogs.ExpectBox("Can not Open COM");
  f->Action(ID_CONN_USB)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 2);
  EXPECT_EQ(f->RsCom().PortName(), sim.Pty());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  EXPECT_TRUE(Checked(*f, ID_CONN_USB));
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232));
}

TEST_F(UsbTest, NoDeviceListOrNoPortThatOpens) {
  f->SetConnectionCheck(1, true);
  dialogs.ExpectBox("can't Find USB");
  f->Action(ID_CONN_USB)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232));

  BusyPty busy;
  ASSERT_TRUE(busy.Held());
  AddExtraSerialPort(busy.slave, true);
  dialogs.ExpectBox("Can not Open COM");
  dialogs.ExpectBox("can't open USB");
  f->Action(ID_CONN_USB)->trigger();
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(f->TimerHandshake().isActive());
}

class NetTest : public FrameTest {};

TEST_F(NetTest, ConnectsWithTheDialogsAddressAndAsksForTheVersionOverTheNetwork) {
  EmbeddedSim sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  dialogs.ExpectDialog("181", EnterAddress({"127", "0", "0", "1"}, QString::fromStdString(sim.PortText())));
  f->SetConnectionCheck(1, true);
  f->Action(ID_CONN_TCPIP)->trigger();
  EXPECT_FALSE(Checked(*f, ID_CONN_RS232));  // the procedure starts by removing the marks
  EXPECT_EQ(f->m_nConnKind.load(), 3);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  EXPECT_TRUE(Checked(*f, ID_CONN_TCPIP));
  EXPECT_FALSE(f->TimerDots().isActive());
  EXPECT_EQ(f->NetLink().NetIP(), "127.0.0.1");
  EXPECT_EQ(f->NetLink().NetPort(), sim.PortText());

  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:1.0.0"); }));

  f->Action(ID_CONN_DISCONNECT)->trigger();
  EXPECT_FALSE(f->NetLink().IsConnected());
  EXPECT_FALSE(Checked(*f, ID_CONN_TCPIP));
  dialogs.ExpectBox("Please connect PC to machine");
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
}

TEST_F(NetTest, ARefusedConnectFailsAndAnUnansweredOneAnimatesUntilDisconnectAbandonsIt) {
  dialogs.ExpectDialog("181", EnterAddress({"127", "0", "0", "1"}, QString::fromStdString(ClosedPort())));
  f->Action(ID_CONN_TCPIP)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET fail!"); }));
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  EXPECT_FALSE(Checked(*f, ID_CONN_TCPIP));
  EXPECT_FALSE(f->TimerDots().isActive());

  HangingPort hanging;
  ASSERT_TRUE(hanging.Hangs());
  f->Connection().ConnectNet("127.0.0.1", hanging.PortText());
  const auto start = Clock::now();
  // One text per second, each replacing the list.
  const QStringList texts{"connecting .", "connecting . .", "connecting . . ."};
  for (int i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE(WaitUntil([&] { return InfoTexts(*f) == QStringList{texts[i]}; }, 1600)) << i;
    EXPECT_NEAR(static_cast<double>(MsSince(start)), 1000.0 * (i + 1), 300.0) << i;
  }
  EXPECT_EQ(f->m_nConnKind.load(), 3);

  const auto before = Clock::now();
  f->Action(ID_CONN_DISCONNECT)->trigger();
  EXPECT_LT(MsSince(before), 200);
  EXPECT_EQ(f->m_nConnKind.load(), 0);
  // The abandoned attempt ends its animation and changes nothing else.
  ASSERT_TRUE(WaitUntil([&] { return !f->TimerDots().isActive(); }, 1000));
  Pump(100);
  EXPECT_EQ(InfoTexts(*f), QStringList{"Disconnect!"});
  EXPECT_FALSE(Checked(*f, ID_CONN_TCPIP));
}

TEST_F(NetTest, ASerialConnectWhileTheNetworkConnectHangsIsNotUndoneByIt) {
  EmbeddedSim sim({}, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  AddExtraSerialPort(sim.Pty(), false);
  HangingPort hanging;
  ASSERT_TRUE(hanging.Hangs());
  f->Connection().ConnectNet("127.0.0.1", hanging.PortText());
  Pump(100);
  const auto start = Clock::now();
  f->Connection().ConnectSerial(sim.Pty());
  EXPECT_LT(MsSince(start), 400);  // 100 ms of it: a port reopened waits that long
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connection Success!"); }));
  Pump(200);
  EXPECT_EQ(f->m_nConnKind.load(), 1);
  EXPECT_TRUE(Checked(*f, ID_CONN_RS232));
  EXPECT_FALSE(f->TimerDots().isActive());
  EXPECT_FALSE(InfoHas(*f, "Connect NET fail!"));
}

TEST_F(NetTest, QuittingDuringAHangingConnectDoesNotWait) {
  HangingPort hanging;
  ASSERT_TRUE(hanging.Hangs());
  f->Connection().ConnectNet("127.0.0.1", hanging.PortText());
  Pump(300);
  const auto start = Clock::now();
  f->close();
  EXPECT_LT(MsSince(start), 500);
  EXPECT_TRUE(f->IsShutDown());
}

TEST_F(NetTest, SerialWinsOverTheNetwork) {
  EmbeddedSim sim({}, home.Path());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  Listener peer;
  f->Connection().ConnectNet("127.0.0.1", peer.PortText());
  const int conn = peer.Accept();
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  // A serial port opened beside the network link takes every frame.
  ASSERT_EQ(f->RsCom().OpenPort(sim.Pty(), &f->Hand()), 1);
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:1.0.0"); }));
  EXPECT_TRUE(ReadSocket(conn, 1, std::chrono::milliseconds(200)).empty());
  // Once the port is closed the network link gets them.
  f->RsCom().ClosePort();
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  EXPECT_EQ(ReadSocket(conn, 12, std::chrono::milliseconds(1000)).size(), 12u);
  ::close(conn);
}

TEST_F(NetTest, AProcessorThatDropsTheConnectionLeavesTheLinkCountedUntilASendFails) {
  sim::ServerOptions opt;
  opt.dropAfter = 1;
  EmbeddedSim sim(opt);
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  f->Action(ID_ABOUT_FIRMWARE)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Version:1.0.0"); }));
  ASSERT_TRUE(WaitUntil([&] { return f->NetLink().ReceiveEnded(); }));
  EXPECT_TRUE(f->NetLink().IsConnected());
  EXPECT_TRUE(Checked(*f, ID_CONN_TCPIP));
  // The first send after the peer went may still be taken by the system;
  // a later one fails, and the operator is told (the process lives on).
  dialogs.ExpectBox("Net Send failure!");
  for (int i = 0; i < 20 && dialogs.Boxes().empty(); ++i) {
    f->Action(ID_ABOUT_FIRMWARE)->trigger();
    Pump(20);
  }
  EXPECT_EQ(dialogs.Boxes().size(), 1u);
}

class WorkerTest : public FrameTest {};

TEST_F(WorkerTest, ABatchAgainstASilentProcessorEndsWithItsMessageAfterAboutFourSeconds) {
  sim::ServerOptions opt;
  opt.silent = true;
  EmbeddedSim sim(opt);
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));

  // The overlay batch: four frames of command 0x38, its button disabled meanwhile.
  QPushButton* set = f->MainSet().m_btnOverlaySet;
  set->setEnabled(false);
  for (int o = 0; o < 4; ++o) {
    const std::uint8_t payload[5] = {static_cast<std::uint8_t>(o), 4, 3, 2, 1};
    BuildFrame(g_TxBuf + 17 * o, payload, 5, cmd::kOverlay, 1);
  }
  f->m_nJobType = kJobOverlay;
  const auto start = Clock::now();
  f->StartSendWorker();
  EXPECT_EQ(f->m_bSending.load(), 1);  // before the worker's first step
  // A sender that respects the busy state refuses meanwhile.
  dialogs.ExpectBox("please wait second, sending data have not finished");
  EXPECT_FALSE(f->SendCommand(cmd::kVersion, 0, nullptr, 0, true));
  ASSERT_TRUE(WaitUntil([&] { return set->isEnabled(); }, 6000));
  EXPECT_NEAR(static_cast<double>(MsSince(start)), 4000.0, 600.0);
  EXPECT_EQ(f->m_nJobType.load(), 0);
  EXPECT_TRUE(WaitUntil([&] { return f->m_bSending.load() == 0; }, 500));
}

TEST_F(WorkerTest, PositionAndBezelAnswersReachTheirSeams) {
  EmbeddedSim sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  f->Connection().ConnectNet("127.0.0.1", sim.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoHas(*f, "Connect NET success!"); }));
  const sim::State state = sim.Server().GetState();
  const auto& g = state.setUp.geometry[2];

  // Window adjustment of CH3: the answer opens the position dialog.
  f->m_nCurpod = 2;
  BuildFrame(g_TxBuf, nullptr, 0, cmd::kQueryPosition, 2);
  f->NoteCommand(cmd::kQueryPosition, 0);
  f->m_nReplyStatus = kReplyPending;
  f->m_nJobType = kJobPosition;
  bool opened = false;
  dialogs.ExpectDialog("176", [&](QDialog& d) {
    opened = true;
    EXPECT_EQ(BoxText(d, 1097), QStringLiteral("3"));   // Channel:
    EXPECT_EQ(BoxText(d, 1111), QString::number(g.x));  // Left:
    EXPECT_EQ(BoxText(d, 1118), QString::number(g.y));  // Top:
    EXPECT_EQ(BoxText(d, 1112), QString::number(g.x + g.w));
    EXPECT_EQ(BoxText(d, 1119), QString::number(g.y + g.h));
    return kIdOk;
  });
  f->StartSendWorker();
  ASSERT_TRUE(WaitUntil([&] { return opened; }));
  EXPECT_EQ(f->Replies().m_nPosW, g.w);
  EXPECT_EQ(f->Replies().m_nPosH, g.h);
  EXPECT_EQ(f->m_nReplyStatus.load(), kReplyAnswered);

  // The bezel query: the panel's seam gets the values.
  int shownH = -1, shownV = -1;
  f->Replies().SetShowBezel([&](int h, int v) {
    shownH = h;
    shownV = v;
  });
  const std::uint8_t set[2] = {48, 30};  // 48 is the largest bezel shown as it is
  f->SendCommand(cmd::kBezel, cmd::kSubBezelSet, set, 2);
  Pump(100);
  ASSERT_TRUE(WaitUntil([&] { return f->m_bSending.load() == 0; }));
  BuildFrame(g_TxBuf, nullptr, 0, cmd::kBezel, cmd::kSubBezelQuery);
  f->NoteCommand(cmd::kBezel, 0);
  f->m_nJobType = kJobBezel;
  f->StartSendWorker();
  ASSERT_TRUE(WaitUntil([&] { return shownH >= 0; }));
  EXPECT_EQ(shownH, 48);
  EXPECT_EQ(shownV, 30);

  // A value above 48 is shown as 0; an answer with another sub-code is not read.
  std::uint8_t answer[16] = {0x7D, 0x3A, 0x00, 0x07, 0x53, 0x00, 0x00, 0x00,
                             0x00, 49,   12,   0,    0x45, 0x4E, 0x44};
  f->Replies().OnDeviceData(answer, 15);
  EXPECT_EQ(shownH, 0);
  EXPECT_EQ(shownV, 12);
  answer[5] = 1;
  answer[10] = 5;
  f->Replies().OnDeviceData(answer, 15);
  EXPECT_EQ(shownV, 12);
}

TEST_F(WorkerTest, APositionQueryWithoutAnswerOrConnectionOpensNoDialog) {
  // Not connected: status 2 at once, no dialog (ScriptedDialogs would fail).
  BuildFrame(g_TxBuf, nullptr, 0, cmd::kQueryPosition, 0);
  f->NoteCommand(cmd::kQueryPosition, 0);
  f->m_nReplyStatus = kReplyPending;
  f->m_nJobType = kJobPosition;
  f->StartSendWorker();
  ASSERT_TRUE(WaitUntil([&] { return f->m_nReplyStatus.load() == kReplyNotConnected; }));
  EXPECT_EQ(f->m_bSending.load(), 0);

  // A block too short for the answer bytes is not read as a position.
  f->NoteCommand(cmd::kQueryPosition, 0);
  const std::uint8_t shortBlock[12] = {0x7D, 0x3A, 0x00, 0x05, 0x31, 0x00,
                                       0x00, 0x00, 0x00, 0x01, 0x02, 0x03};
  f->Replies().OnDeviceData(shortBlock, sizeof shortBlock);
  EXPECT_EQ(f->Replies().m_nPosX, 0);
  EXPECT_EQ(f->m_nReplyStatus.load(), kReplyAnswered);  // reset at the end of every block
}

// Workers hand calls over all at once: each runs once, on the user-interface
// thread, in each worker's order, and what it wrote is what the worker reads
// after Send (checked for real under ThreadSanitizer). Nothing queued runs
// after the hand-over is gone.
TEST(UiHandOver, CallsFromManyWorkersRunInOrderOnTheUiThread) {
  QObject target;
  std::vector<int> seen;  // written only on the user-interface thread
  int last[3] = {-1, -1, -1};
  bool inOrder = true;
  {
    CUiHandOver hand(&target);
    std::vector<std::thread> workers;
    std::atomic<int> done{0};
    for (int w = 0; w < 3; ++w)
      workers.emplace_back([&, w] {
        for (int i = 0; i < 200; ++i) {
          int written = -1;  // plain memory, handed over by Send alone
          auto note = [&, w, i] {
            inOrder = inOrder && last[w] == i - 1;
            last[w] = i;
            seen.push_back(w);
          };
          if (i % 2 == 0) {
            EXPECT_TRUE(hand.Send([&, note] {
              note();
              written = i;
            }));
            EXPECT_EQ(written, i);
          } else {
            hand.Post(note);
          }
        }
        ++done;
      });
    ASSERT_TRUE(WaitUntil([&] { return done.load() == 3 && seen.size() == 600; }, 20000));
    for (auto& t : workers) t.join();
    hand.Post([&] { seen.push_back(-1); });
  }
  Pump(20);
  EXPECT_EQ(seen.size(), 600U);
  EXPECT_TRUE(inOrder);
}

TEST(UiHandOver, WithoutADescriptorForItsWakeUpItRefusesInsteadOfAborting) {
  QObject target;
  // One made first, so that a sanitizer's type check (which needs a
  // descriptor of its own) has seen the type before none are left.
  EXPECT_TRUE(CUiHandOver(&target).Ok());
  std::unique_ptr<CUiHandOver> hand;
  {
    FileLimit none(0);
    ASSERT_TRUE(none.Ok());
    hand = std::make_unique<CUiHandOver>(&target);
  }
  EXPECT_FALSE(hand->Ok());
  EXPECT_NE(hand->Error().find("eventfd: Too many open files"), std::string::npos) << hand->Error();
  // Closed from the start: a worker's call returns at once, nothing runs.
  bool ran = false;
  std::thread worker([&] { EXPECT_FALSE(hand->Send([&] { ran = true; })); });
  worker.join();
  hand->Post([&] { ran = true; });
  Pump(20);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(CUiHandOver(&target).Ok());  // descriptors back: it works again
}
