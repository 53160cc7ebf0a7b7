#include "link/SerialPorts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "link/LinkTestSupport.h"

using namespace panora;
namespace fs = std::filesystem;

namespace {
// A stand-in for /sys/class/tty with devices on a USB bus and elsewhere, and
// for /dev, where only the names a test gives a node (a pseudo-terminal) exist.
class FakeClass {
 public:
  FakeClass() {
    char tmpl[] = "/tmp/panora-tty-XXXXXX";
    m_root = ::mkdtemp(tmpl);
    ::chmod(m_root.c_str(), 0755);  // readable by everybody, as /sys and /dev are
    fs::create_directories(m_root + "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    fs::create_directories(m_root + "/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1");
    fs::create_directories(m_root + "/devices/platform/serial8250");
    fs::create_directories(m_root + "/devices/pci0000:00/usbmisc0");  // not a bus number
    fs::create_directories(m_root + "/class");
    fs::create_directories(m_root + "/dev");
    Add("ttyUSB10", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    Add("ttyUSB2", "devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1");
    Add("ttyACM0", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    Add("ttyPNRS0", "devices/platform/serial8250");
    Add("ttyX9", "devices/pci0000:00/usbmisc0");
    fs::create_directories(m_root + "/class/tty0");  // a virtual terminal: no device link
    SetSerialClassRoot(m_root + "/class");
    SetSerialDevRoot(m_root + "/dev");
  }
  ~FakeClass() {
    SetSerialClassRoot("/sys/class/tty");
    SetSerialDevRoot("/dev");
    ClearExtraSerialPorts();
    fs::remove_all(m_root);
  }
  void Add(const std::string& name, const std::string& target) {
    fs::create_directories(m_root + "/class/" + name);
    fs::create_directory_symlink(m_root + "/" + target, m_root + "/class/" + name + "/device");
  }
  // Gives the name a device node: the pseudo-terminal's.
  std::string Node(const std::string& name, const std::string& device) {
    fs::create_symlink(device, m_root + "/dev/" + name);
    return m_root + "/dev/" + name;
  }
  std::string Dev(const std::string& name) const { return m_root + "/dev/" + name; }
  // A lasting name as udev makes it: a link relative to /dev/serial/by-id.
  std::string ById(const std::string& id, const std::string& name) {
    fs::create_directories(m_root + "/dev/serial/by-id");
    fs::create_symlink("../../" + name, m_root + "/dev/serial/by-id/" + id);
    return m_root + "/dev/serial/by-id/" + id;
  }

 private:
  std::string m_root;
};

// The port list as an ordinary user (nobody) sees it, listed in a child process.
std::vector<SerialPortEntry> ListAsNobody() {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    std::string text;
    for (const SerialPortEntry& e : ListSerialPortEntries())
      text += e.path + (e.noPermission ? " -\n" : " +\n");
    const bool ok = ::write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(ok ? 0 : 1);
  }
  ::close(out[1]);
  std::string text;
  char buf[512];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  ::close(out[0]);
  ::waitpid(child, nullptr, 0);
  std::vector<SerialPortEntry> entries;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    const std::string line = text.substr(pos, end - pos);
    entries.push_back({line.substr(0, line.size() - 2), line.back() == '-'});
    pos = end + 1;
  }
  return entries;
}
}  // namespace

TEST(SerialPorts, UsbPortsComeFromTheBusInNaturalOrderThenTheExtras) {
  FakeClass fake;
  test::Pty a, b;
  AddExtraSerialPort(a.slave, true);
  AddExtraSerialPort(b.slave, false);
  const auto usb = ListUsbSerialPorts();
  ASSERT_TRUE(usb.has_value());
  EXPECT_EQ(*usb, (std::vector<std::string>{fake.Dev("ttyACM0"), fake.Dev("ttyUSB2"), fake.Dev("ttyUSB10"),
                                            a.slave}));
}

TEST(SerialPorts, AllPortsListOnlyDevicesThatExistBusyOnesIncluded) {
  FakeClass fake;
  test::Pty acm, usb, extra;
  test::BusyPty busy;
  const std::string acmNode = fake.Node("ttyACM0", acm.slave);
  const std::string usbNode = fake.Node("ttyUSB2", usb.slave);
  const std::string busyNode = fake.Node("ttyPNRS0", busy.slave);
  fake.Node("ttyX9", "/nonexistent/panora-node");  // a node whose device has gone
  AddExtraSerialPort(extra.slave, false);
  AddExtraSerialPort(fake.Dev("ttyGone"), true);  // an extra port unplugged since
  // ttyUSB10 has no node at all.
  EXPECT_EQ(ListSerialPorts(), (std::vector<std::string>{acmNode, busyNode, usbNode, extra.slave}));
}

TEST(SerialPorts, APortThisUserMayNotOpenIsListedAndMarked) {
  FakeClass fake;
  test::Pty open, closed;
  ::chmod(open.slave.c_str(), 0666);
  ::chmod(closed.slave.c_str(), 0000);
  const std::string openNode = fake.Node("ttyUSB2", open.slave);
  const std::string closedNode = fake.Node("ttyUSB10", closed.slave);
  const auto entries = ListAsNobody();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, openNode);
  EXPECT_FALSE(entries[0].noPermission);
  EXPECT_EQ(entries[1].path, closedNode);
  EXPECT_TRUE(entries[1].noPermission);
}

TEST(SerialPorts, AnUnreadableDeviceListMeansNoUsbSearch) {
  FakeClass fake;
  SetSerialClassRoot("/nonexistent/panora");
  EXPECT_FALSE(ListUsbSerialPorts().has_value());
  // A readable list without USB devices is an empty search, not a missing list.
  char tmpl[] = "/tmp/panora-tty-empty-XXXXXX";
  const std::string empty = ::mkdtemp(tmpl);
  SetSerialClassRoot(empty);
  const auto usb = ListUsbSerialPorts();
  ASSERT_TRUE(usb.has_value());
  EXPECT_TRUE(usb->empty());
  fs::remove_all(empty);
}

TEST(SerialPorts, LastingByIdNamesComeWithThePortTheyLeadTo) {
  FakeClass fake;
  test::Pty acm, usb;
  const std::string acmNode = fake.Node("ttyACM0", acm.slave);
  const std::string usbNode = fake.Node("ttyUSB2", usb.slave);
  const std::string b = fake.ById("usb-Maker_B_Serial-if00-port0", "ttyUSB2");
  const std::string a = fake.ById("usb-Maker_A_Serial-if00-port0", "ttyUSB2");
  const std::string acmId = fake.ById("usb-Maker_Acm_123-if00", "ttyACM0");
  fake.ById("usb-Gone-if00", "ttyUSB10");  // its device is not there
  const auto entries = ListSerialPortEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, acmNode);
  EXPECT_EQ(entries[0].byId, std::vector<std::string>{acmId});
  EXPECT_EQ(entries[1].path, usbNode);
  EXPECT_EQ(entries[1].byId, (std::vector<std::string>{a, b}));
  // The plain list stays one path per device.
  EXPECT_EQ(ListSerialPorts(), (std::vector<std::string>{acmNode, usbNode}));
}

TEST(SerialPorts, ATypedPathIsUsedOnlyWhenItIsATerminalDevice) {
  FakeClass fake;
  test::Pty pty;
  const std::string node = fake.Node("ttyACM0", pty.slave);
  EXPECT_EQ(TypedSerialPath("  ttyACM0 "), node);  // a bare name is looked for in /dev
  EXPECT_EQ(TypedSerialPath(pty.slave + "\t"), pty.slave);
  EXPECT_EQ(TypedSerialPath("   "), "");

  EXPECT_EQ(SerialDeviceProblem(node), "");  // through a link, as the simulator's --pty
  EXPECT_EQ(SerialDeviceProblem(pty.slave), "");
  EXPECT_EQ(SerialDeviceProblem(fake.Dev("ttyUSB9")), "it does not exist");
  EXPECT_EQ(SerialDeviceProblem(fake.Dev("ttyACM0/x")), "it does not exist");
  EXPECT_EQ(SerialDeviceProblem(fake.Dev("")), "it is a folder");
  EXPECT_EQ(SerialDeviceProblem("/proc/self/status"), "it is an ordinary file, not a device");
  EXPECT_EQ(SerialDeviceProblem("/dev/null"), "it is not a serial device (no terminal)");
  // Held exclusively by another program: a serial device all the same, and
  // opening it says that it is taken.
  test::BusyPty busy;
  ASSERT_TRUE(busy.Held());
  EXPECT_EQ(SerialDeviceProblem(busy.slave), "");
}
