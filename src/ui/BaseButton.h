// The gradient push button of the mode dialog: a two-colour vertical
// gradient by style, the mode name as a large centred caption and its number
// as a small red corner label. The face turns green once the mouse rests on
// it. The caption is the button's text, so assistive technology announces
// the mode's name.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QPushButton>
#include <QTimer>
#include <utility>

namespace panora {

class CBaseButton : public QPushButton {
  Q_OBJECT
 public:
  static constexpr int kStyleNormal = 0;
  static constexpr int kStyleSelected = 2;
  static constexpr int kStyleCount = 5;
  // The corner label's box, (1, 1) up to (10, 10) exclusive; nothing of the
  // label is drawn outside it.
  static constexpr QRect kCornerBox{1, 1, 9, 9};
  // The caption's font: pixel height and average width of a lowercase letter.
  static constexpr int kCaptionHeight = 14;
  static constexpr int kCaptionWidth = 6;

  explicit CBaseButton(QWidget* parent = nullptr);

  // Caption and corner label both start as `caption`; `id` becomes the object name.
  void Create(const QString& caption, const QRect& rect, QWidget* parent, int id);
  // The main caption (and the accessible name); the corner label stays.
  void SetCaption(const QString& caption);
  void SetStyle(int style);

  // Top and bottom colour of a face: the hovered one, else style 0..4 (an
  // unknown style draws as 0).
  static std::pair<QColor, QColor> Scheme(int style, bool hover);
  static QFont CaptionFont();

  QString m_strCaption;
  QString m_strCorner;
  int m_bHover = 0;
  int m_bTracking = 0;
  int m_nStyle = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void OnMouseHover();
  QTimer m_hoverTimer;  // the rest after which the face turns green
};

}  // namespace panora
