#include "link/SerialPorts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "link/LinkTestSupport.h"

using namespace panora;
namespace fs = std::filesystem;

namespace {
// A stand-in for /sys/class/tty with devices on a USB bus and elsewhere.
class FakeClass {
 public:
  FakeClass() {
    char tmpl[] = "/tmp/panora-tty-XXXXXX";
    m_root = ::mkdtemp(tmpl);
    fs::create_directories(m_root + "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    fs::create_directories(m_root + "/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1");
    fs::create_directories(m_root + "/devices/platform/serial8250");
    fs::create_directories(m_root + "/devices/pci0000:00/usbmisc0");  // not a bus number
    fs::create_directories(m_root + "/class");
    Add("ttyUSB10", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    Add("ttyUSB2", "devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1");
    Add("ttyACM0", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    Add("ttyPNRS0", "devices/platform/serial8250");
    Add("ttyX9", "devices/pci0000:00/usbmisc0");
    fs::create_directories(m_root + "/class/tty0");  // a virtual terminal: no device link
    SetSerialClassRoot(m_root + "/class");
  }
  ~FakeClass() {
    SetSerialClassRoot("/sys/class/tty");
    ClearExtraSerialPorts();
    fs::remove_all(m_root);
  }
  void Add(const std::string& name, const std::string& target) {
    fs::create_directories(m_root + "/class/" + name);
    fs::create_directory_symlink(m_root + "/" + target, m_root + "/class/" + name + "/device");
  }
  std::string Root() const { return m_root; }

 private:
  std::string m_root;
};
}  // namespace

TEST(SerialPorts, UsbPortsComeFromTheBusInNaturalOrderThenTheExtras) {
  FakeClass fake;
  test::Pty a, b;
  AddExtraSerialPort(a.slave, true);
  AddExtraSerialPort(b.slave, false);
  const auto usb = ListUsbSerialPorts();
  ASSERT_TRUE(usb.has_value());
  EXPECT_EQ(*usb, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10", a.slave}));
}

TEST(SerialPorts, AllPortsListOnlyDevicesThatExistBusyOnesIncluded) {
  FakeClass fake;  // its names have no device node here, so none is listed
  test::Pty a, gone;
  const std::string goneName = gone.slave;
  gone.CloseMaster();  // its slave node disappears with the master
  AddExtraSerialPort(a.slave, false);
  AddExtraSerialPort(goneName, true);
  EXPECT_EQ(ListSerialPorts(), std::vector<std::string>{a.slave});
}

TEST(SerialPorts, AnUnreadableDeviceListMeansNoUsbSearch) {
  SetSerialClassRoot("/nonexistent/panora");
  EXPECT_FALSE(ListUsbSerialPorts().has_value());
  SetSerialClassRoot("/sys/class/tty");
  // The real system list is readable here (it may well be empty of USB).
  EXPECT_TRUE(ListUsbSerialPorts().has_value());
}
