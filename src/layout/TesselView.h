// One channel window's picture: "view<n>.png" stretched over the whole view,
// with the labels "In<n>" (the input it shows) and "Ch<n>" (its channel).
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "layout/Geometry.h"

namespace panora {

class CChildFrame;
class CLayoutArea;
class CTesselView;

// The four channel views in creation order, CH1 to CH4.
inline constexpr int kChannelCount = 4;
extern CTesselView* g_pView[kChannelCount];
extern int g_nViewCount;

class CTesselView : public QWidget {
  Q_OBJECT
 public:
  // Takes the next free place in g_pView; its channel is that index.
  explicit CTesselView(QWidget* parent = nullptr);
  ~CTesselView() override;

  // Where a picture is looked for: the current folder first, then the
  // executable's folder. Returns the first that exists, else `name`.
  static QString FindPicture(const QString& name);

  // The font of the labels: Arial (or its metric twin) in a 12-pixel cell.
  static QFont LabelFont();

  int Channel() const { return m_nChannel; }
  bool HasImage() const { return !m_pImage.isNull(); }

  QString m_strImagePath;  // "view%d.png", relative to the current folder
  QPixmap m_pImage;        // null when the file is missing or unreadable
  Rect m_rcBefore;         // rectangles of a drag or double-click, layout coordinates
  Rect m_rcAfter;
  int m_nChannel = 0;  // 0..3 = CH1..CH4
  int m_nInput = 0;    // 0..3 = In1..In4, shown in the label
  int m_bMaximized = 0;
  Rect m_rcRestore;

  // The view's drawing onto any device: the picture stretched over `size`
  // and the two labels. The screen and the printer both use it.
  void Draw(QPainter& p, const QSize& size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  CLayoutArea* Area() const;
  // The release of a drag: the geometry when the window moved, the outline.
  void EndDrag(CLayoutArea& area);
  CChildFrame* OwnFrame() const;
  // Mouse positions in this view's coordinates as the view stands now: the
  // view moves with its window during a drag.
  QPoint ViewPoint(const QMouseEvent* event) const;

  QPixmap m_scaled;  // the picture at the view's size, made again when the size changes
  bool m_bRegistered = false;
};

}  // namespace panora
