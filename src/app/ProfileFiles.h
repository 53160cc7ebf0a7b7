// The File menu's profiles: Open, Save and Save as, the recently used
// profiles, and which file holds the set-up now. The window's title names
// the file the exit save will write, and the information list says where a
// Save went and, at a start, where the last exit saved when that was not the
// start-up profile.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "model/RecentFiles.h"

class QAction;
class QMenu;

namespace panora {

class CMainFrame;

class CProfileFiles : public QObject {
  Q_OBJECT
 public:
  // The recent entries go at the end of `fileMenu`.
  CProfileFiles(CMainFrame& frame, QMenu* fileMenu);

  void OnOpen();
  void OnSave();
  void OnSaveAs();
  // Opens a profile as "Open" does after its dialog; false when it could not be read.
  bool Open(const std::string& path);
  // Opens recent entry i (0 = newest).
  void OpenRecent(int index);

  // Once the start-up profile is read: tells where the last exit saved.
  void AfterStartup();
  // The exit save wrote the set-up: remember where.
  void ExitSaved();

  // "lobby.cfg - Panora": the file the exit save would write now.
  QString Caption() const;
  void UpdateCaption();

  const RecentFiles& Recent() const { return m_recent; }
  const std::vector<QAction*>& RecentActions() const { return m_recentActions; }

 private:
  bool SaveReporting(const std::string& path);
  void RebuildRecent();
  std::string CurrentFile() const;

  CMainFrame& m_frame;
  QMenu* m_menu;
  QAction* m_recentSeparator = nullptr;
  std::vector<QAction*> m_recentActions;
  RecentFiles m_recent;
};

}  // namespace panora
