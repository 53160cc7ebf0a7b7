// The tab control of the left bar: one page shown at a time in a framed page
// area, and below it a strip of small icon-only tabs drawn in the raised
// classic style, the shown one joined to the page. Screen readers see the
// tabs as page tabs under their names, the shown one selected.
#pragma once

#include <QIcon>
#include <QTabBar>
#include <QWidget>
#include <vector>

namespace panora {

// The tab strip of CCoolTabCtrl: a tab bar that lays out and draws its tabs
// itself, a class of its own so that it gets its own accessible interface.
// Only the tabs are painted; the control's frame shows through between them.
// Pages change by a click on a tab, the keyboard or an accessible "press",
// never by the mouse wheel passing over the strip.
class CCoolTabStrip : public QTabBar {
  Q_OBJECT
 public:
  explicit CCoolTabStrip(QWidget* parent = nullptr);

  // What a click on tab `index` does: shows its page, unless the tab or the
  // strip is disabled or a modal dialog blocks the window. The accessible
  // "press" of a tab comes here.
  void ClickTab(int index);

 protected:
  QSize tabSizeHint(int index) const override;
  QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};

class CCoolTabCtrl : public QWidget {
  Q_OBJECT
 public:
  // Strip height, page-area insets and the width of a tab with an icon and
  // no title: 9 pixels of edges plus 18 for the 16-pixel icon.
  static constexpr int kStripHeight = 23;
  static constexpr int kInset = 2;
  static constexpr int kStripIndent = 6;
  static constexpr int kIconTabWidth = 27;
  static constexpr int kFrameStyle = 1;  // a single 3-D line around the page area

  explicit CCoolTabCtrl(QWidget* parent = nullptr);

  // Adds `page` as the next tab, hidden, in the page area; `name` is what a
  // screen reader says for the tab (the tab itself shows only the icon).
  int InsertWindowPage(QWidget* page, const QIcon& icon, const QString& name);
  // Lays the tabs out and shows the page shown before, or the first one.
  void FinishPages();
  // Hides the page shown and shows page `index`. An index without a page
  // changes nothing.
  void ShowPage(int index);
  QWidget* PageWindow(int index) const;

  int count() const { return static_cast<int>(m_listPages.size()); }
  int currentIndex() const { return m_nShownPage; }
  CCoolTabStrip* Strip() const { return m_strip; }
  // The page area inside the frame, and the tabs' strip, in client coordinates.
  QRect PageRect() const;
  QRect StripRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct PageItem {
    QWidget* pPage = nullptr;
    QIcon icon;
  };
  void ArrangeTabs();

  int m_nShownPage = -1;
  std::vector<PageItem> m_listPages;
  CCoolTabStrip* m_strip = nullptr;
};

}  // namespace panora
