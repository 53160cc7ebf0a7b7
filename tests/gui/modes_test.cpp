// Mode recall and store, the mode dialogs, the factory reset and the File
// menu's profiles, driven through the real widgets against the simulated
// processor over a real TCP connection: the simulator's state follows.
#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>

#include "SimFrameTest.h"
#include "app/dialogs/DlgMessage.h"
#include "app/dialogs/DlgModSet.h"
#include "app/dialogs/DlgModeNameSet.h"
#include "app/dialogs/DlgToolNumSet.h"
#include "app/ProfileFiles.h"
#include "app/LinkStatus.h"
#include "app/RemoteControl.h"
#include "layout/ChannelWindows.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"
#include "model/ModeController.h"
#include "panels/DlgMainSet.h"
#include "ui/BaseButton.h"
#include "ui/TrueColorToolBar.h"

namespace panora::test {
namespace {

class ModesTest : public SimFrameTest {
 protected:
  // A toolbar button as the operator clicks it.
  void ClickToolbar(int id) {
    QAction* a = f->Action(id);
    ASSERT_NE(a, nullptr) << id;
    QWidget* w = nullptr;
    for (CTrueColorToolBar* bar : {&f->ModeToolBar(), &f->ToolButtonBar()})
      if (QWidget* b = bar->widgetForAction(a)) w = b;
    ASSERT_NE(w, nullptr) << id;
    QTest::mouseClick(w, Qt::LeftButton);
  }
  bool SimReaches(int mode) {
    return WaitUntil([&] { return sim->Server().GetState().mode == mode; });
  }
  // The recall and store frames the simulator received, as (command, sub-code).
  std::vector<std::pair<int, int>> ModeFrames() {
    std::vector<std::pair<int, int>> out;
    for (const SeenFrame& s : ReceivedFrames())
      if (s.command <= cmd::kRecallFull || s.command == cmd::kSaveMode || s.command == cmd::kFactoryReset)
        out.emplace_back(s.command, s.subCode);
    return out;
  }
  // The mode button that assistive technology announces under `name`.
  static QAbstractButton* ButtonAnnounced(QDialog& d, const QString& name) {
    for (CBaseButton* b : d.findChildren<CBaseButton*>()) {
      QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(b);
      if (acc != nullptr && acc->text(QAccessible::Name) == name && acc->role() == QAccessible::Button)
        return b;
    }
    return nullptr;
  }
  // Answers the load dialog by clicking the mode button announced as `name`.
  static std::function<int(QDialog&)> LoadByName(const QString& name) {
    return [name](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), QStringLiteral("Load Mode"));
      QAbstractButton* b = ButtonAnnounced(d, name);
      EXPECT_NE(b, nullptr) << name.toStdString();
      if (b != nullptr) b->click();
      return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
    };
  }
};

TEST_F(ModesTest, QuickModeButtonsRecallTheirModeAndTheCurrentOneSendsNothing) {
  ASSERT_EQ(f->m_nCurMod, 17);
  ClickToolbar(ID_QUICK_MODE_FIRST + 1);  // "3Times-Default 1"
  EXPECT_EQ(f->m_nCurMod, 4);
  EXPECT_EQ(f->m_nPrevMod, 17);
  EXPECT_TRUE(SimReaches(4));
  ClickToolbar(ID_QUICK_MODE_FIRST + 1);
  ClickToolbar(ID_QUICK_MODE_FIRST + 5);  // "PIP-Default 2"
  EXPECT_TRUE(SimReaches(14));
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x00, 0x10}, {0x01, 0x01}}));

  // While a batch goes out: the PC side changes, the frame is refused.
  f->m_bSending = 1;
  dialogs.ExpectBox(kBusyText);
  ClickToolbar(ID_QUICK_MODE_FIRST + 3);
  f->m_bSending = 0;
  EXPECT_EQ(f->m_nCurMod, 8);
  EXPECT_TRUE(ModeFrames().size() == 2u);
}

TEST_F(ModesTest, TheModeDialogRenamesAndAssignsAToolButtonThatThenRecalls) {
  f->m_Profile.m_nToolMode[2] = 5;  // button 3 is taken
  dialogs.ExpectDialog("164", [&](QDialog& d) {
    auto& dlg = static_cast<CDlgModSet&>(d);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Edit Mode"));
    EXPECT_TRUE(dlg.ModeRadio(17)->isChecked());
    EXPECT_EQ(dlg.ModeButton(17)->m_nStyle, CBaseButton::kStyleSelected);
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("18"));
    dlg.ModeRadio(27)->click();
    EXPECT_EQ(dlg.ModeButton(17)->m_nStyle, CBaseButton::kStyleNormal);
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("28"));
    EXPECT_EQ(dlg.ToolEdit()->text(), QString());

    // A name no profile can hold is refused where it is typed; the dialog stays.
    dialogs.ExpectDialog("170", [&](QDialog& n) {
      auto& name = static_cast<CDlgModeNameSet&>(n);
      EXPECT_EQ(name.NameEdit()->text(), QStringLiteral("28"));
      name.NameEdit()->setText(QStringLiteral("Bühne 模式"));
      dialogs.ExpectBox("cannot be kept in a profile file");
      EXPECT_EQ(ClickButton("1")(n), kIdCancel);
      name.NameEdit()->setText(QStringLiteral("Seventeen letters"));
      EXPECT_EQ(name.NameEdit()->text(), QStringLiteral("Seventeen letter"));  // cut at 16
      name.NameEdit()->setText(QStringLiteral("Bühne"));
      return ClickButton("1")(n);
    });
    dlg.SetNameButton()->click();
    EXPECT_EQ(dlg.ModeButton(27)->m_strCaption, QStringLiteral("Bühne"));
    EXPECT_EQ(dlg.ModeButton(27)->m_strCorner, QStringLiteral("28"));
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("Bühne"));

    // Button 3 is in use: declining the cover question keeps the tool dialog open.
    dialogs.ExpectDialog("171", [&](QDialog& t) {
      auto& tool = static_cast<CDlgToolNumSet&>(t);
      EXPECT_TRUE(tool.Radio(0)->isChecked());
      EXPECT_TRUE(tool.UsedBox(2)->isChecked());
      EXPECT_FALSE(tool.UsedBox(0)->isChecked());
      tool.Radio(2)->click();
      dialogs.ExpectDialog("172", [](QDialog& m) {
        auto& msg = static_cast<CDlgMessage&>(m);
        EXPECT_EQ(msg.windowTitle(), QStringLiteral("Dailog"));
        EXPECT_EQ(msg.TextLabel()->text(), QString::fromLatin1(kCoverQuestion));
        return ClickButton("1150")(m);
      });
      EXPECT_EQ(ClickButton("1")(t), kIdCancel);
      dialogs.ExpectDialog("172", ClickButton("1149"));
      return ClickButton("1")(t);
    });
    dlg.SetToolButton()->click();
    EXPECT_EQ(dlg.ToolEdit()->text(), QStringLiteral("3"));
    return ClickButton("2")(d);
  });
  f->Action(ID_MODE_SETTING)->trigger();
  EXPECT_EQ(f->m_Profile.m_nToolMode[2], 27);
  EXPECT_EQ(f->m_Profile.m_strModeName[27], "Bühne");
  EXPECT_TRUE(f->Action(ID_TOOL_FIRST + 2)->toolTip().contains(QStringLiteral("Bühne")));
  EXPECT_EQ(f->m_nCurMod, 17);  // editing recalls nothing

  ClickToolbar(ID_TOOL_FIRST + 2);
  EXPECT_EQ(f->m_nCurMod, 27);
  EXPECT_TRUE(SimReaches(27));
  ClickToolbar(ID_TOOL_FIRST + 2);  // the current mode
  ClickToolbar(ID_TOOL_FIRST + 0);  // unassigned
  EXPECT_EQ(f->m_nCurMod, 27);
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x01, 0x21}}));
}

TEST_F(ModesTest, LoadModeRecallsTheButtonChosenAndEnterOrTheCloseBoxCancel) {
  // "Load Mode", then the button announced as "28": mode 27.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    auto& dlg = static_cast<CDlgModSet&>(d);
    EXPECT_FALSE(dlg.ModeRadio(0)->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.SetNameButton()->isVisibleTo(&dlg));
    EXPECT_EQ(dlg.ModeButton(17)->m_nStyle, CBaseButton::kStyleSelected);
    const int result = LoadByName(QStringLiteral("28"))(d);
    EXPECT_EQ(dlg.m_nRetMod, 27);
    EXPECT_EQ(dlg.m_nRetCmd, 0x01);
    EXPECT_EQ(dlg.m_nRetSub, 0x21);
    return result;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  EXPECT_EQ(f->m_nCurMod, 27);
  EXPECT_TRUE(SimReaches(27));

  // Enter, Space at once (the keyboard starts on "Close"), the close box, an
  // accept from elsewhere and the current mode: nothing.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    d.show();
    QWidget* focus = d.focusWidget();
    EXPECT_EQ(focus != nullptr ? focus->objectName() : QString(), QStringLiteral("2"));
    QTest::keyClick(focus != nullptr ? focus : &d, Qt::Key_Space);
    EXPECT_FALSE(d.isVisible());
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  dialogs.ExpectDialog("164", [](QDialog& d) {
    d.show();
    QTest::keyClick(&d, Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->ContextAction(ID_LOAD_MODE_CTX)->trigger();
  dialogs.ExpectDialog("164", [](QDialog& d) {
    d.show();
    d.close();
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  dialogs.ExpectDialog("164", [](QDialog& d) {
    d.accept();
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  dialogs.ExpectDialog("164", LoadByName(QStringLiteral("28")));
  f->Action(ID_LOAD_MODE)->trigger();
  EXPECT_EQ(f->m_nCurMod, 27);
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x01, 0x21}}));
}

TEST_F(ModesTest, TheModeDialogsButtonsAndRadiosPressLikeAClick) {
  // Edit purpose: a radio and a mode button select their mode at once.
  // Shown, as Exec shows it: hidden controls take no action.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    auto& dlg = static_cast<CDlgModSet&>(d);
    d.show();
    AccessiblePress(dlg.ModeRadio(26));
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("27"));
    EXPECT_EQ(dlg.ModeButton(26)->m_nStyle, CBaseButton::kStyleSelected);
    AccessiblePress(dlg.ModeButton(20));
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("21"));
    EXPECT_TRUE(dlg.ModeRadio(20)->isChecked());
    EXPECT_EQ(dlg.ModeButton(26)->m_nStyle, CBaseButton::kStyleNormal);
    return kIdCancel;
  });
  f->Action(ID_MODE_SETTING)->trigger();
  // Load purpose: the button's action has chosen the mode when it returns.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    d.show();
    AccessiblePress(ButtonAnnounced(d, QStringLiteral("28")));
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_LOAD_MODE)->trigger();
  EXPECT_EQ(f->m_nCurMod, 27);
  EXPECT_TRUE(SimReaches(27));
}

TEST_F(ModesTest, SaveModeStoresTheWindowsAndTheProcessorFillsTheUserMode) {
  dialogs.ExpectDialog("164", LoadByName(QStringLiteral("13")));
  f->Action(ID_LOAD_MODE)->trigger();
  ASSERT_TRUE(SimReaches(12));
  f->ChannelFrame(1)->MoveTo(Rect{0, 0, f->m_rcLayout.width() / 2, f->m_rcLayout.height() / 4});

  dialogs.ExpectDialog("172", [](QDialog& d) {
    EXPECT_EQ(static_cast<CDlgMessage&>(d).TextLabel()->text(),
              QStringLiteral("          Save to position 26, do you want to save it?"));
    EXPECT_EQ(static_cast<CDlgMessage&>(d).OkButton()->text(), QStringLiteral("Yes"));
    d.show();
    QTest::keyClick(&d, Qt::Key_Return);  // Enter is "Yes"
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  emit f->ViewMenu()->aboutToShow();
  f->Action(ID_SAVE_MODE)->trigger();
  EXPECT_EQ(f->m_nCurMod, 25);
  const CDataPrm& slot = f->m_Profile.m_DataPrm[4];
  EXPECT_EQ(slot.m_bSaved, 1);
  EXPECT_DOUBLE_EQ(slot.m_dW[1], (f->m_rcLayout.width() / 2) / double(f->m_rcLayout.width()));
  EXPECT_DOUBLE_EQ(slot.m_dY[1], 0.0);
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().userModes[4].has_value(); }));

  // "No": nothing stored or sent; the previous mode is the current one.
  f->m_nPrevMod = 3;
  dialogs.ExpectDialog("172", ClickButton("1150"));
  f->ContextAction(ID_SAVE_MODE_CTX)->trigger();
  EXPECT_EQ(f->m_nPrevMod, 25);
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x03, 0x04}, {0x80, 0x01}}));
}

TEST_F(ModesTest, FactoryResetResetsTheProcessorAndTheProgramEvenWhileSending) {
  f->Modes().AssignToolButton(0, 9);
  f->Modes().SetModeName(3, "Wall");
  ClickToolbar(ID_QUICK_MODE_FIRST + 5);
  ASSERT_TRUE(SimReaches(14));

  // Enter on a "No" the operator tabbed to answers "No".
  dialogs.ExpectDialog("172", [](QDialog& d) {
    d.show();
    d.findChild<QPushButton*>(QStringLiteral("1150"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  });
  f->Action(ID_FACTORY_RESET)->trigger();
  EXPECT_EQ(f->m_nCurMod, 14);
  EXPECT_EQ(f->m_Profile.m_strModeName[3], "Wall");

  f->m_bSending = 1;
  dialogs.ExpectDialog("172", [](QDialog& d) {
    EXPECT_EQ(static_cast<CDlgMessage&>(d).TextLabel()->text(), QString::fromLatin1(kFactoryResetQuestion));
    return ClickButton("1149")(d);
  });
  f->Action(ID_FACTORY_RESET)->trigger();
  f->m_bSending = 0;
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState() == sim::FactoryState(); }));
  EXPECT_EQ(f->m_nCurMod, 8);
  EXPECT_EQ(f->m_nPrevMod, 14);
  EXPECT_EQ(f->m_Profile.m_strModeName, CProfile().m_strModeName);
  EXPECT_EQ(f->m_Profile.m_nToolMode[0], -1);
  EXPECT_TRUE(f->Action(ID_TOOL_FIRST)->toolTip().contains(QStringLiteral("no mode")));
  // The mode dialog shows the factory names again.
  dialogs.ExpectDialog("164", [](QDialog& d) {
    EXPECT_EQ(static_cast<CDlgModSet&>(d).ModeButton(3)->text(), QStringLiteral("4"));
    return ClickButton("2")(d);
  });
  f->Action(ID_MODE_SETTING)->trigger();
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x01, 0x01}, {0xF0, 0x01}}));
}

TEST_F(ModesTest, OpenReadsAProfileSavedBySaveAsAndRecallsMode17FromAUserMode) {
  const std::string folder = home.Path() + "/VideoLib";
  f->Modes().SetModeName(5, "Saved");
  f->Modes().AssignToolButton(1, 5);
  dialogs.ExpectSaveFile(folder + "/stage");
  f->Action(ID_FILE_SAVE_AS)->trigger();
  const std::string stage = folder + "/stage.cfg";
  EXPECT_TRUE(std::filesystem::exists(stage));
  EXPECT_EQ(f->m_Profile.m_strProfilePath, stage);
  // The title names the file in use; the list says where the set-up went;
  // File offers it again.
  EXPECT_EQ(f->windowTitle(), QStringLiteral("stage.cfg - Panora"));
  EXPECT_TRUE(InfoHas(*f, QStringLiteral("Saved to %1").arg(QString::fromStdString(stage))));
  ASSERT_EQ(f->ProfileFiles().RecentActions().size(), 1u);
  EXPECT_EQ(f->ProfileFiles().RecentActions()[0]->text(), QStringLiteral("&1 stage.cfg"));

  f->Modes().SetModeName(5, "Other");
  f->Modes().AssignToolButton(1, 7);
  f->Modes().Load(27);
  ASSERT_TRUE(SimReaches(27));

  // A broken file changes nothing; a cancelled chooser neither.
  const std::string broken = folder + "/broken.cfg";
  std::ofstream(broken) << "not a profile";
  dialogs.ExpectOpenFile(broken);
  dialogs.ExpectBox(kBrokenProfileText);
  f->Action(ID_FILE_OPEN)->trigger();
  dialogs.ExpectOpenFile("");
  f->Action(ID_FILE_OPEN)->trigger();
  EXPECT_EQ(f->m_Profile.m_strModeName[5], "Other");
  EXPECT_EQ(f->m_nCurMod, 27);

  dialogs.ExpectOpenFile(stage);
  f->Action(ID_FILE_OPEN)->trigger();
  EXPECT_EQ(f->m_Profile.m_strModeName[5], "Saved");
  EXPECT_EQ(f->m_Profile.m_nToolMode[1], 5);
  EXPECT_TRUE(f->Action(ID_TOOL_FIRST + 1)->toolTip().contains(QStringLiteral("Saved")));
  EXPECT_EQ(f->m_nCurMod, 17);
  EXPECT_EQ(f->m_nPrevMod, 27);
  EXPECT_TRUE(SimReaches(17));
  EXPECT_EQ(ModeFrames(), (std::vector<std::pair<int, int>>{{0x01, 0x21}, {0x01, 0x04}}));

  EXPECT_EQ(f->windowTitle(), QStringLiteral("stage.cfg - Panora"));

  // "Save" now writes the start-up profile, not the file opened last, and says so.
  std::filesystem::remove(home.ProfilePath());
  const auto stageTime = std::filesystem::last_write_time(stage);
  f->Action(ID_FILE_SAVE)->trigger();
  EXPECT_TRUE(std::filesystem::exists(home.ProfilePath()));
  EXPECT_EQ(std::filesystem::last_write_time(stage), stageTime);
  EXPECT_EQ(f->windowTitle(), QStringLiteral("default.cfg - Panora"));
  EXPECT_TRUE(InfoHas(*f, QStringLiteral("Saved to %1").arg(QString::fromStdString(home.ProfilePath()))));

  // A recent entry opens its file; one that is gone says so and leaves the list.
  f->Modes().SetModeName(5, "Other");
  f->ProfileFiles().RecentActions()[0]->trigger();
  EXPECT_EQ(f->m_Profile.m_strModeName[5], "Saved");
  EXPECT_EQ(f->windowTitle(), QStringLiteral("stage.cfg - Panora"));
  std::filesystem::remove(stage);
  dialogs.ExpectBox("is no longer there");
  f->ProfileFiles().RecentActions()[0]->trigger();
  EXPECT_TRUE(f->ProfileFiles().RecentActions().empty());
  // A write that fails says why.
  dialogs.ExpectSaveFile(home.Path() + "/no-such-folder/x.cfg");
  dialogs.ExpectBox("could not be saved");
  f->Action(ID_FILE_SAVE_AS)->trigger();
}

TEST(BaseButton, TurnsGreenWhileTheMouseRestsAndKeepsItsCornerLabel) {
  QWidget parent;
  CBaseButton b;
  b.Create(QStringLiteral("5"), QRect(10, 10, 70, 25), &parent, 1304);
  parent.show();
  b.SetCaption(QStringLiteral("Stage"));
  b.SetStyle(CBaseButton::kStyleSelected);
  EXPECT_EQ(b.m_strCorner, QStringLiteral("5"));
  EXPECT_EQ(b.objectName(), QStringLiteral("1304"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&b)->text(QAccessible::Name), QStringLiteral("Stage"));
  // Just inside the border at the top: the gradient's top colour.
  auto topIs = [&](QColor c) {
    const QColor p = b.grab().toImage().pixelColor(b.width() - 3, 1);
    return std::abs(p.red() - c.red()) < 32 && std::abs(p.green() - c.green()) < 32 &&
           std::abs(p.blue() - c.blue()) < 32;
  };
  EXPECT_TRUE(topIs(QColor(255, 255, 255)));

  QMouseEvent move(QEvent::MouseMove, QPointF(30, 12), b.mapToGlobal(QPointF(30, 12)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&b, &move);
  EXPECT_EQ(b.m_bTracking, 1);
  EXPECT_TRUE(WaitUntil([&] { return b.m_bHover == 1; }, 1000));
  EXPECT_TRUE(topIs(QColor(0, 255, 0)));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&b, &leave);
  EXPECT_EQ(b.m_bHover, 0);
  EXPECT_EQ(b.m_bTracking, 0);
  EXPECT_TRUE(topIs(QColor(255, 255, 255)));
  EXPECT_EQ(CBaseButton::Scheme(2, false).second, QColor(255, 0, 0));
}

TEST(BaseButton, TheCornerLabelStaysInItsBoxAndTheCaptionIs14PixelsHighAnd6Wide) {
  QWidget parent;
  CBaseButton b;
  b.Create(QStringLiteral("34"), QRect(10, 10, 70, 25), &parent, 1333);
  b.SetCaption(QStringLiteral("Hall"));
  parent.show();
  // White face, black caption and border: anything red is the corner label.
  const QImage face = b.grab().toImage();
  int inside = 0, outside = 0;
  for (int y = 0; y < face.height(); ++y)
    for (int x = 0; x < face.width(); ++x) {
      const QColor c = face.pixelColor(x, y);
      if (c.red() - c.green() < 60) continue;
      ++(CBaseButton::kCornerBox.contains(x, y) ? inside : outside);
    }
  EXPECT_GT(inside, 4);
  EXPECT_EQ(outside, 0);

  const QFont caption = CBaseButton::CaptionFont();
  EXPECT_EQ(caption.pixelSize(), 14);
  const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
  EXPECT_NEAR(QFontMetricsF(caption).horizontalAdvance(letters) / letters.size(), 6.0, 0.5)
      << QFontInfo(caption).family().toStdString();
}

}  // namespace
}  // namespace panora::test

namespace panora::test {
namespace {

// The remote control's requests run the operator's own handlers: the same
// frames reach the processor, the same busy rule refuses, a change made
// without a link is shown and counted.
TEST_F(ModesTest, RemoteRequestsDoWhatTheOperatorsControlsDo) {
  remote::ApiHost& api = f->Remote();
  EXPECT_EQ(api.RecallMode(14).status, 200);  // a quick mode's button
  EXPECT_EQ(f->m_nCurMod, 14);
  ASSERT_TRUE(SimReaches(14));
  f->Modes().AssignToolButton(3, 30);
  EXPECT_EQ(api.RecallMode(30).status, 200);  // a tool button's
  ASSERT_TRUE(SimReaches(30));
  EXPECT_EQ(api.RecallMode(30).status, 200);  // the live mode: nothing
  // Output pixels come back as given; sizing only where corners size.
  EXPECT_EQ(api.SetWindow(2, 100, 50, 960, 540).status, 200);
  EXPECT_EQ(f->Windows().OutputOf(1), (OutputGeometry{100, 50, 960, 540}));
  EXPECT_TRUE(WaitUntil([&] { return sim->Server().GetState().setUp.geometry[1] == sim::Geometry{100, 50, 960, 540}; }));
  EXPECT_EQ(api.SetWindow(2, 1900, 0, 960, 540).status, 400);
  EXPECT_EQ(api.RecallMode(8).status, 200);
  const remote::ApiResult stretch = api.SetWindow(2, 0, 0, 960, 540);
  EXPECT_EQ(stretch.status, 400);
  EXPECT_NE(stretch.body.find("only move"), std::string::npos);
  const remote::ApiResult layers = api.SetLayers({std::nullopt, {1, 4, 3, 2}});
  EXPECT_EQ(layers.status, 400);  // not in a full mode, and the answer says where
  EXPECT_NE(layers.body.find("13..20"), std::string::npos);
  // While a batch goes out: refused, nothing changed.
  f->m_bSending = 1;
  EXPECT_EQ(api.RecallMode(13).status, 409);
  EXPECT_EQ(f->m_nCurMod, 8);
  f->m_bSending = 0;
  // No link: applied on screen, counted, 503.
  f->OnDisconnect();
  const remote::ApiResult offline = api.RecallMode(13);
  EXPECT_EQ(offline.status, 503);
  EXPECT_EQ(f->m_nCurMod, 13);
  EXPECT_EQ(f->Link().Unsent(), 1);
  EXPECT_EQ(api.SendSetup(false).status, 503);
  // The state says all of it.
  const std::string state = api.StateJson();
  for (const char* part : {"\"mode\":13", "\"modeName\":\"PIP-Default 1\"", "\"changesNotSent\":1",
                           "\"state\":\"not connected\"", "\"toolButtons\":[null,null,null,30"})
    EXPECT_NE(state.find(part), std::string::npos) << part << " in " << state;
}


// An events client over a plain socket: the handshake, then each text
// frame the server sends (unmasked, as a server's are) as one string.
class EventsClient {
 public:
  explicit EventsClient(int port) {
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    EXPECT_TRUE(m_socket.waitForConnected(3000));
    m_socket.write(QStringLiteral("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nUpgrade: websocket\r\n"
                                  "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                  "Sec-WebSocket-Version: 13\r\n\r\n")
                       .arg(port)
                       .toLatin1());
    EXPECT_TRUE(WaitUntil([&] { Read(); return m_open; }));
  }
  // Waits for an event that holds `part`; false when none comes in time.
  bool Has(const std::string& part) {
    return WaitUntil([&] {
      Read();
      return std::any_of(m_events.begin(), m_events.end(),
                         [&](const std::string& e) { return e.find(part) != std::string::npos; });
    }, 2000);
  }
  void Clear() { Read(); m_events.clear(); }

 private:
  void Read() {
    m_buffer += m_socket.readAll();
    if (!m_open) {
      const qsizetype end = m_buffer.indexOf("\r\n\r\n");
      if (end < 0) return;
      m_open = m_buffer.startsWith("HTTP/1.1 101");
      m_buffer.remove(0, end + 4);
    }
    while (m_buffer.size() >= 2) {
      qsizetype length = static_cast<unsigned char>(m_buffer[1]) & 0x7F, at = 2;
      if (length == 126) {
        if (m_buffer.size() < 4) return;
        length = (static_cast<unsigned char>(m_buffer[2]) << 8) | static_cast<unsigned char>(m_buffer[3]);
        at = 4;
      }
      if (m_buffer.size() < at + length) return;
      if ((m_buffer[0] & 0x0F) == 1) m_events.push_back(m_buffer.mid(at, length).toStdString());
      m_buffer.remove(0, at + length);
    }
  }
  QTcpSocket m_socket;
  QByteArray m_buffer;
  bool m_open = false;
  std::vector<std::string> m_events;
};


// Inputs and output display are sent at once by their panel, so a request
// for them while a batch goes out would slip between the batch's frames and
// be overwritten by the batch's older values: refused like the others.
TEST_F(ModesTest, RemoteInputsAndDisplayAreRefusedWhileABatchGoesOut) {
  remote::ApiHost& api = f->Remote();
  f->m_bSending = 1;
  EXPECT_EQ(api.SetInputs({std::nullopt, 3, std::nullopt, std::nullopt}).status, 409);
  remote::DisplayRequest display;
  display.all = std::array<bool, 4>{true, false, false, false};
  EXPECT_EQ(api.SetDisplay(display).status, 409);
  f->m_bSending = 0;
  EXPECT_EQ(f->ChannelFrame(1)->View()->m_nInput, 1);
  EXPECT_TRUE(f->MainSet().m_chkDispCh[1]->isChecked());
}

// {"CH2": 3}: CH2 takes In3 and the other channels keep what they show, even
// when the operator has pressed another radio on the panel without Set.
TEST_F(ModesTest, ARemoteInputsRequestSetsOnlyTheChannelsItNames) {
  f->MainSet().m_grpInSel[0]->button(3)->setChecked(true);  // CH1 In4, not set
  EXPECT_EQ(f->Remote().SetInputs({std::nullopt, 3, std::nullopt, std::nullopt}).status, 200);
  EXPECT_EQ(f->ChannelFrame(1)->View()->m_nInput, 2);
  EXPECT_EQ(f->ChannelFrame(0)->View()->m_nInput, 0);
}

// The processor gone (the pane says "lost"): a request is applied on screen,
// counted and answered 503 at once, with no box that would hold the answer
// until someone at the program clicks it away.
TEST_F(ModesTest, ARemoteRequestAfterTheProcessorIsGoneAnswers503WithoutABox) {
  sim.reset();
  ASSERT_TRUE(WaitUntil([&] { return f->LinkStatus()->State().phase() == LinkState::Phase::Lost; }));
  remote::ApiHost& api = f->Remote();
  EXPECT_EQ(api.RecallMode(13).status, 503);
  EXPECT_EQ(api.SetInputs({std::nullopt, 3, std::nullopt, std::nullopt}).status, 503);
  EXPECT_EQ(f->m_nCurMod, 13);
  EXPECT_EQ(f->Link().Unsent(), 2);
  EXPECT_TRUE(dialogs.Boxes().empty());
}

// A client that keeps the state from the events sees what a new read of the
// state says: a recall resets the panels' settings, the operator's
// resolution Set turns the same windows into other output pixels.
TEST_F(ModesTest, RemoteEventsKeepAClientsStateAsTheStateSays) {
  RemoteOptions o;
  o.port = 0;
  std::string why;
  ASSERT_TRUE(f->Remote().Start(o, &why)) << why;
  EventsClient events(f->Remote().Server().Port());
  remote::DisplayRequest display;
  display.all = std::array<bool, 4>{true, false, false, false};
  ASSERT_EQ(f->Remote().SetDisplay(display).status, 200);
  events.Clear();
  ClickToolbar(ID_QUICK_MODE_FIRST + 4);  // PIP-Default 1: every channel shown again
  EXPECT_NE(f->Remote().StateJson().find("\"display\":[[true,true,true,true]"), std::string::npos);
  ASSERT_TRUE(events.Has("\"event\":\"mode\",\"mode\":13"));
  EXPECT_TRUE(events.Has("\"display\":[[true,true,true,true]")) << "no settings event after a recall";

  events.Clear();
  CDlgMainSet& panel = f->MainSet();
  panel.m_cbAllOutRes->setCurrentIndex(1);  // 720P
  panel.m_btnResolutionSet->click();
  EXPECT_NE(f->Remote().StateJson().find("\"channel\":1,\"h\":720,\"w\":1280"), std::string::npos);
  EXPECT_TRUE(events.Has("\"channel\":1,\"event\":\"window\",\"h\":720,\"w\":1280"))
      << "no window event after the operator's resolution Set";
  f->Remote().Stop();
}

}  // namespace
}  // namespace panora::test
