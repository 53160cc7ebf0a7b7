#include <QRegularExpression>
#include <QScrollBar>

#include "GuiTest.h"
#include "app/LstInforBox.h"
#include "panels/DlgMainSet.h"

using namespace panora;

namespace {

std::tm At(int h, int m, int s) {
  std::tm t{};
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return t;
}

// The list needs no owner; the panel around it asks for one.
class NoHost : public PanelHost {
 public:
  CDataPrm& WorkingRecord() override { return record; }
  int CurrentMode() const override { return 17; }
  int CurrentWindow() const override { return 3; }
  bool SendCommand(std::uint8_t, std::uint8_t, const std::uint8_t*, int, bool) override { return false; }
  bool StartBatch(int, const std::uint8_t*, int, int) override { return false; }
  bool Sending() const override { return false; }
  bool TransportOpen() const override { return false; }
  void AddInfoLine(const std::string&) override {}
  int Message(const std::string&, int) override { return 0; }
  CDataPrm record;
};

QStringList Lines(const QListWidget& l) {
  QStringList out;
  for (int i = 0; i < l.count(); ++i) out << l.item(i)->text();
  return out;
}

}  // namespace

TEST(InfoList, NumbersStampsAndKeepsAtMostSixLines) {
  NoHost host;
  CDlgMainSet panel(host);
  CLstInforBox& list = *panel.InfoList();
  list.SetClock([] { return At(14, 5, 9); });
  // Texts that would sort differently: the numbers keep arrival order.
  const QStringList texts{"Zulu",          "Connection Success!", "Alpha",
                          "Version:1.2.3", "Connect NET fail!",   "Mike"};
  for (const QString& t : texts) panel.AddInfo(t);
  EXPECT_EQ(Lines(list), (QStringList{"1 05:09 Zulu", "2 05:09 Connection Success!", "3 05:09 Alpha",
                                      "4 05:09 Version:1.2.3", "5 05:09 Connect NET fail!", "6 05:09 Mike"}));
  EXPECT_EQ(list.LineNumber(), 6);

  list.SetClock([] { return At(0, 59, 0); });
  panel.AddInfo("Disconnect!");
  EXPECT_EQ(Lines(list), QStringList{"1 59:00 Disconnect!"});
  EXPECT_EQ(list.LineNumber(), 1);
}

TEST(InfoList, ShowInfoReplacesTheListAndNumberingGoesOn) {
  NoHost host;
  CDlgMainSet panel(host);
  CLstInforBox& list = *panel.InfoList();
  list.SetClock([] { return At(9, 0, 7); });
  panel.AddInfo("a");
  panel.AddInfo("b");
  panel.AddInfo("c");
  panel.ShowInfo("connecting .");
  EXPECT_EQ(Lines(list), QStringList{"1 00:07 connecting ."});
  panel.AddInfo("Connect NET success!");
  EXPECT_EQ(Lines(list), (QStringList{"1 00:07 connecting .", "2 00:07 Connect NET success!"}));
  // The animation: each step leaves exactly one line.
  for (const char* dots : {"connecting . .", "connecting . . .", "connecting . . . . ."}) {
    panel.ShowInfo(dots);
    EXPECT_EQ(Lines(list), QStringList{QString("1 00:07 ") + dots});
  }
}

TEST(InfoList, AddLineReturnsTheRowAndTheRealClockStamps) {
  CLstInforBox list;
  EXPECT_EQ(list.AddLine("first"), 0);
  EXPECT_EQ(list.AddLine("second"), 1);
  const QString line = list.item(0)->text();
  // "1 mm:ss first" with the local time's minutes and seconds.
  EXPECT_TRUE(QRegularExpression("^1 [0-5][0-9]:[0-5][0-9] first$").match(line).hasMatch())
      << line.toStdString();
  for (int i = 0; i < 4; ++i) list.AddLine("more");
  EXPECT_EQ(list.AddLine("seventh"), 0);
  EXPECT_EQ(list.count(), 1);
}

TEST(InfoList, EveryLineStaysOneLineWithItsWholeTextAsToolTip) {
  CLstInforBox list;
  list.resize(120, 90);
  list.show();
  list.AddLine("Disconnect!");
  list.AddLine("Connect NET fail! Connect NET fail! Connect NET fail!");
  test::Pump();
  const int line = list.fontMetrics().lineSpacing();
  for (int i = 0; i < list.count(); ++i) {
    const QListWidgetItem* item = list.item(i);
    SCOPED_TRACE(item->text().toStdString());
    const QRect r = list.visualItemRect(item);
    EXPECT_LT(r.height(), 2 * line) << "wrapped";
    EXPECT_GE(r.width(), list.fontMetrics().horizontalAdvance(item->text())) << "cut short";
    EXPECT_EQ(item->toolTip(), item->text());
  }
  // The long line is reached by scrolling sideways.
  EXPECT_GT(list.horizontalScrollBar()->maximum(), 0);
}
