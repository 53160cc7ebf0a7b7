// The frame of one channel window: a sizing border around its view, no
// caption. It carries the drag state that the view's mouse handling uses.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

namespace panora {

class CTesselView;

class CChildFrame : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kInitialWidth = 200;
  static constexpr int kInitialHeight = 120;
  static constexpr int kBorder = 4;  // the sizing border around the view

  // Creates the frame and its view; the view decides the channel.
  explicit CChildFrame(QWidget* layoutClient);

  CTesselView* View() const { return m_pView; }

  QPoint m_ptDragStart;
  bool m_bDragging = false;
  int m_nChannel = 0;
  QRect orgRect;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  CTesselView* m_pView;
};

}  // namespace panora
