// The toolbar strips: slicing, the colour key and the committed artwork. No
// window system is needed: the pictures are plain images.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "ui/TrueColorToolBar.h"

using namespace panora;

namespace {

QImage Committed(const char* name) {
  return QImage(QString::fromUtf8(PANORA_SOURCE_DIR "/res/") + QString::fromUtf8(name));
}

double Distance(QRgb a, QRgb b) {
  const double dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
  return std::sqrt(dr * dr + dg * dg + db * db);
}

// A visible pixel at the rim of a picture that is a mix of the key and the
// art beside it: it lies on the line from the key to a visible neighbour.
bool IsKeyBlend(const QImage& pic, int x, int y, QRgb key) {
  bool rim = false;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (pic.rect().contains(x + dx, y + dy) && qAlpha(pic.pixel(x + dx, y + dy)) == 0) rim = true;
  if (!rim) return false;
  const QRgb p = pic.pixel(x, y);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const int nx = x + dx, ny = y + dy;
      if ((dx == 0 && dy == 0) || !pic.rect().contains(nx, ny) || qAlpha(pic.pixel(nx, ny)) == 0) continue;
      const QRgb q = pic.pixel(nx, ny);
      const double len = Distance(q, key);
      if (len < 60) continue;
      // p = key + a * (q - key)?
      const double a = ((qRed(p) - qRed(key)) * (qRed(q) - qRed(key)) +
                        (qGreen(p) - qGreen(key)) * (qGreen(q) - qGreen(key)) +
                        (qBlue(p) - qBlue(key)) * (qBlue(q) - qBlue(key))) /
                       (len * len);
      if (a < 0.08 || a > 0.92) continue;
      const double rx = qRed(key) + a * (qRed(q) - qRed(key)) - qRed(p);
      const double gx = qGreen(key) + a * (qGreen(q) - qGreen(key)) - qGreen(p);
      const double bx = qBlue(key) + a * (qBlue(q) - qBlue(key)) - qBlue(p);
      if (std::sqrt(rx * rx + gx * gx + bx * bx) < 5) return true;
    }
  return false;
}

}  // namespace

TEST(TrueColorStrip, SlicesThirtyTwoPixelPicturesWithTheFirstPixelsColourTransparent) {
  // A 192-pixel strip gives six pictures; the key is whatever colour the
  // first pixel has, and it is transparent everywhere, not only at the edge.
  const QColor key(0, 128, 0);
  QImage strip(192, 20, QImage::Format_RGB888);
  strip.fill(key);
  for (int i = 0; i < 6; ++i) strip.setPixelColor(i * 32 + 10, 10, QColor(i * 40, 100, 50));
  strip.setPixelColor(100, 5, QColor(0, 129, 0));  // near the key is not the key
  const auto pics = CTrueColorToolBar::SliceImages(strip);
  ASSERT_EQ(pics.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pics[i].size(), QSize(32, 20));
    for (QPoint p : {QPoint(0, 0), QPoint(31, 19), QPoint(15, 3)}) EXPECT_EQ(qAlpha(pics[i].pixel(p)), 0);
    EXPECT_EQ(pics[i].pixel(10, 10), QColor(i * 40, 100, 50).rgba());
  }
  EXPECT_EQ(pics[3].pixel(4, 5), QColor(0, 129, 0).rgba());
  // A strip with an alpha channel is still a 24-bit picture: only the key hides.
  QImage argb(64, 32, QImage::Format_ARGB32);
  argb.fill(QColor(255, 0, 255));
  argb.setPixel(40, 4, qRgba(10, 20, 30, 0));
  EXPECT_EQ(CTrueColorToolBar::SliceImages(argb)[1].pixel(8, 4), qRgb(10, 20, 30));
  // A tail narrower than a picture is dropped; too narrow or empty gives none.
  EXPECT_EQ(CTrueColorToolBar::SliceImages(QImage(200, 32, QImage::Format_RGB888)).size(), 6u);
  EXPECT_TRUE(CTrueColorToolBar::SliceImages(QImage()).empty());
  EXPECT_TRUE(CTrueColorToolBar::SliceImages(QImage(31, 32, QImage::Format_RGB888)).empty());
}

TEST(TrueColorStrip, CommittedArtworkShowsNoKeyColourAtAnyEdge) {
  const struct {
    const char* file;
    size_t buttons;
  } strips[] = {{"mode_toolbar.png", 12},      {"mode_toolbar_hot.png", 12}, {"window_toolbar.png", 4},
                {"window_toolbar_hot.png", 4}, {"tool_toolbar.png", 8},      {"tool_toolbar_hot.png", 8}};
  for (const auto& s : strips) {
    SCOPED_TRACE(s.file);
    const QImage strip = Committed(s.file);
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.height(), 32);
    const QRgb key = strip.pixel(0, 0);
    const auto pics = CTrueColorToolBar::SliceImages(strip);
    ASSERT_EQ(pics.size(), s.buttons);
    for (size_t b = 0; b < pics.size(); ++b) {
      const QImage& pic = pics[b];
      int visible = 0;
      QStringList blends;
      for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) {
          if (qAlpha(pic.pixel(x, y)) == 0) continue;
          ++visible;
          if (IsKeyBlend(pic, x, y, key)) blends << QString("(%1,%2)").arg(x).arg(y);
        }
      EXPECT_GT(visible, 300) << "button " << b;
      EXPECT_EQ(qAlpha(pic.pixel(0, 0)), 0) << "button " << b;
      EXPECT_TRUE(blends.isEmpty()) << "button " << b << " mixes the key in at "
                                    << blends.join(' ').toStdString();
    }
  }
}
