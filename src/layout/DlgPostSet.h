// The channel position dialog ("176"), opened by "Window adjustment" with the
// processor's answer: the current channel's window as four edges in output
// pixels, each nudged one pixel at a time with "-" and "+". Every nudge sends
// the whole window (0x30) at once, so the processor's picture follows each
// click; the channel windows of the layout area stay where they are.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "model/FullSetPayloads.h"

class QLineEdit;
class QPushButton;

namespace panora {

class PanelHost;

class CDlgPostSet : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgPostSet(PanelHost& host, QWidget* parent = nullptr);

  // What the opener sets before running it: the channel and the answered
  // window X, Y, W, H; the edges follow from them.
  void Open(int channel, int x, int y, int w, int h);

  // "+" (delta 1) or "-" (delta -1) on an edge; "-" at 0 does nothing.
  // Sent at once, even while a worker batch goes out: the frame is built
  // apart from the batch.
  void OnNudge(Edge edge, int delta);
  // Shows the channel and the four edges.
  void Refresh();

  int m_nChannel = 0;
  int m_nX = 0, m_nY = 0, m_nW = 0, m_nH = 0;  // the geometry last sent
  int m_nLeft = 0, m_nRight = 0, m_nTop = 0, m_nBottom = 0;
  std::array<std::uint8_t, 9> m_byData{};

  QLineEdit* m_edChannel = nullptr;  // 1097
  QPushButton* m_btnGet = nullptr;   // 1120, no action
  QLineEdit* m_edLeft = nullptr;     // 1111
  QLineEdit* m_edRight = nullptr;    // 1112
  QLineEdit* m_edTop = nullptr;      // 1118
  QLineEdit* m_edBottom = nullptr;   // 1119

 private:
  void Send();
  PanelHost& m_host;
};

}  // namespace panora
