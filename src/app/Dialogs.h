// Every message box and modal dialog of the program goes through this facade,
// so that a test can answer them with preset buttons instead of waiting on a
// modal window. The desktop implementation is the default.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace panora {

// Buttons of a message box, and the answers, numbered as the classic
// message box numbers them.
inline constexpr int kMbOk = 0, kMbOkCancel = 1, kMbYesNoCancel = 3, kMbYesNo = 4;
inline constexpr int kMbIconNone = 0, kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconWarning = 0x30,
                     kMbIconInfo = 0x40;
inline constexpr int kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7;

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // A message box with the program's name as caption; `type` is buttons | icon.
  // Returns the button pressed (kIdOk, kIdCancel, kIdYes, kIdNo).
  virtual int MessageBox(QWidget* parent, const QString& text, int type = kMbOk) = 0;

  // Runs a modal dialog; kIdOk when it was accepted, kIdCancel otherwise.
  virtual int Exec(QDialog& dialog) = 0;

  // File choosers; an empty result means cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                               const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                               const QString& filter) = 0;
  // The same, for a caller whose filters mean different formats: also hands
  // back the filter chosen (empty when unknown).
  virtual QString SaveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir,
                                        const QString& filter, QString* chosenFilter) {
    if (chosenFilter != nullptr) chosenFilter->clear();
    return SaveFileName(parent, caption, dir, filter);
  }
};

// The suffix a file filter stands for: "csv" for "CSV (*.csv)", the first
// one when it names several; empty when it names none.
QString FilterSuffix(const QString& filter);

// The facade in use.
IDialogs& Dialogs();
// Installs another implementation (tests); nullptr restores the desktop one.
// The caller keeps ownership.
void SetDialogs(IDialogs* dialogs);

// Shortcut for the common case, as the classic one-line message box.
inline int MessageBox(QWidget* parent, const QString& text, int type = kMbOk) {
  return Dialogs().MessageBox(parent, text, type);
}

}  // namespace panora
