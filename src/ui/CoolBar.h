// A docking bar that the operator can resize by its inner edge: a 12-pixel
// gripper strip with a 13 x 13 close button, along the left side when docked
// at the top or bottom, along the top when docked left or right; floating, the
// strip shows the caption instead. Its one child is kept at the size of the
// client area, even below the child's own minimum (the child is clipped), so
// that the bar itself can be made as small as 33 x 32 docked and 37 x 32
// floating. Screen readers read it by its accessible name, so that it can say
// what it holds while its caption stays.
#pragma once

#include <QDockWidget>
#include <QPointer>

class QAbstractButton;

namespace panora {

class CCoolBarClient;

class CCoolBar : public QDockWidget {
  Q_OBJECT
 public:
  static constexpr int kGripper = 12;
  static constexpr int kCloseButton = 13;
  static constexpr int kEdge = 5;
  static constexpr QSize kMinDocked{33, 32};
  static constexpr QSize kMinFloating{37, 32};

  CCoolBar(const QString& title, QSize defaultSize, int id, QWidget* parent);
  ~CCoolBar() override;

  // The bar's child lives in the bar's client area, beside the sizing edge.
  // These hide QDockWidget's own pair on purpose: the dock widget itself holds
  // the client area, the bar's users see only their child.
  void setWidget(QWidget* child);
  QWidget* widget() const { return m_child; }

  QSize DefaultSize() const { return m_szDefault; }
  int Id() const { return m_nId; }
  // The frame that created the bar; its children's signals go there directly.
  QWidget* Owner() const { return m_pOwner; }

  // Top, left, right or bottom; NoDockWidgetArea while floating.
  Qt::DockWidgetArea DockSide() const;
  // Whether the edge resizes the bar as the mouse moves (the desktop's
  // setting, as the style reports it) or a halftone line shows the new edge
  // until the button is released.
  bool FullWindowDrag() const { return m_bDragFullWindows; }
  bool IsActive() const { return m_bActive; }

  QWidget* Gripper() const { return m_title; }
  QAbstractButton* CloseButton() const;
  QWidget* SizingEdge() const;
  // The halftone line while a drag without full-window drag runs, else null.
  QWidget* Tracker() const { return m_tracker; }

  // Sizing by the edge, in global coordinates (the edge widget calls these).
  // A track still running when another begins is ended first; one whose
  // mouse went elsewhere (a release or press taken by another widget, a
  // modal box blocking the window, the window losing the activation, the bar
  // hidden) ends at once, where the edge last was, so no halftone line is
  // left on screen.
  void BeginTrack(QPoint global);
  void Track(QPoint global);
  void EndTrack();
  bool IsTracking() const { return m_bTracking; }

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool LosesTrack(QObject* watched, const QEvent* event) const;
  void OnDockLocation(Qt::DockWidgetArea area);
  void OnFloating(bool floating);
  void UpdateMinimum();
  void ReadDesktopSetting();
  int Extent() const;
  int TrackedExtent(QPoint global) const;
  void ApplyExtent(int extent);
  QRect TrackerRect(int extent) const;

  QSize m_szDefault;
  int m_nId;
  QPointer<QWidget> m_pOwner;
  QWidget* m_title = nullptr;
  CCoolBarClient* m_client = nullptr;
  QPointer<QWidget> m_child;
  bool m_bDragFullWindows = true;
  bool m_bActive = false;
  // Cut in the destructor: focus moves while the children are deleted.
  QMetaObject::Connection m_focusWatch;

  // Tracking state: where the press was, the extent then and its bounds.
  bool m_bTracking = false;
  QPoint m_ptTrackStart;
  int m_nTrackStart = 0;
  int m_nTrackMin = 0;
  int m_nTrackMax = 0;
  int m_nTrackCurrent = 0;
  QPointer<QWidget> m_tracker;
};

}  // namespace panora
