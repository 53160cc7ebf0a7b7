#include "app/dialogs/DlgModSet.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/Dialogs.h"
#include "app/dialogs/DlgModeNameSet.h"
#include "app/dialogs/DlgToolNumSet.h"
#include "model/ModeController.h"
#include "ui/BaseButton.h"

namespace panora {

namespace {
QString RadioName(const QString& modeName) {
  return QStringLiteral("Select %1").arg(modeName);
}
}  // namespace

CDlgModSet::CDlgModSet(int purpose, int initMod, ModeController& modes, QWidget* parent)
    : QDialog(parent), m_nPurpose(purpose), m_nInitMod(initMod), m_modes(modes) {
  setObjectName(QStringLiteral("164"));
  const bool load = m_nPurpose == kLoad;
  setWindowTitle(load ? QStringLiteral("Load Mode") : QStringLiteral("Edit Mode"));

  // Eight rows, one per group; radio at (x, y + 3), button at (x + 18, y),
  // the next column 110 pixels further right.
  auto* radios = new QButtonGroup(this);
  int right = 0;
  for (int row = 0; row < 8; ++row) {
    const ModeGroupInfo& g = ModeGroups()[row];
    auto* label = new QLabel(QStringLiteral("%1:").arg(QString::fromLatin1(g.name)), this);
    const int top = kRowTop + row * kRowPitch;
    label->setGeometry(kLabelLeft, top, kLabelWidth, 25);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int v = 0; v < g.count; ++v) {
      const int mode = g.firstMode + v;
      const int x = kLabelLeft + kLabelWidth + kColumnGap + v * kColumnPitch;
      const QString name = QString::fromStdString(m_modes.ModeName(mode));
      auto* radio = new QRadioButton(this);
      radio->setObjectName(QString::number(1350 + mode));
      radio->setGeometry(x, top + 3, 16, 16);
      radio->setAccessibleName(RadioName(name));
      radios->addButton(radio, mode);
      m_radios[mode] = radio;
      auto* button = new CBaseButton;
      button->Create(name, QRect(x + 18, top, 70, 25), this, 1300 + mode);
      // The corner keeps the number even after the caption became a name.
      button->m_strCorner = QString::fromStdString(DefaultModeName(mode));
      connect(button, &QPushButton::clicked, this, [this, mode] { OnModeButton(mode); });
      m_buttons[mode] = button;
      right = std::max(right, x + 18 + 70);
    }
  }
  connect(radios, &QButtonGroup::idClicked, this, [this](int mode) {
    if (m_nPurpose == kEdit) Select(mode);
  });

  // The selected mode's name and tool button, and the two edits' commands.
  int y = kRowTop + 8 * kRowPitch + 10;
  auto* note = new QLabel(this);
  note->setObjectName(QStringLiteral("1148"));
  note->hide();
  auto* nameLabel = new QLabel(QStringLiteral("Mode name:"), this);
  nameLabel->setObjectName(QStringLiteral("1150"));
  nameLabel->setGeometry(kLabelLeft, y, kLabelWidth, 24);
  m_nameEdit = new QLineEdit(this);
  m_nameEdit->setObjectName(QStringLiteral("1095"));
  m_nameEdit->setReadOnly(true);
  m_nameEdit->setGeometry(kLabelLeft + kLabelWidth + kColumnGap, y, 160, 24);
  m_nameEdit->setAccessibleName(QStringLiteral("Mode name"));
  nameLabel->setBuddy(m_nameEdit);
  m_setName = new QPushButton(QStringLiteral("Set Name"), this);
  m_setName->setObjectName(QStringLiteral("1088"));
  m_setName->setGeometry(kLabelLeft + kLabelWidth + kColumnGap + 180, y - 1, 160, 26);
  m_setName->setAutoDefault(false);
  y += 34;
  auto* toolLabel = new QLabel(QStringLiteral("Tool button:"), this);
  toolLabel->setObjectName(QStringLiteral("1151"));
  toolLabel->setGeometry(kLabelLeft, y, kLabelWidth, 24);
  m_toolEdit = new QLineEdit(this);
  m_toolEdit->setObjectName(QStringLiteral("1096"));
  m_toolEdit->setReadOnly(true);
  m_toolEdit->setGeometry(kLabelLeft + kLabelWidth + kColumnGap, y, 160, 24);
  m_toolEdit->setAccessibleName(QStringLiteral("Tool button"));
  toolLabel->setBuddy(m_toolEdit);
  m_setTool = new QPushButton(QStringLiteral("Set Shortcut Button"), this);
  m_setTool->setObjectName(QStringLiteral("1089"));
  m_setTool->setGeometry(kLabelLeft + kLabelWidth + kColumnGap + 180, y - 1, 160, 26);
  m_setTool->setAutoDefault(false);
  connect(m_setName, &QPushButton::clicked, this, &CDlgModSet::OnSetName);
  connect(m_setTool, &QPushButton::clicked, this, &CDlgModSet::OnSetTool);

  // Load purpose shows the grid alone.
  if (load) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{nameLabel, m_nameEdit, m_setName, toolLabel, m_toolEdit, m_setTool})
      w->hide();
    for (QRadioButton* r : m_radios) r->hide();
    y = kRowTop + 8 * kRowPitch - 34;
  }
  y += 40;
  m_close = new QPushButton(QStringLiteral("Close"), this);
  m_close->setObjectName(QStringLiteral("2"));
  m_close->setAutoDefault(false);
  m_close->setGeometry(right - 90, y, 90, 26);
  connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(right + kLabelLeft + 4, y + 26 + 12);

  // The caller's mode starts selected. The mode buttons show no focus, so
  // the keyboard starts on "Close": a key pressed at once recalls nothing.
  if (IsValidMode(m_nInitMod)) Select(m_nInitMod);
  m_close->setFocus();
}

void CDlgModSet::Select(int mode) {
  if (IsValidMode(m_nSelMod)) {
    m_radios[m_nSelMod]->setChecked(false);
    m_buttons[m_nSelMod]->SetStyle(CBaseButton::kStyleNormal);
  }
  m_nSelMod = mode;
  m_radios[mode]->setChecked(true);
  m_buttons[mode]->SetStyle(CBaseButton::kStyleSelected);
  m_nameEdit->setText(m_buttons[mode]->m_strCaption);
  ShowTool();
  update();
}

void CDlgModSet::ShowTool() {
  const int tool = m_modes.FirstToolButtonOf(m_nSelMod);
  m_toolEdit->setText(tool >= 0 ? QString::number(tool + 1) : QString());
}

void CDlgModSet::OnModeButton(int mode) {
  if (m_nPurpose != kLoad) {
    Select(mode);
    return;
  }
  m_nSelMod = m_nRetMod = mode;
  const ModeInfo* info = FindMode(mode);
  m_nRetCmd = info->recallCommand;
  m_nRetSub = info->recallSubCode;
  m_bChosen = true;
  QDialog::accept();
}

void CDlgModSet::accept() {
  // In load purpose an accept that no mode button chose would carry mode 0.
  if (m_nPurpose == kLoad && !m_bChosen) {
    reject();
    return;
  }
  QDialog::accept();
}

void CDlgModSet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter chooses nothing; a mode is chosen by its button (click or Space).
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CDlgModSet::OnSetName() {
  if (!IsValidMode(m_nSelMod)) return;
  CDlgModeNameSet dlg(m_buttons[m_nSelMod]->m_strCaption, this);
  if (Dialogs().Exec(dlg) != kIdOk) return;
  std::string why;
  if (!m_modes.SetModeName(m_nSelMod, dlg.m_strName.toStdString(), &why)) {
    MessageBox(this, QString::fromStdString(why), kMbOk | kMbIconWarning);
    return;
  }
  m_nameEdit->setText(dlg.m_strName);
  m_buttons[m_nSelMod]->SetCaption(dlg.m_strName);
  m_radios[m_nSelMod]->setAccessibleName(RadioName(dlg.m_strName));
  update();
}

void CDlgModSet::OnSetTool() {
  if (!IsValidMode(m_nSelMod)) return;
  CDlgToolNumSet dlg(m_modes.ToolModes(), 0, this);
  if (Dialogs().Exec(dlg) != kIdOk || dlg.m_nResult < 0) return;
  m_modes.AssignToolButton(dlg.m_nResult, m_nSelMod);
  m_toolEdit->setText(QString::number(dlg.m_nResult + 1));
}

}  // namespace panora
