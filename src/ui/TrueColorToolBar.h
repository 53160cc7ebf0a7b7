// A toolbar of 32 x 32 true-colour buttons whose pictures come from image
// strips: one picture per 32 pixels of width, the strip's first pixel colour
// transparent. A fixed toolbar cannot be dragged from its dock: it swallows
// left-button clicks on its empty part, so they reach nothing behind it.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QToolBar>
#include <vector>

namespace panora {

class CTrueColorToolBar : public QToolBar {
  Q_OBJECT
 public:
  static constexpr int kButtonSize = 32;

  explicit CTrueColorToolBar(const QString& title, QWidget* parent = nullptr);

  // Cuts a strip into 32-pixel-wide pictures, as high as the strip, with every
  // pixel of the first pixel's colour made transparent. Empty when the strip
  // is empty or narrower than one picture.
  static std::vector<QPixmap> SliceStrip(const QImage& strip);
  // The same as images, which need no window system.
  static std::vector<QImage> SliceImages(const QImage& strip);

  // Gives the buttons their normal, hot and disabled pictures, in the order of
  // the toolbar's actions (separators skipped). A strip that cannot be loaded
  // changes nothing for its state; returns false then.
  bool SetTrueColorImages(const QString& normal, const QString& hot, const QString& disabled);

  // Docked for good: no moving, no floating.
  void Fix();
  bool IsFixed() const { return m_bFixed; }

 protected:
  void actionEvent(QActionEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool m_bFixed = false;
};

}  // namespace panora
