// Runs the real panora-ctl on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "model/ModeTable.h"
#include "model/Profile.h"

using namespace panora;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct CtlRun {
  int status;
  std::string out;
  std::string err;
};

class CtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "panora-ctl-XXXXXX").string();
    dir_ = ::mkdtemp(t.data());
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  CtlRun Ctl(const std::string& args) {
    // Bounded, so that a tool waiting on a FIFO fails the test instead of hanging it.
    const std::string cmd = "timeout 60 " + std::string(PANORA_BIN_DIR) + "/panora-ctl profile " + args +
                            " >" + Path("out.txt") + " 2>" + Path("err.txt");
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text(Path("out.txt")), Text(Path("err.txt"))};
  }

  static std::string Text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }

  static Bytes Slurp(const std::string& path) {
    const std::string s = Text(path);
    return Bytes(s.begin(), s.end());
  }

  std::string dir_;
};

CProfile Awkward() {
  CProfile p;
  p.ResetAllSlots();
  p.m_nToolMode = {27, -1, 0, 33, 8, -1, -1, 17};
  p.m_strModeName[3] = "\u20AC \u00FF \u0081 \"quoted\" \\ tab\t";
  p.m_strModeName[7] = std::string("nul\0inside", 10);
  p.m_strModeName.push_back("a 35th name");
  CDataPrm& r = p.m_DataPrm[6];
  r.m_bSaved = 1;
  r.m_nOutRes[1] = 77;  // out of range: kept
  r.m_nLayer[2][1] = -3;
  r.m_bOutDispCh[0][3] = 1;
  r.m_byReservedB = {1, 2, 254, 255};
  r.m_dX = {0.1, 1.0 / 3, -0.0, std::numeric_limits<double>::denorm_min()};
  r.m_dY = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max()};
  double payloadNan;
  const std::uint64_t bits = 0xFFF0000000000123u;
  std::memcpy(&payloadNan, &bits, 8);
  r.m_dW = {payloadNan, 2.0 / 3, 1e-310, 0.30000000000000004};
  return p;
}

}  // namespace

TEST_F(CtlTest, DefaultIsTheFactoryFreshProfile) {
  const CtlRun run = Ctl("default " + Path("d.cfg"));
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes file = Slurp(Path("d.cfg"));
  EXPECT_EQ(file.size(), 5209u);
  CProfile p;
  p.ResetAllSlots();
  p.ResetWorkingForMode(kStartupMode);
  Bytes expected;
  ASSERT_TRUE(EncodeProfile(p, expected));
  EXPECT_EQ(file, expected);
}

TEST_F(CtlTest, DumpAndLoadRestoreEveryByte) {
  ASSERT_TRUE(WriteProfile(Path("a.cfg"), Awkward()));
  CtlRun run = Ctl("dump " + Path("a.cfg"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"m_nToolMode\""), std::string::npos);
  EXPECT_NE(run.out.find("0.30000000000000004"), std::string::npos);
  EXPECT_NE(run.out.find("\"0xfff0000000000123\""), std::string::npos);  // NaN keeps its bits
  EXPECT_NE(run.out.find("\\u0000"), std::string::npos);
  std::ofstream(Path("a.json")) << run.out;

  run = Ctl("load " + Path("a.json") + " " + Path("b.cfg"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: m_DataPrm[6].m_nOutRes[1] = 77"), std::string::npos) << run.err;
  EXPECT_EQ(Slurp(Path("b.cfg")), Slurp(Path("a.cfg")));

  run = Ctl("convert " + Path("a.cfg") + " " + Path("c.cfg"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Path("c.cfg")), Slurp(Path("a.cfg")));

  // The layer table in the JSON is [channel][output]; the output display table [output][channel].
  CProfile p;
  p.m_DataPrm[0].m_nLayer[0] = {11, 12, 13, 14};
  p.m_DataPrm[0].m_bOutDispCh[0] = {21, 22, 23, 24};
  ASSERT_TRUE(WriteProfile(Path("o.cfg"), p));
  run = Ctl("dump " + Path("o.cfg"));
  std::string compact;
  for (char c : run.out)
    if (c != ' ' && c != '\n') compact += c;
  EXPECT_NE(compact.find("\"m_nLayer\":[[11,12,13,14],"), std::string::npos);
  EXPECT_NE(compact.find("\"m_bOutDispCh\":[[21,22,23,24],"), std::string::npos);
}

TEST_F(CtlTest, LoadRefusesBadJsonAndWritesNothing) {
  ASSERT_EQ(Ctl("default " + Path("d.cfg")).status, 0);
  CtlRun run = Ctl("dump " + Path("d.cfg"));
  std::string json = run.out;
  const auto at = json.find("\"m_bDispAll\"");
  ASSERT_NE(at, std::string::npos);
  json.replace(at, 12, "\"m_bDispAlll\"");
  std::ofstream(Path("typo.json")) << json;
  run = Ctl("load " + Path("typo.json") + " " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("m_DataPrm[0]: missing \"m_bDispAll\""), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("x.cfg")));

  std::ofstream(Path("tool.json"))
      << "{\"m_nToolMode\":[1,2,3,4,5,6,7,34],\"m_strModeName\":[],\"m_DataPrm\":[]}";
  run = Ctl("load " + Path("tool.json") + " " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("m_nToolMode[7]: 34 is outside -1..33"), std::string::npos) << run.err;

  // A name with a character no profile can hold.
  json = Ctl("dump " + Path("d.cfg")).out;
  json.replace(json.find("\"1\""), 3, "\"\u4E2D\"");
  std::ofstream(Path("name.json")) << json;
  run = Ctl("load " + Path("name.json") + " " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("mode name 1 has a character"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("x.cfg")));
}

TEST_F(CtlTest, CheckReportsWhereAFileBreaks) {
  ASSERT_EQ(Ctl("default " + Path("d.cfg")).status, 0);
  CtlRun run = Ctl("check " + Path("d.cfg"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("reads; 34 names, 0 out-of-range values"), std::string::npos) << run.out;

  ::truncate(Path("d.cfg").c_str(), 5208);
  run = Ctl("check " + Path("d.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  EXPECT_NE(run.out.find("m_DataPrm[13].m_dH[3]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("byte offset 5201"), std::string::npos) << run.out;

  ASSERT_TRUE(WriteProfile(Path("a.cfg"), Awkward()));
  run = Ctl("check " + Path("a.cfg"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("m_DataPrm[6].m_nLayer[2][1] = -3, expected 0..3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("35 mode names, expected 34"), std::string::npos) << run.out;

  EXPECT_EQ(Ctl("check").status, 2);
  EXPECT_EQ(Ctl("frobnicate x").status, 2);
  // The tool's own usage points here: help is an answer, not a mistake.
  run = Ctl("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("panora-ctl profile check FILE"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

// A FIFO or device is neither read (nothing waits on a FIFO without a
// writer) nor replaced, also through a link.
TEST_F(CtlTest, FifosAndDevicesAreRefusedAtOnce) {
  const std::string fifo = Path("p.cfg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_symlink("p.cfg", Path("l.cfg"));
  CtlRun run = Ctl("check " + fifo);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(fifo + ": it is a FIFO, not a regular file"), std::string::npos) << run.out;
  run = Ctl("default " + Path("l.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("l.cfg: it is a FIFO, not a regular file; it is left as it is"), std::string::npos)
      << run.err;
  run = Ctl("convert /dev/null " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot read /dev/null: it is a character device, not a regular file"),
            std::string::npos)
      << run.err;
  run = Ctl("load " + fifo + " " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("it is a FIFO"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_TRUE(fs::is_symlink(Path("l.cfg")));
  EXPECT_FALSE(fs::exists(Path("x.cfg")));
}

// JSON text above 16 MiB is refused before it is read, from a file or from
// standard input.
TEST_F(CtlTest, LoadRefusesJsonAbove16MiB) {
  const std::string big = Path("big.json");
  std::ofstream(big) << "{";
  ASSERT_EQ(::truncate(big.c_str(), 16 * 1024 * 1024 + 1), 0);  // sparse
  CtlRun run = Ctl("load " + big + " " + Path("x.cfg"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(big + " is larger than 16 MiB"), std::string::npos) << run.err;
  run = Ctl("load - " + Path("x.cfg") + " <" + big);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard input is larger than 16 MiB"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("x.cfg")));
}
