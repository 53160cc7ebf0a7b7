// Helpers of the widget tests: a dialog facade that answers with preset
// buttons, a fresh data folder per test, and the program started as a process.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QDialog>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/Dialogs.h"

namespace panora::test {

// Answers message boxes and modal dialogs in the order the test expects them.
// A box or dialog that was not expected fails the test and is cancelled; one
// that was expected but never came fails it too.
class ScriptedDialogs : public IDialogs {
 public:
  ScriptedDialogs() : m_previous(&Dialogs()) { SetDialogs(this); }
  ~ScriptedDialogs() override {
    SetDialogs(m_previous);
    for (const Expected& e : m_expected)
      ADD_FAILURE() << "expected a box or dialog that never came: " << e.what;
  }

  // The next message box must contain `text`; it is answered with `answer`.
  void ExpectBox(const std::string& text, int answer = kIdOk) {
    m_expected.push_back({true, text, answer, {}});
  }
  // The next modal dialog must have this object name; `answer` fills and ends it.
  void ExpectDialog(const std::string& objectName, std::function<int(QDialog&)> answer) {
    m_expected.push_back({false, objectName, 0, std::move(answer)});
  }
  // The next file chooser (open or save) must come; it returns `path` ("" = cancelled).
  void ExpectOpenFile(const std::string& path) { m_expected.push_back({false, kOpenFile, 0, {}, path}); }
  // `filter`: the filter the chooser reports as chosen.
  void ExpectSaveFile(const std::string& path, const std::string& filter = {}) {
    m_expected.push_back({false, kSaveFile, 0, {}, path, filter});
  }
  const std::vector<std::string>& Boxes() const { return m_boxes; }

  int MessageBox(QWidget*, const QString& text, int) override {
    m_boxes.push_back(text.toStdString());
    if (m_expected.empty() || !m_expected.front().box ||
        text.toStdString().find(m_expected.front().what) == std::string::npos) {
      ADD_FAILURE() << "unexpected message box: " << text.toStdString();
      return kIdCancel;
    }
    const int answer = m_expected.front().answer;
    m_expected.pop_front();
    return answer;
  }
  int Exec(QDialog& dialog) override {
    if (m_expected.empty() || m_expected.front().box || !m_expected.front().dialog ||
        dialog.objectName().toStdString() != m_expected.front().what) {
      ADD_FAILURE() << "unexpected dialog: " << dialog.objectName().toStdString() << " \""
                    << dialog.windowTitle().toStdString() << "\"";
      return kIdCancel;
    }
    auto answer = std::move(m_expected.front().dialog);
    m_expected.pop_front();
    return answer(dialog);
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString&, const QString&) override {
    return FileChosen(kOpenFile, caption);
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString&, const QString&) override {
    return FileChosen(kSaveFile, caption);
  }
  QString SaveFileNameAndFilter(QWidget*, const QString& caption, const QString&, const QString&,
                                QString* chosenFilter) override {
    const std::string filter = m_expected.empty() ? std::string() : m_expected.front().filter;
    if (chosenFilter != nullptr) *chosenFilter = QString::fromStdString(filter);
    return FileChosen(kSaveFile, caption);
  }

 private:
  static constexpr char kOpenFile[] = "<open file>";
  static constexpr char kSaveFile[] = "<save file>";
  struct Expected {
    bool box;
    std::string what;
    int answer;
    std::function<int(QDialog&)> dialog;
    std::string path = {};
    std::string filter = {};
  };
  QString FileChosen(const char* kind, const QString& caption) {
    if (m_expected.empty() || m_expected.front().box || m_expected.front().what != kind) {
      ADD_FAILURE() << "unexpected file chooser: " << caption.toStdString();
      return {};
    }
    const QString path = QString::fromStdString(m_expected.front().path);
    m_expected.pop_front();
    return path;
  }
  IDialogs* m_previous;
  std::deque<Expected> m_expected;
  std::vector<std::string> m_boxes;
};

// Answers a dialog by clicking one of its buttons, as the operator would;
// the dialog's own handling decides the result.
inline std::function<int(QDialog&)> ClickButton(const QString& objectName) {
  return [objectName](QDialog& d) {
    auto* b = d.findChild<QAbstractButton*>(objectName);
    EXPECT_NE(b, nullptr) << "no button " << objectName.toStdString() << " in "
                          << d.objectName().toStdString();
    if (b != nullptr) b->click();
    return d.result() == QDialog::Accepted ? kIdOk : kIdCancel;
  };
}

// Performs the first accessible action of `w`, as a screen reader's
// "activate" does; fails when `w` offers none or the first is not "Press".
inline void AccessiblePress(QWidget* w) {
  QAccessibleInterface* i = w != nullptr ? QAccessible::queryAccessibleInterface(w) : nullptr;
  QAccessibleActionInterface* a = i != nullptr ? i->actionInterface() : nullptr;
  ASSERT_NE(a, nullptr) << (w != nullptr ? w->objectName().toStdString() : "null widget");
  ASSERT_FALSE(a->actionNames().isEmpty()) << w->objectName().toStdString();
  EXPECT_EQ(a->actionNames().first(), QAccessibleActionInterface::pressAction()) << w->objectName().toStdString();
  a->doAction(QAccessibleActionInterface::pressAction());
}

// The facade of the test programs whenever no ScriptedDialogs is in place:
// every box or dialog fails the running test and is cancelled at once, so
// that a test that forgot to expect one fails instead of waiting on a modal
// window that nobody will close.
class NoDialogsExpected final : public IDialogs {
 public:
  int MessageBox(QWidget*, const QString& text, int) override {
    ADD_FAILURE() << "message box while no test expected one: " << text.toStdString();
    return kIdCancel;
  }
  int Exec(QDialog& dialog) override {
    ADD_FAILURE() << "dialog while no test expected one: " << dialog.objectName().toStdString() << " \""
                  << dialog.windowTitle().toStdString() << "\"";
    return kIdCancel;
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString&, const QString&) override {
    ADD_FAILURE() << "file chooser while no test expected one: " << caption.toStdString();
    return {};
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString&, const QString&) override {
    ADD_FAILURE() << "file chooser while no test expected one: " << caption.toStdString();
    return {};
  }
};

// A new empty folder as PANORA_HOME for the life of the object.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  const std::string& Path() const { return m_path; }
  std::string ProfilePath() const { return m_path + "/VideoLib/default.cfg"; }

 private:
  std::string m_path;
  std::string m_old;
  bool m_hadOld = false;
};

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not exit normally
  int signal = 0;
  std::string out;
  std::string err;
};

// Runs build/bin/panora with `args`, the offscreen platform and the given
// extra environment ("NAME=value", replacing an inherited value); waits for
// its end. fileLimit > 0: at most that many files open at once.
ProcessResult RunPanora(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        int fileLimit = 0);

// Processes pending events for about `ms` milliseconds.
void Pump(int ms = 0);

}  // namespace panora::test
