#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "model/ModeTable.h"
#include "model/Paths.h"
#include "model/Profile.h"

using namespace panora;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class TempDir {
 public:
  TempDir() {
    std::string t = (fs::temp_directory_path() / "panora-model-XXXXXX").string();
    path_ = ::mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

Bytes Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

CProfile Custom() {
  CProfile p;
  p.ResetAllSlots();
  p.m_nToolMode[2] = 27;
  p.m_strModeName[0] = "Lobby \u00E9";
  p.m_DataPrm[5].m_bSaved = 1;
  p.m_DataPrm[5].m_nAllOutRes = 4;
  return p;
}

Bytes Encode(const CProfile& p) {
  Bytes b;
  EXPECT_TRUE(EncodeProfile(p, b));
  return b;
}

std::size_t FilesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(ProfileFile, WriteThenReadSetsThePath) {
  TempDir dir;
  const CProfile p = Custom();
  ProfileError e;
  ASSERT_TRUE(WriteProfile(dir / "a.cfg", p, &e)) << e.message;
  EXPECT_EQ(Slurp(dir / "a.cfg"), Encode(p));
  EXPECT_EQ(FilesIn(dir.path()), 1u);  // no temporary file left behind

  CProfile q;
  ASSERT_TRUE(ReadProfile(dir / "a.cfg", q, &e)) << e.message;
  EXPECT_EQ(q.m_strProfilePath, dir / "a.cfg");
  EXPECT_EQ(Encode(q), Encode(p));
}

TEST(ProfileFile, ABrokenFileLeavesTheProfileAlone) {
  TempDir dir;
  Bytes b = Encode(Custom());
  b.resize(5000);
  Spit(dir / "broken.cfg", b);
  CProfile q;
  q.m_strProfilePath = "previous.cfg";
  const Bytes before = Encode(q);
  ProfileError e;
  EXPECT_FALSE(ReadProfile(dir / "broken.cfg", q, &e));
  EXPECT_EQ(Encode(q), before);
  EXPECT_EQ(q.m_strProfilePath, "previous.cfg");
  EXPECT_FALSE(ReadProfile(dir / "missing.cfg", q, &e));
  EXPECT_NE(e.message.find("No such file"), std::string::npos) << e.message;
  EXPECT_FALSE(ReadProfile(dir.path(), q, &e));  // a folder
  EXPECT_EQ(Encode(q), before);
}

TEST(ProfileFile, AHugeFileIsReadOnlyAsFarAsAProfileGoes) {
  TempDir dir;
  const std::string path = dir / "big.cfg";
  const std::size_t size = Encode(Custom()).size();
  Spit(path, Encode(Custom()));
  ASSERT_EQ(::truncate(path.c_str(), 1LL << 30), 0);  // sparse: 1 GiB of zeros after the profile
  CProfile q;
  std::vector<std::string> notes;
  ASSERT_TRUE(ReadProfile(path, q, nullptr, &notes));
  EXPECT_EQ(Encode(q), Encode(Custom()));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], std::to_string((1ULL << 30) - size) + " bytes after the last record are ignored");
}

TEST(ProfileFile, WritingKeepsModeAndFollowsLinks) {
  TempDir dir;
  const std::string real = dir / "real.cfg";
  Spit(real, {1, 2, 3});
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_symlink(real, dir / "link.cfg");
  ASSERT_TRUE(WriteProfile(dir / "link.cfg", Custom()));
  EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
  EXPECT_EQ(Slurp(real), Encode(Custom()));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ProfileFile, AFailedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir / "keep.cfg";
  const CProfile old = Custom();
  ASSERT_TRUE(WriteProfile(path, old));
  const Bytes before = Slurp(path);

  CProfile changed = Custom();
  changed.m_strModeName.assign(300, std::string(200, 'n'));  // about 60 KB

  // A full disk, as a file size limit (which binds root too).
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 8192;
  auto* previous = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ProfileError e;
  const bool wrote = WriteProfile(path, changed, &e);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_FALSE(wrote);
  EXPECT_NE(e.message.find("cannot write"), std::string::npos) << e.message;
  EXPECT_EQ(Slurp(path), before);
  EXPECT_EQ(FilesIn(dir.path()), 1u);

  // A folder where the file should be.
  fs::create_directory(dir / "folder.cfg");
  EXPECT_FALSE(WriteProfile(dir / "folder.cfg", changed, &e));
  EXPECT_EQ(FilesIn(dir.path()), 2u);

  // A name no profile can hold fails before the file is touched.
  changed.m_strModeName[0] = "\u4E2D";
  EXPECT_FALSE(WriteProfile(path, changed, &e));
  EXPECT_EQ(Slurp(path), before);
}

TEST(ProfileFile, AReadOnlyFolderFailsTheWriteAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir / "ro.cfg";
  ASSERT_TRUE(WriteProfile(path, Custom()));
  const Bytes before = Slurp(path);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  // Root writes into read-only folders: then the write is tried as "nobody",
  // in a child process, so that CI (which runs as root) checks it too.
  auto attempt = [&] {
    ProfileError e;
    const bool wrote = WriteProfile(path, CProfile{}, &e);
    return !wrote && e.message.find("Permission denied") != std::string::npos;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(attempt());
  } else {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(dropped ? (attempt() ? 0 : 1) : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write did not fail as it should; 2: could not become nobody";
  }
  EXPECT_EQ(Slurp(path), before);
}

TEST(ProfileFile, StartUpAndExitRules) {
  TempDir dir;
  const std::string startup = dir / "default.cfg";

  // No start-up profile: records reset, buttons and names keep their defaults, no path.
  CProfile p;
  EXPECT_FALSE(LoadStartupProfile(p, startup));
  CProfile expected;
  expected.ResetAllSlots();
  EXPECT_EQ(Encode(p), Encode(expected));
  EXPECT_TRUE(p.m_strProfilePath.empty());

  // The exit save goes to the start-up path, which becomes the profile's path.
  p.m_nToolMode[0] = 3;
  ASSERT_TRUE(SaveProfileAtExit(p, startup));
  EXPECT_EQ(p.m_strProfilePath, startup);

  CProfile next;
  EXPECT_TRUE(LoadStartupProfile(next, startup));
  EXPECT_EQ(next.m_nToolMode[0], 3);
  EXPECT_EQ(next.m_strProfilePath, startup);

  // After another file was saved, the exit save goes there, not to default.cfg.
  ASSERT_TRUE(SaveProfileTo(next, dir / "other.cfg"));
  next.m_nToolMode[0] = 4;
  ASSERT_TRUE(SaveProfileAtExit(next, startup));
  CProfile check;
  ASSERT_TRUE(ReadProfile(startup, check));
  EXPECT_EQ(check.m_nToolMode[0], 3);
  ASSERT_TRUE(ReadProfile(dir / "other.cfg", check));
  EXPECT_EQ(check.m_nToolMode[0], 4);

  // A broken start-up profile resets the records but keeps buttons and names.
  Spit(startup, {1, 2, 3});
  CProfile broken;
  broken.m_DataPrm[2].m_nAllOutRes = 5;
  EXPECT_FALSE(LoadStartupProfile(broken, startup));
  EXPECT_EQ(broken.m_DataPrm[2].m_nAllOutRes, 0);
  EXPECT_EQ(broken.m_DataPrm[2].m_bySlot, 2);
}

TEST(Paths, BaseFolderChoice) {
  EXPECT_EQ(ChooseBaseFolder("/opt/p", "/usr/bin", true, "/x", "/home/u"), "/opt/p");
  EXPECT_EQ(ChooseBaseFolder("", "/srv/panora", true, "/x", "/home/u"), "/srv/panora");
  EXPECT_EQ(ChooseBaseFolder(nullptr, "/usr/bin", false, "/data", "/home/u"), "/data/panora");
  EXPECT_EQ(ChooseBaseFolder(nullptr, "/usr/bin", false, "", "/home/u"), "/home/u/.local/share/panora");
  EXPECT_EQ(ChooseBaseFolder(nullptr, "/usr/bin", false, "relative", "/home/u"),
            "/home/u/.local/share/panora");
  EXPECT_EQ(ChooseBaseFolder(nullptr, "", true, nullptr, "/home/u"), "/home/u/.local/share/panora");
}

TEST(Paths, DataFolderIsCreatedInPanoraHome) {
  TempDir dir;
  const char* old = std::getenv("PANORA_HOME");
  const std::string saved = old != nullptr ? old : "";
  const std::string home = dir / "nested/home";
  ::setenv("PANORA_HOME", home.c_str(), 1);
  EXPECT_EQ(BaseFolder(), home);
  EXPECT_EQ(DataFolder(), home + "/VideoLib");
  EXPECT_TRUE(fs::is_directory(home + "/VideoLib"));
  EXPECT_EQ(StartupProfilePath(), home + "/VideoLib/default.cfg");
  EXPECT_EQ(NetSettingsPath(), home + "/VideoLibconfig.ini");
  ::unsetenv("PANORA_HOME");
  EXPECT_EQ(BaseFolder(), ExecutableFolder());  // the test's own folder is writable
  EXPECT_EQ(ExecutableFolder(), PANORA_BIN_DIR);
  if (old != nullptr) ::setenv("PANORA_HOME", saved.c_str(), 1);
}
