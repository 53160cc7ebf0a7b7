// The connection dialogs: the network settings file between runs, the
// address control, and the port list of "RS232".
#include <sys/ioctl.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LinkGuiSupport.h"
#include "link/LinkTestSupport.h"
#include "link/PrivateProfile.h"
#include "model/Paths.h"

using namespace panora;
using namespace panora::test;

namespace {

QStringList Fields(CDlgNet& dlg) {
  QStringList out;
  for (int i = 0; i < 4; ++i) out << dlg.AddressCtrl()->Field(i)->text();
  return out;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

TEST(NetDialog, FirstStartShowsTheDefaultsOkWritesTheFileAndTheNextStartShowsIt) {
  TempHome home;
  const std::string path = NetSettingsPath();
  EXPECT_EQ(path, home.Path() + "/VideoLibconfig.ini");
  ASSERT_FALSE(std::filesystem::exists(path));
  {
    CDlgNet dlg(path);
    EXPECT_EQ(dlg.objectName(), "181");
    EXPECT_EQ(dlg.windowTitle(), "IP SET");
    EXPECT_EQ(Fields(dlg), (QStringList{"192", "168", "0", "178"}));
    EXPECT_EQ(dlg.PortEdit()->text(), "4001");
    dlg.reject();  // Cancel writes nothing
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    CDlgNet dlg(path);
    EnterAddress({"10", "0", "0", "5"}, "5000")(dlg);
    EXPECT_EQ(dlg.m_strIP, "10.0.0.5");
    EXPECT_EQ(dlg.m_strPort, "5000");
  }
  const std::string text = ReadText(path);
  EXPECT_NE(text.find("[IP address]"), std::string::npos) << text;
  EXPECT_NE(text.find("[IP port]"), std::string::npos) << text;
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP0", -1, path), 10);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP1", -1, path), 0);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP2", -1, path), 0);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP3", -1, path), 5);
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "", path), "5000");
  for (const char* line : {"IP0=10", "IP1=0", "IP2=0", "IP3=5", "port=5000"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

  CDlgNet next(path);
  EXPECT_EQ(Fields(next), (QStringList{"10", "0", "0", "5"}));
  EXPECT_EQ(next.PortEdit()->text(), "5000");
}

TEST(NetDialog, TheMenuCommandHandsTheDialogsValuesToTheNetworkLink) {
  TempHome home;
  ScriptedDialogs dialogs;
  CTesselApp app;
  ASSERT_TRUE(app.InitInstance());
  CMainFrame& f = *app.MainFrame();
  const std::string port = ClosedPort();
  dialogs.ExpectDialog("181", EnterAddress({"127", "0", "0", "1"}, QString::fromStdString(port)));
  f.Action(ID_CONN_TCPIP)->trigger();
  EXPECT_EQ(f.NetLink().NetIP(), "127.0.0.1");
  EXPECT_EQ(f.NetLink().NetPort(), port);
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "", NetSettingsPath()), port);
  EXPECT_TRUE(WaitUntil([&] { return InfoHas(f, "Connect NET fail!"); }));

  // Cancel: nothing happens, nothing is written.
  dialogs.ExpectDialog("181", [](QDialog&) { return kIdCancel; });
  f.SetConnectionCheck(1, true);
  f.Action(ID_CONN_TCPIP)->trigger();
  EXPECT_TRUE(Checked(f, ID_CONN_RS232));
  EXPECT_FALSE(f.TimerDots().isActive());
}

TEST(NetDialog, UnderSimulateItOffersTheSimulatorAndWritesItOnlyOnOk) {
  TempHome home;
  const std::string path = NetSettingsPath();
  NetSettings stored;
  stored.ip[0] = 10, stored.ip[1] = 0, stored.ip[2] = 0, stored.ip[3] = 5;
  stored.port = "5000";
  ASSERT_TRUE(WriteNetSettings(path, stored));
  const std::string before = ReadText(path);
  std::string simPort;
  {
    CTesselApp app;
    std::string error;
    ASSERT_TRUE(app.StartSimulator(error)) << error;
    simPort = std::to_string(app.SimulatorPort());
    {
      CDlgNet dlg(path);
      EXPECT_EQ(Fields(dlg), (QStringList{"127", "0", "0", "1"}));
      EXPECT_EQ(dlg.PortEdit()->text().toStdString(), simPort);
      auto* note = dlg.findChild<QLabel*>(QStringLiteral("offer"));
      ASSERT_NE(note, nullptr);
      EXPECT_EQ(note->text().toStdString(), "Simulated processor: 127.0.0.1, port " + simPort);
      dlg.reject();
    }
    EXPECT_EQ(ReadText(path), before);  // offered, not written
    CDlgNet dlg(path);
    dlg.accept();
  }
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP0", -1, path), 127);
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "", path), simPort);
  // Without the simulator the file's values are shown again.
  ASSERT_TRUE(WriteNetSettings(path, stored));
  CDlgNet after(path);
  EXPECT_EQ(Fields(after), (QStringList{"10", "0", "0", "5"}));
  EXPECT_FALSE(after.findChild<QLabel*>(QStringLiteral("offer"))->isVisibleTo(&after));
}

TEST(NetDialog, TheAddressControlKeepsFourFieldsOfZeroTo255) {
  CIpAddressCtrl ctrl;
  ctrl.show();
  auto focused = [&] { return ctrl.focusWidget(); };
  ctrl.Field(0)->setFocus();
  // Three digits move on; a dot moves on; a value above 255 cannot be typed.
  QTest::keyClicks(focused(), "10");
  QTest::keyClick(focused(), Qt::Key_Period);
  QTest::keyClicks(focused(), "256");
  QTest::keyClick(focused(), Qt::Key_Period);
  QTest::keyClicks(focused(), "255");
  QTest::keyClicks(focused(), "7");
  EXPECT_EQ(ctrl.Field(0)->text(), "10");
  EXPECT_EQ(ctrl.Field(1)->text(), "25");
  EXPECT_EQ(ctrl.Field(2)->text(), "255");
  EXPECT_EQ(ctrl.Field(3)->text(), "7");
  EXPECT_EQ(ctrl.Text(), "10.25.255.7");
  // Typed as one text, dots after three digits do not skip a field.
  ctrl.Field(0)->setFocus();
  ctrl.Field(0)->selectAll();
  for (char c : std::string("192.168.0.1")) QTest::keyClick(focused(), c);
  EXPECT_EQ(ctrl.Text(), "192.168.0.1");
  std::uint8_t a = 1, b = 1, c = 1, d = 1;
  ctrl.Field(1)->clear();
  EXPECT_EQ(ctrl.GetAddress(a, b, c, d), 3);  // a blank field counts as 0
  EXPECT_EQ(b, 0);
  EXPECT_EQ(a, 192);
  EXPECT_EQ(ctrl.Text(), "192.0.0.1");
  // Backspace in an empty field goes back to the one before.
  ctrl.Field(1)->setFocus();
  QTest::keyClick(ctrl.Field(1), Qt::Key_Backspace);
  EXPECT_EQ(focused(), ctrl.Field(0));
}

TEST(ComDialog, ListsThePortsThatExistBusyOnesIncludedAndThePortHeldOpen) {
  TempHome home;
  ClearExtraSerialPorts();
  SetSerialClassRoot(home.Path() + "/no-tty-class");
  Pty free1, busy;
  const int holder = ::open(busy.slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ::ioctl(holder, TIOCEXCL);  // others cannot open it now (unless root)
  AddExtraSerialPort(free1.slave, false);
  AddExtraSerialPort("/dev/no-such-port", false);
  AddExtraSerialPort(busy.slave, false);
  {
    CDlgCom dlg;
    EXPECT_EQ(dlg.objectName(), "153");
    EXPECT_EQ(dlg.windowTitle(), "RS232");
    EXPECT_EQ(dlg.m_strPorts, (std::vector<std::string>{free1.slave, busy.slave}));
    EXPECT_EQ(dlg.PortBox()->currentIndex(), 0);
    EXPECT_TRUE(dlg.PermissionHint()->isHidden());  // every port here may be opened
    dlg.reject();
    EXPECT_TRUE(dlg.m_strCom.empty());
  }
  {
    // The port this program holds is preselected; one opened by a path the
    // system does not list is added rather than closed.
    CDlgCom dlg(busy.slave);
    EXPECT_EQ(dlg.PortBox()->currentText().toStdString(), busy.slave);
    CDlgCom byPath("/tmp/some-link");
    EXPECT_EQ(byPath.PortBox()->currentText(), "/tmp/some-link");
    dlg.PortBox()->setCurrentIndex(0);
    dlg.accept();
    EXPECT_EQ(dlg.m_strCom, free1.slave);
  }
  ::close(holder);
  ClearExtraSerialPorts();
  SetSerialClassRoot("/sys/class/tty");
}

TEST(ComDialog, OffersLastingNamesBesideThePortAndTakesATypedTerminalDevice) {
  TempHome home;
  ScriptedDialogs dialogs;
  ClearExtraSerialPorts();
  SetSerialClassRoot(home.Path() + "/no-tty-class");
  const std::string dev = home.Path() + "/dev";
  std::filesystem::create_directories(dev + "/serial/by-id");
  SetSerialDevRoot(dev);
  Pty listed, unlisted;
  const std::string byId = dev + "/serial/by-id/usb-Maker_Model_0001-if00-port0";
  std::filesystem::create_symlink(listed.slave, byId);
  std::filesystem::create_symlink(unlisted.slave, dev + "/ttyPNR7");
  AddExtraSerialPort(listed.slave, false);
  {
    CDlgCom dlg;
    EXPECT_EQ(dlg.m_strPorts, (std::vector<std::string>{listed.slave, byId}));
    EXPECT_EQ(dlg.PortBox()->itemText(1).toStdString(), byId);
    EXPECT_TRUE(dlg.PortBox()->isEditable());
    // The lasting name held open is preselected as itself.
    CDlgCom held(byId);
    EXPECT_EQ(held.PortBox()->currentIndex(), 1);
    held.accept();
    EXPECT_EQ(held.m_strCom, byId);
  }
  // Typed: a pseudo-terminal the list does not show, by path or by bare name.
  for (const auto& [typed, device] : {std::pair{" " + unlisted.slave + " ", unlisted.slave},
                                      std::pair{std::string("ttyPNR7"), dev + "/ttyPNR7"}}) {
    CDlgCom dlg;
    dlg.PortBox()->setEditText(QString::fromStdString(typed));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strCom, device);
  }
  // Anything else is named with why, and the dialog stays for another try.
  std::ofstream(home.Path() + "/notes.txt") << "x";
  for (const auto& [typed, why] :
       {std::pair{std::string("/dev/null"), "/dev/null can not be used as a serial port: it is not a serial device (no terminal)."},
        std::pair{dev + "/ttyUSB0", "/ttyUSB0 can not be used as a serial port: it does not exist."},
        std::pair{home.Path() + "/notes.txt", "notes.txt can not be used as a serial port: it is an ordinary file"},
        std::pair{dev, "/dev can not be used as a serial port: it is a folder."},
        // A terminal, but opening it makes a new pseudo-terminal, no line.
        std::pair{std::string("/dev/ptmx"), "/dev/ptmx can not be used as a serial port: it makes a new pseudo-terminal"},
        std::pair{std::string("/dev/pts/ptmx"), "/dev/pts/ptmx can not be used as a serial port: it makes a new pseudo-terminal"}}) {
    CDlgCom dlg;
    dlg.PortBox()->setEditText(QString::fromStdString(typed));
    dialogs.ExpectBox(why);
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted) << typed;
    EXPECT_TRUE(dlg.m_strCom.empty()) << typed;
  }
  ClearExtraSerialPorts();
  SetSerialClassRoot("/sys/class/tty");
  SetSerialDevRoot("/dev");
}

TEST(ComDialog, ATypedDeviceIsOpenedAsTypedEvenWhenAListedOneBeginsLikeIt) {
  // Typing ".../ttyACM1" while ".../ttyACM10" is listed: the box must not
  // complete it to the listed device, neither for OK nor for Enter.
  TempHome home;
  ScriptedDialogs dialogs;
  ClearExtraSerialPorts();
  SetSerialClassRoot(home.Path() + "/no-tty-class");
  const std::string dev = home.Path() + "/dev";
  std::filesystem::create_directories(dev);
  SetSerialDevRoot(dev);
  Pty listed, typed;
  std::filesystem::create_symlink(listed.slave, dev + "/ttyACM10");
  std::filesystem::create_symlink(typed.slave, dev + "/ttyACM1");
  AddExtraSerialPort(dev + "/ttyACM10", false);
  {
    CDlgCom dlg;
    ASSERT_EQ(dlg.m_strPorts, std::vector<std::string>{dev + "/ttyACM10"});
    dlg.show();
    dlg.activateWindow();
    dlg.PortBox()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.PortBox()->lineEdit()->selectAll();
    QTest::keyClicks(dlg.PortBox()->lineEdit(), QString::fromStdString(dev + "/ttyACM1"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strCom, dev + "/ttyACM1") << "box shows " << dlg.PortBox()->currentText().toStdString();
  }
  // Enter as well, and a name that differs from a listed one in case only.
  std::filesystem::create_symlink(typed.slave, dev + "/ttyacm10");
  for (const std::string& name : {dev + "/ttyACM1", dev + "/ttyacm10"}) {
    CDlgCom dlg;
    dlg.show();
    dlg.activateWindow();
    dlg.PortBox()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.PortBox()->lineEdit()->selectAll();
    QTest::keyClicks(dlg.PortBox()->lineEdit(), QString::fromStdString(name));
    QTest::keyClick(dlg.PortBox()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted) << name;
    EXPECT_EQ(dlg.m_strCom, name);
  }
  ClearExtraSerialPorts();
  SetSerialClassRoot("/sys/class/tty");
  SetSerialDevRoot("/dev");
}
