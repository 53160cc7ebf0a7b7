// Small helpers the tab pages share to build their controls: ids as object
// names, compact group grids and radio groups bound to integer members.
#pragma once

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QString>
#include <QWidget>

namespace panora::panel {

template <typename W>
W* Named(W* w, int id) {
  w->setObjectName(QString::number(id));
  return w;
}

inline QGridLayout* Grid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(6, 4, 6, 6);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(4);
  return grid;
}

// The pages were laid out for a narrow 8-point dialog font; Arial (or its
// metric twin) keeps them within the bar's width, as in the main panel.
inline void UseDialogFont(QWidget* page) {
  QFont f(QStringLiteral("Arial"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  page->setFont(f);
}

// Shows radio value `id` in `group`; a value without a button clears the
// group, as a radio value out of range shows no choice.
inline void ShowRadio(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) {
    b->setChecked(true);
    return;
  }
  group->setExclusive(false);
  for (QAbstractButton* b : group->buttons()) b->setChecked(false);
  group->setExclusive(true);
}

}  // namespace panora::panel
