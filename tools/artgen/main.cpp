// Draws the program's artwork: the three toolbar strips (normal and hot), the
// four channel test cards, the tab icons and the application icon. The output
// is committed under res/; run tools/artgen/regenerate.sh after a change here.
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <cstdio>
#include <vector>

namespace {

constexpr int kButton = 32;
// The first pixel of each strip is this colour; the toolbar makes every pixel
// of it transparent.
const QColor kKey(255, 0, 255);

const QColor kChannelColour[4] = {QColor(40, 110, 220), QColor(40, 170, 70), QColor(235, 140, 30),
                                  QColor(190, 50, 160)};

QFont Sans(int pixelSize, bool bold) {
  QFont f("Liberation Sans");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

// Strips are drawn on a transparent ground, antialiased where that helps,
// and then given the key colour with a one-bit decision per pixel: a pixel
// the art covers at least half is the art's own colour at full strength,
// any other is the key. Drawing straight onto the key would blend it into
// the rounded corners, and those blends are not the key, so they would stay
// visible as coloured fringes once the key is made transparent.
QImage NewStrip(int buttons) {
  QImage img(buttons * kButton, kButton, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

QImage Keyed(const QImage& drawn) {
  const QImage argb = drawn.convertToFormat(QImage::Format_ARGB32);
  QImage out(argb.size(), QImage::Format_RGB888);
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      QColor c(line[x]);
      if (qAlpha(line[x]) < 128)
        c = kKey;
      else if (c == kKey)
        c = QColor(254, 0, 255);  // art that happens to be the key stays visible
      out.setPixelColor(x, y, c);
    }
  }
  return out;
}

// One rectangle of a layout picture, in fractions of the output.
struct Part {
  double l, t, r, b;
  int channel;
};

// The layouts of the twelve quick modes, after the channel arrangement of
// each mode (0, 4, 9, 8, 13..20). Full and zoom-out modes show which outputs
// one picture spans.
std::vector<Part> QuickLayout(int mode) {
  const double q = 1.0 / 4, t3 = 1.0 / 3;
  switch (mode) {
    case 0:  // one picture over a 2 x 2 wall
    case 4:  // one picture over a 3 x 1 wall
    case 9:  // a single channel full
      return {{0, 0, 1, 1, 0}};
    case 8:  // every output its own channel
      return {{0, 0, .5, .5, 0}, {.5, 0, 1, .5, 1}, {0, .5, .5, 1, 2}, {.5, .5, 1, 1, 3}};
    case 13: return {{0, 0, 1, 1, 0}, {0, 0, .5, .5, 1}, {0, 0, .25, .25, 2}, {0, 0, .125, .125, 3}};
    case 14:
      return {{0, 0, 1, 1, 0}, {3 * q, 0, 1, t3, 1}, {3 * q, t3, 1, 2 * t3, 2}, {3 * q, 2 * t3, 1, 1, 3}};
    case 15: return {{0, 0, 1, 1, 0}, {0, 0, q, t3, 1}, {0, 2 * t3, q, 1, 2}, {3 * q, 2 * t3, 1, 1, 3}};
    case 16:
      return {{0, 0, 1, 1, 0}, {0, 2 * t3, t3, 1, 1}, {t3, 2 * t3, 2 * t3, 1, 2}, {2 * t3, 2 * t3, 1, 1, 3}};
    case 17:
      return {{0, 0, 1, 1, 0},
              {.25, .25, .75, .75, 1},
              {.375, .375, .625, .625, 2},
              {.4375, .4375, .5625, .5625, 3}};
    case 18:
      return {{0, 0, 3 * q, 1, 0}, {3 * q, 0, 1, t3, 1}, {3 * q, t3, 1, 2 * t3, 2}, {3 * q, 2 * t3, 1, 1, 3}};
    case 19:
      return {
          {0, 0, 1, 2 * t3, 0}, {0, 2 * t3, t3, 1, 1}, {t3, 2 * t3, 2 * t3, 1, 2}, {2 * t3, 2 * t3, 1, 1, 3}};
    case 20: return {{0, 0, .5, .5, 0}, {.5, 0, 1, .5, 1}, {0, .5, .5, 1, 2}, {.5, .5, 1, 1, 3}};
  }
  return {};
}

// A small monitor with the mode's layout on its screen.
void DrawQuickButton(QPainter& p, int x, int mode, bool hot) {
  const QRectF screen(x + 2.5, 4.5, 27, 20);
  p.setPen(QPen(QColor(50, 50, 50), 1));
  p.setBrush(hot ? QColor(255, 255, 225) : QColor(235, 235, 235));
  p.drawRect(screen);
  p.fillRect(QRectF(x + 13, 25, 6, 3), QColor(90, 90, 90));
  p.fillRect(QRectF(x + 9, 28, 14, 2), QColor(90, 90, 90));
  const QRectF inner = screen.adjusted(1.5, 1.5, -1, -1);
  for (const Part& part : QuickLayout(mode)) {
    QRectF r(inner.left() + part.l * inner.width(), inner.top() + part.t * inner.height(),
             (part.r - part.l) * inner.width(), (part.b - part.t) * inner.height());
    QColor c = kChannelColour[part.channel];
    if (hot) c = c.lighter(125);
    p.setPen(QPen(QColor(255, 255, 255), 0.8));
    p.setBrush(c);
    p.drawRect(r.adjusted(0.2, 0.2, -0.2, -0.2));
  }
  // Wall seams for the zoom-out modes: one picture over several outputs.
  if (mode == 0 || mode == 4) {
    p.setPen(QPen(QColor(255, 255, 255), 1));
    if (mode == 0) {
      p.drawLine(QPointF(inner.center().x(), inner.top()), QPointF(inner.center().x(), inner.bottom()));
      p.drawLine(QPointF(inner.left(), inner.center().y()), QPointF(inner.right(), inner.center().y()));
    } else {
      for (int i = 1; i < 3; ++i) {
        const double cx = inner.left() + i * inner.width() / 3;
        p.drawLine(QPointF(cx, inner.top()), QPointF(cx, inner.bottom()));
      }
    }
  }
}

void DrawLabelButton(QPainter& p, int x, const QString& text, QColor face, bool hot, int pixelSize) {
  QRectF r(x + 2.5, 2.5, 27, 27);
  p.setPen(QPen(face.darker(160), 1));
  p.setBrush(hot ? face.lighter(130) : face);
  p.drawRoundedRect(r, 4, 4);
  p.setFont(Sans(pixelSize, true));
  p.setPen(Qt::white);
  p.drawText(r, Qt::AlignCenter, text);
}

QImage QuickStrip(bool hot) {
  const int modes[12] = {0, 4, 9, 8, 13, 14, 15, 16, 17, 18, 19, 20};
  QImage img = NewStrip(12);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < 12; ++i) DrawQuickButton(p, i * kButton, modes[i], hot);
  p.end();
  return Keyed(img);
}

QImage WindowStrip(bool hot) {
  QImage img = NewStrip(4);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 4; ++i)
    DrawLabelButton(p, i * kButton, QString("CH%1").arg(i + 1), kChannelColour[i], hot, 10);
  p.end();
  return Keyed(img);
}

QImage ToolStrip(bool hot) {
  QImage img = NewStrip(8);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 8; ++i)
    DrawLabelButton(p, i * kButton, QString::number(i + 1), QColor(70, 80, 100), hot, 16);
  p.end();
  return Keyed(img);
}

// A test card per channel: the channel's colour, a grid, a circle, colour bars
// and the channel number, so that stretching and placement are easy to see.
QImage TestCard(int ch) {
  const int w = 320, h = 192;
  QImage img(w, h, QImage::Format_RGB888);
  const QColor base = kChannelColour[ch];
  img.fill(base.darker(170));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(base.lighter(130), 1));
  for (int x = 0; x <= w; x += 32) p.drawLine(x, 0, x, h);
  for (int y = 0; y <= h; y += 32) p.drawLine(0, y, w, y);
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(w / 2.0, h / 2.0), 78, 78);
  const QColor bars[7] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue};
  for (int i = 0; i < 7; ++i) p.fillRect(QRectF(w * 0.15 + i * w * 0.1, h * 0.72, w * 0.1, h * 0.1), bars[i]);
  p.setFont(Sans(72, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, w, h * 0.72), Qt::AlignCenter, QString::number(ch + 1));
  p.setPen(QPen(Qt::white, 3));
  p.drawRect(QRectF(1.5, 1.5, w - 3, h - 3));
  return img;
}

// Tab icons of the left bar: picture and border, move and zoom, bezel.
QImage TabIcon(int which) {
  QImage img(16, 16, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  switch (which) {
    case 0:  // picture: a frame with a sun
      p.setPen(QPen(QColor(40, 40, 40), 1));
      p.setBrush(QColor(120, 180, 240));
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      p.setBrush(QColor(250, 210, 40));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(10.5, 6.5), 2.5, 2.5);
      break;
    case 1:  // move and zoom: four arrows
      p.setPen(QPen(QColor(30, 110, 30), 2));
      p.drawLine(QPointF(8, 2), QPointF(8, 14));
      p.drawLine(QPointF(2, 8), QPointF(14, 8));
      p.drawLine(QPointF(8, 2), QPointF(5.5, 4.5));
      p.drawLine(QPointF(8, 2), QPointF(10.5, 4.5));
      p.drawLine(QPointF(14, 8), QPointF(11.5, 5.5));
      p.drawLine(QPointF(14, 8), QPointF(11.5, 10.5));
      break;
    default:  // bezel: two screens with a gap
      p.setPen(QPen(QColor(40, 40, 40), 1));
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(0.5, 3.5, 6.5, 9));
      p.drawRect(QRectF(9, 3.5, 6.5, 9));
      break;
  }
  return img;
}

QImage AppIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 64.0;
  p.scale(s, s);
  p.setPen(QPen(QColor(30, 30, 30), 2));
  p.setBrush(QColor(245, 245, 245));
  p.drawRoundedRect(QRectF(3, 7, 58, 42), 4, 4);
  for (int i = 0; i < 4; ++i) {
    const double x = 7 + (i % 2) * 26, y = 11 + (i / 2) * 18;
    p.setPen(Qt::NoPen);
    p.setBrush(kChannelColour[i]);
    p.drawRect(QRectF(x, y, 24, 16));
  }
  p.setBrush(QColor(60, 60, 60));
  p.drawRect(QRectF(26, 50, 12, 6));
  p.drawRect(QRectF(18, 56, 28, 4));
  return img;
}

bool Save(const QImage& img, const QDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  if (!img.save(path, "PNG")) {
    std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: panora-artgen OUTPUT_FOLDER\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".") || !dir.mkpath("icons")) {
    std::fprintf(stderr, "artgen: cannot create %s\n", argv[1]);
    return 1;
  }
  bool ok = Save(QuickStrip(false), dir, "mode_toolbar.png") &&
            Save(QuickStrip(true), dir, "mode_toolbar_hot.png") &&
            Save(WindowStrip(false), dir, "window_toolbar.png") &&
            Save(WindowStrip(true), dir, "window_toolbar_hot.png") &&
            Save(ToolStrip(false), dir, "tool_toolbar.png") &&
            Save(ToolStrip(true), dir, "tool_toolbar_hot.png");
  for (int i = 0; i < 4 && ok; ++i) ok = Save(TestCard(i), dir, QString("view%1.png").arg(i + 1));
  const char* tabs[3] = {"tab_picture.png", "tab_fullset.png", "tab_bezel.png"};
  for (int i = 0; i < 3 && ok; ++i) ok = Save(TabIcon(i), dir, tabs[i]);
  ok = ok && Save(AppIcon(32), dir, "panora32.png") && Save(AppIcon(64), dir, "panora64.png");
  // The desktop's icon theme wants the usual sizes drawn, not scaled.
  for (int size : {16, 24, 48, 128, 256})
    ok = ok && Save(AppIcon(size), dir, QString("icons/panora%1.png").arg(size));
  return ok ? 0 : 1;
}
