#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "FileTestSupport.h"
#include "link/PrivateProfile.h"

using namespace panora;
namespace fs = std::filesystem;

namespace {
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/panora-ini-XXXXXX";
    m_path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
  }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};
std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void Put(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}
}  // namespace

TEST(PrivateProfile, ReadsWithoutRegardToCaseAndFallsBackToDefaults) {
  TempDir dir;
  const std::string ini = dir.File("a.ini");
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP0", 192, ini), 192);  // no file
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "4001", ini), "4001");
  Put(ini,
      "; comment\r\n[ip ADDRESS]\r\n ip0 = 10\r\nIP1=7abc\r\nIP2=abc\r\nIP3=-3\r\n[IP "
      "port]\r\nPORT=\"5000\"\r\n"
      "[Other]\r\nIP0=99\r\n");
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP0", 1, ini), 10);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP1", 1, ini), 7);  // leading digits
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP2", 1, ini), 0);  // present, no digits
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP3", 1, ini), -3);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP9", 1, ini), 1);  // absent key
  EXPECT_EQ(GetPrivateProfileInt("Missing", "IP0", 1, ini), 1);     // absent section
  EXPECT_EQ(GetPrivateProfileString("ip port", "port", "4001", ini), "5000");
  EXPECT_EQ(GetPrivateProfileString("ip port", "port", "4001", ini, 3), "50");  // buffer of 3
}

TEST(PrivateProfile, WritesCreateTheFileAndKeepEverythingElse) {
  TempDir dir;
  const std::string ini = dir.File("b.ini");
  ASSERT_TRUE(WritePrivateProfileString("IP port", "port", "4001", ini));
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "", ini), "4001");
  Put(ini, "; keep me\n[First]\nA=1\n\n[IP Port]\nPort=1\nOther=x\n[Last]\nZ=9\n");
  ASSERT_TRUE(WritePrivateProfileString("ip port", "PORT", "5000", ini));  // replaced in place
  ASSERT_TRUE(WritePrivateProfileString("first", "B", "2", ini));          // added to its section
  ASSERT_TRUE(WritePrivateProfileString("New", "k", "v", ini));            // new section at the end
  EXPECT_EQ(Slurp(ini),
            "; keep me\n[First]\nA=1\nB=2\n\n[IP Port]\nPORT=5000\nOther=x\n[Last]\nZ=9\n[New]\nk=v\n");
  // A folder that cannot be written fails quietly and leaves nothing behind.
  EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", dir.File("no/such/dir.ini")));
}

TEST(NetSettingsFile, DefaultsThenWhatOkWroteOnTheNextStart) {
  TempDir dir;
  const std::string path = NetSettingsPath(dir.File("VideoLib"));
  EXPECT_EQ(path, dir.File("VideoLibconfig.ini"));
  NetSettings first = ReadNetSettings(path);  // first start: no file
  EXPECT_EQ(first.IpText(), "192.168.0.178");
  EXPECT_EQ(first.port, "4001");

  NetSettings chosen;
  const std::uint8_t ip[4] = {10, 0, 0, 5};
  std::copy(ip, ip + 4, chosen.ip);
  chosen.port = "5000";
  ASSERT_TRUE(WriteNetSettings(path, chosen));
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP0", -1, path), 10);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP1", -1, path), 0);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP2", -1, path), 0);
  EXPECT_EQ(GetPrivateProfileInt("IP address", "IP3", -1, path), 5);
  EXPECT_EQ(GetPrivateProfileString("IP port", "port", "", path), "5000");
  const NetSettings next = ReadNetSettings(path);
  EXPECT_EQ(next.IpText(), "10.0.0.5");
  EXPECT_EQ(next.port, "5000");

  // Values keep their low eight bits; missing keys in an existing file take
  // the defaults.
  Put(path, "[IP address]\nIP0=300\n");
  const NetSettings odd = ReadNetSettings(path);
  EXPECT_EQ(odd.IpText(), "44.168.0.178");
  EXPECT_EQ(odd.port, "4001");
}

// Written through a link, the settings file keeps the link and its mode, and
// the other sections stay.
TEST(NetSettingsFile, WritingFollowsLinksAndKeepsModeAndOtherSections) {
  TempDir dir;
  const std::string real = dir.File("real.ini"), path = dir.File("VideoLibconfig.ini");
  Put(real, "[Mine]\nkeep=1\n[IP port]\nport=1\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_symlink("real.ini", path);
  NetSettings s;
  s.port = "5000";
  ASSERT_TRUE(WriteNetSettings(path, s));
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(Slurp(real),
            "[Mine]\nkeep=1\n[IP port]\nport=5000\n[IP address]\nIP0=192\nIP1=168\nIP2=0\nIP3=178\n");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

// A settings file that is there but cannot be read (no read permission, a
// FIFO) is never written: its other sections would be lost. Reading it gives
// the defaults at once.
TEST(NetSettingsFile, AFileThatCannotBeReadIsNotWritten) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string path = dir.File("VideoLibconfig.ini"), fifo = dir.File("fifo.ini");
  Put(path, "[Mine]\nkeep=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0222), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  panora::test::Deadline deadline(20);
  RUN_AS_UNPRIVILEGED([&] {
    NetSettings s;
    s.port = "5000";
    return !WriteNetSettings(path, s) && !WritePrivateProfileString("IP port", "port", "1", path) &&
           !WriteNetSettings(fifo, s) && ReadNetSettings(fifo).port == "4001";
  });
  EXPECT_EQ(Slurp(path), "[Mine]\nkeep=1\n");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// Two writers at once never share a temporary file: every write lands whole.
TEST(NetSettingsFile, ConcurrentWritersDoNotCollide) {
  TempDir dir;
  const std::string path = dir.File("VideoLibconfig.ini");
  std::atomic<int> failures{0};
  auto writer = [&](const char* key) {
    for (int i = 0; i < 200; ++i)
      if (!WritePrivateProfileString("Race", key, std::to_string(i), path)) ++failures;
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  // The last write of each is there unless the other writer's read came first.
  const std::string text = Slurp(path);
  EXPECT_EQ(text.rfind("[Race]\n", 0), 0u) << text;
}
