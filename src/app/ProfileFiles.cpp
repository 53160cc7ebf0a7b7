#include "app/ProfileFiles.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "app/Dialogs.h"
#include "app/MainFrame.h"
#include "model/ModeController.h"
#include "model/Paths.h"
#include "model/Profile.h"

namespace panora {

namespace {
const QString kProfileFilter = QStringLiteral("(*.cfg)");
constexpr char kProgram[] = "Panora";

QString FileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName();
}
}  // namespace

CProfileFiles::CProfileFiles(CMainFrame& frame, QMenu* fileMenu)
    : QObject(&frame), m_frame(frame), m_menu(fileMenu), m_recent(NetSettingsPath()) {
  m_recentSeparator = m_menu->addSeparator();
  m_recent.Load();
  RebuildRecent();
}

std::string CProfileFiles::CurrentFile() const {
  const std::string& path = m_frame.m_Profile.m_strProfilePath;
  return path.empty() ? StartupProfilePath() : path;
}

QString CProfileFiles::Caption() const {
  return QStringLiteral("%1 - %2").arg(FileName(CurrentFile()), QString::fromLatin1(kProgram));
}

void CProfileFiles::UpdateCaption() {
  if (m_frame.windowTitle() != Caption()) m_frame.setWindowTitle(Caption());
}

void CProfileFiles::OnOpen() {
  const QString path = Dialogs().OpenFileName(&m_frame, QStringLiteral("Open"),
                                              QString::fromStdString(DataFolder()), kProfileFilter);
  if (path.isEmpty()) return;
  Open(QFile::encodeName(path).toStdString());
}

bool CProfileFiles::Open(const std::string& path) {
  // All or nothing: a broken file leaves every member as it was.
  if (!ReadProfile(path, m_frame.m_Profile)) {
    MessageBox(&m_frame, QString::fromLatin1(kBrokenProfileText));
    return false;
  }
  m_recent.Add(path);
  RebuildRecent();
  UpdateCaption();
  m_frame.Modes().AfterOpen();
  return true;
}

void CProfileFiles::OpenRecent(int index) {
  if (index < 0 || index >= static_cast<int>(m_recent.Files().size())) return;
  const std::string path = m_recent.Files()[static_cast<std::size_t>(index)];
  if (!QFileInfo::exists(QString::fromStdString(path))) {
    MessageBox(&m_frame, QStringLiteral("The profile %1 is no longer there.").arg(QString::fromStdString(path)),
               kMbOk | kMbIconWarning);
    m_recent.Remove(path);
    RebuildRecent();
    return;
  }
  Open(path);
}

void CProfileFiles::OnSave() {
  // Once a profile was read or written, "Save" writes the start-up profile.
  if (!m_frame.m_Profile.m_strProfilePath.empty()) {
    m_frame.m_Profile.m_strProfilePath = StartupProfilePath();
    SaveReporting(m_frame.m_Profile.m_strProfilePath);
    return;
  }
  OnSaveAs();
}

void CProfileFiles::OnSaveAs() {
  QString path = Dialogs().SaveFileName(&m_frame, QStringLiteral("Save as"),
                                        QString::fromStdString(DataFolder()), kProfileFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".cfg");
  const std::string file = QFile::encodeName(path).toStdString();
  if (SaveReporting(file)) {
    m_recent.Add(file);
    RebuildRecent();
  }
}

bool CProfileFiles::SaveReporting(const std::string& path) {
  ProfileError err;
  m_frame.KeepWindowsInRecord();
  const bool ok = SaveProfileTo(m_frame.m_Profile, path, &err);
  UpdateCaption();
  if (ok) {
    m_frame.AddInfo(QStringLiteral("Saved to %1").arg(QString::fromStdString(RecentFiles::Normal(path))));
    return true;
  }
  // The writer replaces the file only once the new one is complete.
  MessageBox(&m_frame,
             QStringLiteral("The set-up could not be saved to\n%1\n\n%2")
                 .arg(QString::fromStdString(path), QString::fromStdString(err.message)),
             kMbOk | kMbIconError);
  return false;
}

void CProfileFiles::AfterStartup() {
  UpdateCaption();
  const std::string last = m_recent.LastExitSave();
  const std::string startup = StartupProfilePath();
  if (last.empty() || RecentFiles::SameFile(last, startup)) return;
  // The exit save follows the profile opened last; this start read the
  // start-up profile, so the work of last time is in that other file. Two
  // files of one name are told apart by their folders.
  QString saved = FileName(last), read = FileName(startup);
  if (saved == read) {
    saved = QString::fromStdString(RecentFiles::Normal(last));
    read = QString::fromStdString(RecentFiles::Normal(startup));
  }
  m_frame.AddInfo(QStringLiteral("Last exit saved to %1, not %2").arg(saved, read));
}

void CProfileFiles::ExitSaved() {
  m_recent.SetLastExitSave(CurrentFile());
}

void CProfileFiles::RebuildRecent() {
  for (QAction* a : m_recentActions) {
    m_menu->removeAction(a);
    a->deleteLater();
  }
  m_recentActions.clear();
  const std::vector<std::string>& files = m_recent.Files();
  m_recentSeparator->setVisible(!files.empty());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const QString full = QString::fromStdString(files[i]);
    // "R&D.cfg" is shown as written, not as "RD.cfg" with D underlined.
    QString name = FileName(files[i]);
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name), m_menu);
    a->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
    a->setToolTip(full);
    a->setStatusTip(full);
    const int index = static_cast<int>(i);
    connect(a, &QAction::triggered, this, [this, index] { OpenRecent(index); });
    m_menu->addAction(a);
    m_recentActions.push_back(a);
  }
}

}  // namespace panora
