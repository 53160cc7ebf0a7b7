#include <gtest/gtest-spi.h>

#include <QDialog>
#include <QImage>

#include "GuiTest.h"
#include "app/CommandLine.h"
#include "ui/TrueColorToolBar.h"

using namespace panora;
using namespace panora::test;

TEST(TrueColorStrip, TheBuiltInStripsGiveTheirPixmaps) {
  // The strips built into the program hold 12, 4 and 8 buttons.
  EXPECT_EQ(CTrueColorToolBar::SliceStrip(QImage(":/res/mode_toolbar.png")).size(), 12u);
  EXPECT_EQ(CTrueColorToolBar::SliceStrip(QImage(":/res/window_toolbar.png")).size(), 4u);
  EXPECT_EQ(CTrueColorToolBar::SliceStrip(QImage(":/res/tool_toolbar_hot.png")).size(), 8u);
}

TEST(CommandLine, HelpVersionQtOptionsAndRefusals) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "panora");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
  };
  EXPECT_EQ(parse({}).action, CommandLine::Action::Run);
  EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::Help);
  EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::Help);
  EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::Version);
  const CommandLine qt = parse({"-platform", "offscreen"});
  EXPECT_EQ(qt.action, CommandLine::Action::Run);
  EXPECT_EQ(qt.qtArgs, (std::vector<std::string>{"panora", "-platform", "offscreen"}));
  for (auto args :
       {std::vector<const char*>{"--verbose"}, {"-x"}, {"file.cfg"}, {"-platform"}, {"--help=1"}}) {
    const CommandLine cl = parse(args);
    EXPECT_EQ(cl.action, CommandLine::Action::Refuse) << args[0];
    EXPECT_NE(cl.error.find(args[0]), std::string::npos) << cl.error;
  }
  EXPECT_EQ(VersionText(), "Panora 1.1.31\n");
}

TEST(CommandLine, TheProgramAnswersAndRefuses) {
  TempHome home;
  const ProcessResult version = RunPanora({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Panora 1.1.31\n");
  const ProcessResult help = RunPanora({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  EXPECT_EQ(help.out.find("QUIT_AFTER"), std::string::npos);
  const ProcessResult bad = RunPanora({"--frobnicate"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("unknown option --frobnicate"), std::string::npos) << bad.err;
  EXPECT_TRUE(bad.out.empty());
}

// A box or dialog that no test expects fails the test at once instead of
// waiting for a click, also after a scripted facade of an earlier test ended.
TEST(DialogFacade, ABoxOrDialogNoTestExpectedFailsAndIsCancelled) {
  { ScriptedDialogs earlier; }
  static int answer = 0;
  EXPECT_NONFATAL_FAILURE(answer = panora::MessageBox(nullptr, QStringLiteral("Connection error!")),
                          "message box while no test expected one: Connection error!");
  EXPECT_EQ(answer, kIdCancel);
  EXPECT_NONFATAL_FAILURE(
      {
        QDialog dlg;
        dlg.setObjectName(QStringLiteral("156"));
        answer = Dialogs().Exec(dlg);
      },
      "dialog while no test expected one: 156");
  EXPECT_EQ(answer, kIdCancel);
  EXPECT_NONFATAL_FAILURE(Dialogs().OpenFileName(nullptr, QStringLiteral("Open"), {}, {}), "file chooser");
}
