// The traffic monitor against the simulated processor over real TCP: what
// the program sends and what comes back, one line each, and the controls.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <fstream>
#include <sstream>

#include "app/FrameChrome.h"
#include "SimFrameTest.h"
#include "app/TrafficMonitor.h"
#include "ui/CoolBar.h"

namespace panora::test {
namespace {

const QString kSentGeometry = QString::fromUtf8("\xE2\x86\x92 0x30 window geometry CH2");

class TrafficTest : public SimFrameTest {
 protected:
  CTrafficMonitor& Monitor() { return *f->Chrome().m_trafficMonitor; }
  QStringList Lines() {
    QStringList out;
    for (int i = 0; i < Monitor().List()->count(); ++i) out << Monitor().List()->item(i)->text();
    return out;
  }
  bool HasLine(const QString& part) {
    return WaitUntil([&] { return !Lines().filter(part).isEmpty(); });
  }
  QListWidgetItem* LineWith(const QString& part) {
    const auto found = Monitor().List()->findItems(part, Qt::MatchContains);
    return found.isEmpty() ? nullptr : found.back();
  }
  void SendGeometry() {
    const std::uint8_t xywh[8] = {0, 92, 0, 23, 3, 192, 2, 28};
    f->SendCommand(cmd::kSetGeometry, 1, xywh, 8);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(TrafficTest, ToolsMenuAndF12ShowAndHideTheBarHiddenAtStart) {
  CCoolBar& bar = f->TrafficBar();
  EXPECT_FALSE(bar.isVisible());
  QStringList titles;
  for (QAction* a : f->menuBar()->actions()) titles << a->text();
  ASSERT_EQ(titles.indexOf("&Tools"), titles.indexOf("&View") + 1);
  QAction* item = f->ToolsMenu()->actions().value(0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), "Traffic Monitor");
  EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F12));

  item->trigger();
  ASSERT_TRUE(WaitUntil([&] { return bar.isVisible(); }));
  EXPECT_TRUE(item->isChecked());
  // A floating bar leaves the layout area, and so the output pixels, alone.
  EXPECT_TRUE(bar.isFloating());
  f->activateWindow();
  QTest::keyClick(f, Qt::Key_F12);
  EXPECT_TRUE(WaitUntil([&] { return !bar.isVisible(); }));
  EXPECT_FALSE(item->isChecked());
  // The close button on the bar's strip hides it as well.
  item->trigger();
  ASSERT_TRUE(WaitUntil([&] { return bar.isVisible(); }));
  bar.CloseButton()->click();
  EXPECT_TRUE(WaitUntil([&] { return !bar.isVisible(); }));

  // Screen readers find every control under its text.
  for (QPushButton* b :
       {Monitor().PauseButton(), Monitor().ClearButton(), Monitor().CopyButton(), Monitor().SaveButton()}) {
    QAccessibleInterface* ai = QAccessible::queryAccessibleInterface(b);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->text(QAccessible::Name), b->text());
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&bar)->text(QAccessible::Name), "Traffic Monitor");
}

TEST_F(TrafficTest, EveryFrameAndAnswerIsOneNamedLineKeptWhileHidden) {
  // Logged while hidden: the ring has the frame and its answer, the list nothing.
  SendGeometry();
  ASSERT_TRUE(WaitUntil([&] { return f->Traffic().Size() >= 2; }));
  EXPECT_EQ(Monitor().List()->count(), 0);
  f->TrafficBar().toggleViewAction()->trigger();
  ASSERT_TRUE(HasLine("0x30 window geometry CH2: X 92 Y 23 W 960 H 540"));
  QListWidgetItem* sent = LineWith(kSentGeometry);
  EXPECT_TRUE(sent->text().contains(QString::fromUtf8(
      " \xE2\x86\x92 0x30 window geometry CH2: X 92 Y 23 W 960 H 540  7D 3A 00 0C 30 01 00 00 00 5C")));
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ").match(sent->text()).hasMatch());

  // Shown: new traffic arrives by itself, the answer in its own colour.
  f->SendCommand(cmd::kVersion, 0);
  ASSERT_TRUE(HasLine(QString::fromUtf8("\xE2\x86\x90 0xFF firmware version:")));
  QListWidgetItem* answer = LineWith("0xFF firmware version:");
  ASSERT_NE(answer, nullptr);
  EXPECT_TRUE(answer->text().contains(QString::fromUtf8("\xE2\x86\x90")));
  EXPECT_NE(answer->foreground().color(), sent->foreground().color());

  // Paused: nothing new is shown; resumed: it catches up, in order.
  Monitor().PauseButton()->click();
  const int before = Monitor().List()->count();
  SendGeometry();
  QTest::qWait(150);
  EXPECT_EQ(Monitor().List()->count(), before);
  Monitor().PauseButton()->click();
  ASSERT_GT(Monitor().List()->count(), before);
  EXPECT_TRUE(Monitor().List()->item(before)->text().contains(kSentGeometry));

  // Clear empties the view and the ring.
  Monitor().ClearButton()->click();
  EXPECT_EQ(Monitor().List()->count(), 0);
  EXPECT_EQ(f->Traffic().Size(), 0u);

  // Hidden again, the lines are given up; shown, they come back from the ring.
  SendGeometry();
  ASSERT_TRUE(HasLine("window geometry"));
  f->TrafficBar().toggleViewAction()->trigger();
  EXPECT_EQ(Monitor().List()->count(), 0);
  f->TrafficBar().toggleViewAction()->trigger();
  EXPECT_TRUE(HasLine("window geometry"));
}

TEST_F(TrafficTest, CopyAndSaveAsTextAndCsv) {
  f->TrafficBar().toggleViewAction()->trigger();
  SendGeometry();
  ASSERT_TRUE(HasLine(QString::fromUtf8("\xE2\x86\x90 0x30")));  // its answer
  Monitor().List()->clearSelection();
  Monitor().CopyButton()->click();
  EXPECT_EQ(QApplication::clipboard()->text(), Monitor().Text());
  Monitor().List()->setCurrentItem(LineWith(kSentGeometry));
  Monitor().CopyButton()->click();
  EXPECT_EQ(QApplication::clipboard()->text(), LineWith(kSentGeometry)->text() + "\n");

  const std::string txt = home.Path() + "/traffic.txt", csv = home.Path() + "/traffic.csv";
  dialogs.ExpectSaveFile(txt);
  Monitor().SaveButton()->click();
  EXPECT_EQ(QString::fromStdString(Read(txt)), Monitor().Text());
  dialogs.ExpectSaveFile(csv);
  Monitor().SaveButton()->click();
  const std::string table = Read(csv);
  EXPECT_EQ(table.rfind("time,direction,bytes,description\n", 0), 0u) << table;
  EXPECT_NE(table.find(",sent,7D 3A 00 0C 30 01 00 00 00 5C 00 17 03 C0 02 1C "), std::string::npos) << table;
  EXPECT_NE(table.find(",received,"), std::string::npos);

  // A bare name takes the chosen filter's suffix and format; a typed ".csv"
  // is CSV whatever the filter.
  dialogs.ExpectSaveFile(home.Path() + "/bare", "CSV (*.csv)");
  Monitor().SaveButton()->click();
  EXPECT_EQ(QString::fromStdString(Read(home.Path() + "/bare.csv")), Monitor().Csv());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(home.Path() + "/bare.txt")));
  dialogs.ExpectSaveFile(home.Path() + "/plain", "Text (*.txt)");
  Monitor().SaveButton()->click();
  EXPECT_EQ(QString::fromStdString(Read(home.Path() + "/plain.txt")), Monitor().Text());
  dialogs.ExpectSaveFile(home.Path() + "/typed.csv", "Text (*.txt)");
  Monitor().SaveButton()->click();
  EXPECT_EQ(QString::fromStdString(Read(home.Path() + "/typed.csv")), Monitor().Csv());
}

TEST_F(TrafficTest, ABlockThatIsNoFrameIsShownAsSuch) {
  sim::ServerOptions opt;
  opt.garbage = true;
  EmbeddedSim noisy(opt);
  ASSERT_TRUE(noisy.Ok());
  f->TrafficBar().toggleViewAction()->trigger();
  f->Connection().ConnectNet("127.0.0.1", noisy.PortText());
  ASSERT_TRUE(WaitUntil([&] { return InfoTexts(*f).count("Connect NET success!") == 2; }));
  f->SendCommand(cmd::kVersion, 0);
  ASSERT_TRUE(HasLine("not a frame: garbage"));
  QListWidgetItem* line = LineWith("not a frame");
  EXPECT_TRUE(line->text().contains(QString::fromUtf8("\xE2\x86\x90")));
  EXPECT_EQ(line->background().color(), QColor(255, 220, 220));
}

}  // namespace
}  // namespace panora::test
