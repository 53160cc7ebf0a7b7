// The bezel page, third page of the tab control: the horizontal and vertical
// bezel sizes the processor uses in the zoom-out modes. "Get" asks the
// processor through the reply-wait worker and its answer fills the boxes;
// "Set" sends what the boxes hold. Nothing is kept in the record.
#pragma once

#include <QWidget>

#include "panels/ModeRefresh.h"

class QLineEdit;
class QPushButton;

namespace panora {

class PanelHost;

class CDlgBorderSet : public QWidget, public ModeRefresh {
  Q_OBJECT
 public:
  static constexpr const char* kNote =
      "This block setting is avilable only in zoom out 3times or 4times mode.adjust the bezel size for "
      "compensating in the zoom out 3times or 4times";

  static constexpr int kSetId = 1135;

  explicit CDlgBorderSet(PanelHost& host, QWidget* parent = nullptr);

  // The page has no members of its own: the values live in the boxes.
  void UpdateData(bool) {}

  void OnBezelGet();
  // False (after a message box, nothing sent) when a box holds more than 48.
  bool OnBezelSet();
  // The processor's answer to "Get", values already limited to 0..48.
  void ShowBezel(int h, int v);

  // Its part in a mode change: "Get" only in the zoom-out modes, "Set"
  // again only after the next answer.
  void RefreshBezelEnabling(const ModeRefreshContext& c) override;
  void TransferOut() override { UpdateData(false); }

  QLineEdit* m_edH = nullptr;       // 1133
  QLineEdit* m_edV = nullptr;       // 1098
  QPushButton* m_btnGet = nullptr;  // 1134
  QPushButton* m_btnSet = nullptr;  // 1135

 private:
  PanelHost& m_host;
};

}  // namespace panora
