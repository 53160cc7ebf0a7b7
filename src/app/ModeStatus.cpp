#include "app/ModeStatus.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>

#include "model/ModeTable.h"
#include "model/Profile.h"

namespace panora {

CModeStatus::CModeStatus(const int& curMod, const CProfile& profile, QStatusBar* bar,
                         std::vector<QAction*> quick, std::vector<QAction*> tools, QObject* parent)
    : QObject(parent),
      m_curMod(curMod),
      m_profile(profile),
      m_pane(new QLabel),
      m_quick(std::move(quick)),
      m_tools(std::move(tools)) {
  m_pane->setObjectName(QStringLiteral("modePane"));
  m_pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_pane->setMinimumWidth(
      m_pane->fontMetrics().horizontalAdvance(QStringLiteral("3Times-Default 4 · MMMMMMMMMM")));
  m_pane->setAccessibleDescription(QStringLiteral("Current mode"));
  bar->addPermanentWidget(m_pane);
  for (QAction* a : m_quick) a->setCheckable(true);
  for (QAction* a : m_tools) a->setCheckable(true);
  // A click toggles a checkable button on its own; the mark follows the
  // mode, so it is put right once the command has run (or changed nothing).
  for (const auto* list : {&m_quick, &m_tools})
    for (QAction* a : *list) connect(a, &QAction::triggered, this, &CModeStatus::Update);
}

QString CModeStatus::Text(int mode, const std::string& name) {
  const ModeInfo* info = IsValidMode(mode) ? FindMode(mode) : nullptr;
  if (info == nullptr) return {};
  return QStringLiteral("%1 %2 · %3")
      .arg(QString::fromLatin1(info->groupName))
      .arg(info->variant)
      .arg(QString::fromStdString(name));
}

void CModeStatus::Update() {
  const int mode = m_curMod;
  const QString text = Text(mode, m_profile.ModeName(mode));
  if (m_pane->text() != text) m_pane->setText(text);
  for (std::size_t i = 0; i < m_quick.size() && i < kQuickModes.size(); ++i)
    m_quick[i]->setChecked(IsValidMode(mode) && kQuickModes[i] == mode);
  for (std::size_t i = 0; i < m_tools.size() && i < m_profile.m_nToolMode.size(); ++i)
    m_tools[i]->setChecked(IsValidMode(mode) && m_profile.m_nToolMode[i] == mode);
}

}  // namespace panora
