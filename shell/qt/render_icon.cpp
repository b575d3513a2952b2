// Draws an SVG picture into a square PNG: render_icon IN.svg SIZE OUT.png

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_icon IN.svg SIZE OUT.png\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  const int size = QString::fromLocal8Bit(argv[2]).toInt();
  if (!renderer.isValid() || size <= 0) return 1;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  return image.save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
