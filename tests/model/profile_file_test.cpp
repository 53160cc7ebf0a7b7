#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FileTestSupport.h"
#include "link/SafeFile.h"
#include "model/ModeTable.h"
#include "model/Paths.h"
#include "model/Profile.h"
#include "model/RecentFiles.h"
#include "link/PrivateProfile.h"

using namespace panora;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using panora::test::Deadline;

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

  // A dangling link (relative, through a second link) gets its target
  // created; both links stay.
  fs::create_directory(dir / "sub");
  fs::create_symlink("sub/hop.cfg", dir / "dangling.cfg");
  fs::create_symlink("new.cfg", dir / "sub/hop.cfg");
  ASSERT_TRUE(WriteProfile(dir / "dangling.cfg", Custom()));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.cfg"));
  EXPECT_TRUE(fs::is_symlink(dir / "sub/hop.cfg"));
  EXPECT_EQ(Slurp(dir / "sub/new.cfg"), Encode(Custom()));
  EXPECT_EQ(FilesIn(dir / "sub"), 2u);
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

// Read-only (0444) and unreadable (0000) files are left alone, also by the
// exit save, whether or not their folder is writable; the error names the
// file and the reason.
TEST(ProfileFile, AFileTheUserMayNotWriteIsLeftAlone) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  const std::string ro = dir / "ro.cfg", none = dir / "default.cfg";
  Spit(ro, {1, 2, 3});
  Spit(none, {4, 5, 6});
  ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(none.c_str(), 0000), 0);
  struct stat before {};
  ASSERT_EQ(::stat(ro.c_str(), &before), 0);
  RUN_AS_UNPRIVILEGED([&] {
    ProfileError e1, e2;
    CProfile p;
    const bool refused = !WriteProfile(ro, Custom(), &e1) && !SaveProfileAtExit(p, none, &e2);
    return refused && e1.message == "cannot write " + ro + ": Permission denied; it is left as it is" &&
           e2.message.find(none) != std::string::npos;
  });
  EXPECT_EQ(Slurp(ro), (Bytes{1, 2, 3}));
  EXPECT_EQ(Slurp(none), (Bytes{4, 5, 6}));
  struct stat st {};
  ASSERT_EQ(::stat(ro.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, before.st_ino);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// A FIFO (or a link to one) where the file should be is refused, never
// replaced; a folder too.
TEST(ProfileFile, ATargetThatIsNotARegularFileIsRefused) {
  TempDir dir;
  const std::string fifo = dir / "fifo.cfg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_symlink("fifo.cfg", dir / "link.cfg");
  fs::create_directory(dir / "folder.cfg");
  Deadline deadline(20);
  for (const std::string name : {"fifo.cfg", "link.cfg", "folder.cfg"}) {
    ProfileError e;
    EXPECT_FALSE(WriteProfile(dir / name, Custom(), &e)) << name;
    EXPECT_NE(e.message.find(name + ": it is a "), std::string::npos) << e.message;
    EXPECT_NE(e.message.find(", not a regular file; it is left as it is"), std::string::npos) << e.message;
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
  EXPECT_TRUE(fs::is_directory(dir / "folder.cfg"));
  EXPECT_EQ(FilesIn(dir.path()), 3u);
}

// Readers refuse a FIFO without a writer and a device at once, without
// waiting; the start-up read too.
TEST(ProfileFile, ReadersRefuseFifosAndDevicesAtOnce) {
  TempDir dir;
  const std::string fifo = dir / "default.cfg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  Deadline deadline(20);
  CProfile p;
  ProfileError e;
  EXPECT_FALSE(ReadProfile(fifo, p, &e));
  EXPECT_EQ(e.message, "cannot read " + fifo + ": it is a FIFO, not a regular file");
  EXPECT_FALSE(ReadProfile("/dev/null", p, &e));
  EXPECT_EQ(e.message, "cannot read /dev/null: it is a character device, not a regular file");
  StartupNote note;
  EXPECT_FALSE(LoadStartupProfile(p, fifo, &e, &note));
  EXPECT_TRUE(note.unreadable);
  EXPECT_TRUE(note.copyPath.empty());
  EXPECT_FALSE(SaveProfileAtExit(p, fifo, &e));
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_FALSE(fs::exists(fifo + ".broken"));
}

// Where a temporary file cannot be renamed over the target (its folder is
// not writable; it is a mount point) but the file is writable, it is written
// in place: same file, permissions kept, and stderr says so.
TEST(ProfileFile, WritesInPlaceWhereOnlyThatIsPossible) {
  TempDir dir;
  const std::string path = dir / "shared.cfg";
  Spit(path, {1, 2, 3});
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  const std::string log = fs::temp_directory_path() / ("panora-inplace-" + std::to_string(::getpid()));
  RUN_AS_UNPRIVILEGED([&] {
    const int saved = ::dup(2);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(fd, 2);
    ::close(fd);
    const bool wrote = WriteProfile(path, Custom());
    ::dup2(saved, 2);
    ::close(saved);
    return wrote;
  });
  std::ifstream logFile(log);
  const std::string line((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  fs::remove(log);
  EXPECT_NE(line.find(path + " written in place: the folder " + dir.path() + " cannot take a temporary file"),
            std::string::npos)
      << line;
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_EQ(Slurp(path), Encode(Custom()));
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(ProfileFile, AFileBindMountedOnItsOwnIsWrittenInPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "bind mounts need root";
  TempDir dir;
  const std::string source = dir / "source.cfg", target = dir / "default.cfg";
  Spit(source, {1});
  Spit(target, {2});
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A mount namespace of its own, so that nothing outlives the child.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
      ::_exit(2);
    FileWriteResult r;
    const Bytes bytes = Encode(Custom());
    const bool wrote = WriteFileSafely(target, bytes, nullptr, &r);
    ::_exit(wrote && r.inPlace && Slurp(target) == bytes ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot bind-mount here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Slurp(source), Encode(Custom()));  // written through the mount
  EXPECT_EQ(Slurp(target), Bytes{2});
}

// Temporary files of a save that was killed are removed by the next save;
// one that a writer still holds, and names that are not ours, stay.
TEST(ProfileFile, TheNextSaveRemovesTemporaryFilesOfAKilledOne) {
  TempDir dir;
  const std::string path = dir / "default.cfg";
  for (const char* name :
       {".default.cfg.0a1b2c3d.tmp", ".default.cfg.ffffffff.tmp", ".default.cfg.12345678.tmp",
        ".default.cfg.1234567.tmp", ".other.cfg.0a1b2c3d.tmp", "default.cfg.0a1b2c3d.tmp"})
    Spit(dir / name, {9});
  const int held = ::open((dir / ".default.cfg.12345678.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a writer at work
  ASSERT_TRUE(WriteProfile(path, Custom()));
  ::close(held);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left,
            (std::vector<std::string>{".default.cfg.1234567.tmp", ".default.cfg.12345678.tmp",
                                      ".other.cfg.0a1b2c3d.tmp", "default.cfg", "default.cfg.0a1b2c3d.tmp"}));
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

  // A broken start-up profile resets the records but keeps buttons and names,
  // and a copy of it replaces an older one before the exit save replaces it.
  Spit(startup, {1, 2, 3});
  Spit(startup + ".broken", {7});
  CProfile broken;
  broken.m_DataPrm[2].m_nAllOutRes = 5;
  StartupNote note;
  EXPECT_FALSE(LoadStartupProfile(broken, startup, nullptr, &note));
  EXPECT_EQ(broken.m_DataPrm[2].m_nAllOutRes, 0);
  EXPECT_EQ(broken.m_DataPrm[2].m_bySlot, 2);
  EXPECT_TRUE(note.unreadable);
  EXPECT_EQ(note.copyPath, startup + ".broken");
  EXPECT_EQ(Slurp(startup + ".broken"), (Bytes{1, 2, 3}));
  ASSERT_TRUE(SaveProfileAtExit(broken, startup));
  EXPECT_EQ(Slurp(startup), Encode(broken));
  EXPECT_EQ(Slurp(startup + ".broken"), (Bytes{1, 2, 3}));

  // A missing one is no news.
  CProfile fresh;
  note = {};
  EXPECT_FALSE(LoadStartupProfile(fresh, dir / "none.cfg", nullptr, &note));
  EXPECT_FALSE(note.unreadable);
}

// When no copy of an unreadable start-up profile can be kept (here: its
// folder is not writable), no save replaces it.
TEST(ProfileFile, AnUnreadableStartupProfileWithoutACopyIsNeverOverwritten) {
  TempDir dir;
  const std::string startup = dir / "default.cfg";
  Spit(startup, {1, 2, 3});
  ASSERT_EQ(::chmod(startup.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  RUN_AS_UNPRIVILEGED([&] {
    CProfile p;
    StartupNote note;
    ProfileError e1, e2;
    const bool loaded = LoadStartupProfile(p, startup, nullptr, &note);
    const bool saved = SaveProfileAtExit(p, startup, &e1) || SaveProfileTo(p, startup, &e2);
    return !loaded && note.unreadable && note.copyPath.empty() &&
           note.copyError.find("Permission denied") != std::string::npos && !saved &&
           e1.message == "cannot write " + startup +
                             ": it could not be read at start-up and no copy of it could be kept; it is left "
                             "as it is";
  });
  EXPECT_EQ(Slurp(startup), (Bytes{1, 2, 3}));
  EXPECT_EQ(FilesIn(dir.path()), 1u);
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

namespace {

TEST(RecentFiles, NewestFirstOnceEachAtMostEightAndKeptInTheSettingsFile) {
  TempDir dir;
  const std::string ini = dir.path() + "/VideoLibconfig.ini";
  {
    std::ofstream(ini) << "[IP port]\nport=5000\n";
  }
  RecentFiles recent(ini);
  for (int i = 0; i < 10; ++i) recent.Add(dir.path() + "/p" + std::to_string(i) + ".cfg");
  // The same file under another name moves to the front instead of repeating.
  recent.Add(dir.path() + "/sub/../p5.cfg");
  recent.Add("weird\nname.cfg");  // would break the file's lines: refused
  ASSERT_EQ(recent.Files().size(), RecentFiles::kMax);
  EXPECT_EQ(recent.Files().front(), dir.path() + "/p5.cfg");
  EXPECT_EQ(recent.Files().back(), dir.path() + "/p2.cfg");

  RecentFiles again(ini);
  again.Load();
  EXPECT_EQ(again.Files(), recent.Files());
  again.Remove(dir.path() + "/p9.cfg");
  RecentFiles third(ini);
  third.Load();
  EXPECT_EQ(third.Files().size(), RecentFiles::kMax - 1);

  EXPECT_EQ(third.LastExitSave(), "");
  EXPECT_TRUE(third.SetLastExitSave(dir.path() + "/./lobby.cfg"));
  EXPECT_EQ(RecentFiles(ini).LastExitSave(), dir.path() + "/lobby.cfg");
  // The settings of others in the file stay.
  EXPECT_EQ(ReadNetSettings(ini).port, "5000");
}

TEST(RecentFiles, OneFileReachedByLinksIsOneEntry) {
  TempDir dir;
  const std::string ini = dir.path() + "/VideoLibconfig.ini";
  const std::string lobby = dir.path() + "/lobby.cfg", soft = dir.path() + "/soft.cfg",
                    hard = dir.path() + "/hard.cfg", other = dir.path() + "/other.cfg";
  std::ofstream(lobby) << "x";
  std::ofstream(other) << "x";
  std::filesystem::create_symlink(lobby, soft);
  std::filesystem::create_hard_link(lobby, hard);
  EXPECT_TRUE(RecentFiles::SameFile(soft, hard));
  EXPECT_FALSE(RecentFiles::SameFile(lobby, other));
  EXPECT_TRUE(RecentFiles::SameFile(dir.path() + "/gone.cfg", dir.path() + "/./gone.cfg"));
  RecentFiles recent(ini);
  for (const std::string& f : {lobby, other, soft, hard}) recent.Add(f);
  // The name used last stands for the file.
  EXPECT_EQ(recent.Files(), (std::vector<std::string>{hard, other}));
  // A list written with the three names (by hand, or before) reads as one.
  WritePrivateProfileStrings("Recent File List",
                             {{"File1", soft}, {"File2", lobby}, {"File3", other}, {"File4", hard}}, ini);
  recent.Load();
  EXPECT_EQ(recent.Files(), (std::vector<std::string>{soft, other}));
}

}  // namespace
