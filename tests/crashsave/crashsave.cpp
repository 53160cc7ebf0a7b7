// Kills saving programs with SIGKILL at random moments and checks that every
// file on disk is the whole old or the whole new content, never torn or
// empty, and that `panora-ctl profile check` reads every profile.
//
//   crashsave_test [--saves N] [--exits M] [--seed S]
//
// N kills (default 1000) each for the profile and for the settings file: a
// quarter of the profile kills hit the real `panora-ctl profile load`, the
// rest a child that saves in a loop through SaveProfileTo, the writer of
// "Save" and "Save as" (every third save goes to a second file); the
// settings kills hit a child writing VideoLibconfig.ini in a loop through
// WriteNetSettings. M kills (default 50) hit the real `panora` (offscreen)
// during its exit save after SIGTERM. Exit status 0 when every file held.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/PrivateProfile.h"
#include "link/SafeFile.h"
#include "model/ModeTable.h"
#include "model/Profile.h"

using namespace panora;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_bin;   // folder of panora and panora-ctl
std::string g_work;  // scratch folder
std::mt19937_64 g_rng;
int g_faults = 0;

void Fault(const std::string& what) {
  std::fprintf(stderr, "crashsave: %s\n", what.c_str());
  ++g_faults;
}

bool ReadAll(const std::string& path, Bytes& out) {
  std::string error;
  return ReadRegularFile(path, 64 * 1024 * 1024, out, &error);
}

Bytes MustRead(const std::string& path) {
  Bytes b;
  if (!ReadAll(path, b)) {
    std::fprintf(stderr, "crashsave: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  return b;
}

// Runs argv with stdout/stderr discarded; returns the pid.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(2);
  }
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Run(const std::vector<std::string>& args) {
  return Wait(Spawn(args));
}

void SleepFor(Clock::duration d) {
  std::this_thread::sleep_for(d);
}

// A moment picked uniformly in [0, span).
Clock::duration Random(Clock::duration span) {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
  return std::chrono::microseconds(us > 0 ? static_cast<long>(g_rng() % static_cast<std::uint64_t>(us)) : 0);
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  Wait(pid);
}

// The file must be exactly one of `whole`, or absent while no save has
// finished yet (`seen` says whether one has).
void Expect(const std::string& path, const std::vector<Bytes>& whole, bool& seen, const char* what, int round,
            bool profile) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (seen) Fault(std::string(what) + " round " + std::to_string(round) + ": " + path + " is gone");
    return;
  }
  Bytes b;
  if (!ReadAll(path, b)) {
    Fault(std::string(what) + " round " + std::to_string(round) + ": " + path + " cannot be read");
    return;
  }
  seen = true;
  bool match = false;
  for (const Bytes& w : whole) match = match || b == w;
  if (!match)
    Fault(std::string(what) + " round " + std::to_string(round) + ": " + path + " holds " +
          std::to_string(b.size()) + " bytes, neither the old nor the new content");
  if (profile && Run({g_bin + "/panora-ctl", "profile", "check", path}) != 0)
    Fault(std::string(what) + " round " + std::to_string(round) + ": profile check refuses " + path);
}

// Temporary files beside the targets: left by a save killed while writing.
int Temporaries(const std::string& folder) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    n += name.size() > 4 && name[0] == '.' && name.ends_with(".tmp");
  }
  return n;
}

// No temporary file of a finished save may stay beside its target.
void ExpectNoTemporaries(const std::string& folder) {
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 4 && name[0] == '.' && name.ends_with(".tmp")) Fault("temporary file left: " + name);
  }
}

// Two profiles of different sizes, so that a torn file cannot pass for either.
void MakeProfiles(CProfile& a, CProfile& b) {
  a.ResetAllSlots();
  a.ResetWorkingForMode(kStartupMode);
  b = a;
  b.m_nToolMode = {8, 9, 10, 11, 12, 13, 14, 15};
  for (int m = 0; m < kModeTotal; ++m)
    b.m_strModeName[static_cast<std::size_t>(m)] = std::string(200, 'a' + m % 26);
}

void WriteOrDie(const std::string& path, const CProfile& p) {
  ProfileError e;
  if (!WriteProfile(path, p, &e)) {
    std::fprintf(stderr, "crashsave: %s: %s\n", path.c_str(), e.message.c_str());
    std::exit(2);
  }
}

// Median wall time of a few uninterrupted runs of `start` .. Wait.
template <class F>
Clock::duration Measure(F run) {
  std::vector<Clock::duration> t;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = Clock::now();
    run();
    t.push_back(Clock::now() - t0);
  }
  std::sort(t.begin(), t.end());
  return t[2];
}

void ProfileSaves(int rounds) {
  const std::string dir = g_work + "/profile";
  fs::create_directories(dir);
  CProfile a, b;
  MakeProfiles(a, b);
  const std::string jsonA = dir + "/a.json", jsonB = dir + "/b.json";
  const std::string target = dir + "/saved.cfg", other = dir + "/saved-as.cfg";
  WriteOrDie(dir + "/a.ref", a);
  WriteOrDie(dir + "/b.ref", b);
  const std::vector<Bytes> whole = {MustRead(dir + "/a.ref"), MustRead(dir + "/b.ref")};
  const std::string ctl = g_bin + "/panora-ctl";
  // The JSON of each, as an integrator would load it.
  for (const auto& [ref, json] : {std::pair{dir + "/a.ref", jsonA}, std::pair{dir + "/b.ref", jsonB}}) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = ::open(json.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::execl(ctl.c_str(), ctl.c_str(), "profile", "dump", ref.c_str(), nullptr);
      _exit(127);
    }
    if (Wait(pid) != 0) {
      std::fprintf(stderr, "crashsave: profile dump failed\n");
      std::exit(2);
    }
  }
  const auto ctlTime = Measure([&] { Run({ctl, "profile", "load", jsonB, dir + "/scratch.cfg"}); });
  int ctlRounds = 0, loopRounds = 0, inside = 0;
  bool seenTarget = false, seenOther = false;
  for (int round = 0; round < rounds; ++round) {
    if (round % 4 == 0) {
      // The real tool, killed anywhere from its start to a little after a
      // whole run would have ended.
      const pid_t pid = Spawn({ctl, "profile", "load", (round / 4) % 2 ? jsonA : jsonB, target});
      SleepFor(Random(ctlTime + ctlTime / 5));
      Kill(pid);
      ++ctlRounds;
    } else {
      // The program's own writer saving again and again: Save to the
      // current file, every third time Save as to the other.
      const pid_t pid = fork();
      if (pid == 0) {
        CProfile p = a;
        for (int i = round;; ++i) SaveProfileTo(p = i % 2 ? a : b, i % 3 == 2 ? other : target);
      }
      SleepFor(Random(std::chrono::milliseconds(8)));
      Kill(pid);
      ++loopRounds;
    }
    inside += Temporaries(dir) > 0;
    Expect(target, whole, seenTarget, "profile", round, true);
    Expect(other, whole, seenOther, "profile (save as)", round, true);
  }
  // A whole save afterwards removes what the killed ones left.
  WriteOrDie(target, a);
  WriteOrDie(other, a);
  ExpectNoTemporaries(dir);
  std::printf(
      "profile: %d kills (%d in panora-ctl profile load, %d in Save/Save as), %d left a temporary file, "
      "%d faults so far\n",
      rounds, ctlRounds, loopRounds, inside, g_faults);
}

void SettingsSaves(int rounds) {
  const std::string dir = g_work + "/settings";
  fs::create_directories(dir);
  const std::string path = NetSettingsPath(dir + "/VideoLib");
  NetSettings a, b;
  b.ip[0] = 10, b.ip[1] = 0, b.ip[2] = 10, b.ip[3] = 7, b.port = "50001";
  // Whole files as the writer leaves them, from an absent file and from each other.
  std::vector<Bytes> whole;
  const std::string scratch = dir + "/scratch.ini";
  if (!WriteNetSettings(scratch, a)) std::exit(2);
  whole.push_back(MustRead(scratch));
  if (!WriteNetSettings(scratch, b)) std::exit(2);
  whole.push_back(MustRead(scratch));
  if (!WriteNetSettings(scratch, a)) std::exit(2);
  whole.push_back(MustRead(scratch));
  bool seen = false;
  int inside = 0;
  for (int round = 0; round < rounds; ++round) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0;; ++i) WriteNetSettings(path, (i + round) % 2 ? a : b);
    }
    SleepFor(Random(std::chrono::milliseconds(4)));
    Kill(pid);
    inside += Temporaries(dir) > 0;
    Expect(path, whole, seen, "settings", round, false);
    if (::access(path.c_str(), F_OK) == 0) {
      const NetSettings s = ReadNetSettings(path);
      if (s.IpText() != a.IpText() && s.IpText() != b.IpText()) Fault("settings: read back " + s.IpText());
    }
  }
  if (!WriteNetSettings(path, a)) Fault("settings: a whole write failed");
  ExpectNoTemporaries(dir);
  std::printf("settings: %d kills in WriteNetSettings, %d left a temporary file, %d faults so far\n", rounds,
              inside, g_faults);
}

// The real program: started offscreen, asked to close with SIGTERM (which
// writes the profile) and killed at a random moment of its closing.
void ExitSaves(int rounds) {
  if (rounds <= 0) return;
  const std::string home = g_work + "/home";
  const std::string cfg = home + "/VideoLib/default.cfg";
  fs::create_directories(home + "/VideoLib");
  CProfile a, b;
  MakeProfiles(a, b);
  WriteOrDie(cfg, b);
  const std::vector<std::string> env = {"PANORA_HOME=" + home, "QT_QPA_PLATFORM=offscreen"};
  const std::string panora = g_bin + "/panora";
  const auto upTime = std::chrono::milliseconds(1200);
  std::vector<Bytes> whole = {MustRead(cfg)};
  bool seen = true;
  // A whole run: what the exit save writes from this start.
  Clock::duration closeTime{};
  {
    const pid_t pid = Spawn({panora}, env);
    SleepFor(upTime);
    const auto t0 = Clock::now();
    ::kill(pid, SIGTERM);
    if (Wait(pid) != 0) Fault("panora did not close cleanly on SIGTERM");
    closeTime = Clock::now() - t0;
    whole.push_back(MustRead(cfg));
  }
  int inside = 0, replaced = 0;
  for (int round = 0; round < rounds; ++round) {
    struct stat before {
    }, after{};
    ::stat(cfg.c_str(), &before);
    const pid_t pid = Spawn({panora}, env);
    SleepFor(upTime + Random(std::chrono::milliseconds(200)));
    ::kill(pid, SIGTERM);
    SleepFor(Random(closeTime / 2));
    Kill(pid);
    inside += Temporaries(home + "/VideoLib") > 0;
    replaced += ::stat(cfg.c_str(), &after) == 0 && after.st_ino != before.st_ino;
    Expect(cfg, whole, seen, "exit save", round, true);
  }
  std::printf(
      "exit saves: %d kills of panora while closing (a whole close takes %lld ms): %d after the file was "
      "replaced, %d left a temporary file; %d faults in all\n",
      rounds,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(closeTime).count()),
      replaced, inside, g_faults);
}

}  // namespace

int main(int argc, char** argv) {
  int saves = 1000, exits = 50;
  std::uint64_t seed = std::random_device{}();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--saves")
      saves = std::atoi(argv[i + 1]);
    else if (opt == "--exits")
      exits = std::atoi(argv[i + 1]);
    else if (opt == "--seed")
      seed = std::strtoull(argv[i + 1], nullptr, 10);
    else {
      std::fprintf(stderr, "usage: crashsave_test [--saves N] [--exits M] [--seed S]\n");
      return 2;
    }
  }
  g_rng.seed(seed);
  g_bin = fs::canonical("/proc/self/exe").parent_path().string();
  char tmpl[] = "/tmp/panora-crashsave-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return 2;
  g_work = tmpl;
  std::printf("crashsave: seed %llu, work folder %s\n", static_cast<unsigned long long>(seed), tmpl);
  std::fflush(stdout);
  ProfileSaves(saves);
  SettingsSaves(saves);
  ExitSaves(exits);
  if (g_faults == 0) fs::remove_all(g_work);
  std::printf("crashsave: %s\n", g_faults == 0 ? "no torn or empty file" : "FAULTS (files kept)");
  std::fflush(stdout);
  return g_faults == 0 ? 0 : 1;
}
