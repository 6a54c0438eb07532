// Renders the program's SVG icon into a square PNG, for the icon sizes the
// desktop looks for: render_icon INPUT.svg SIZE OUTPUT.png. Painting into an
// image needs no application object and no display.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_icon INPUT.svg SIZE OUTPUT.png\n");
    return 2;
  }
  const int size = std::atoi(argv[2]);
  QSvgRenderer svg{QString::fromLocal8Bit(argv[1])};
  if (!svg.isValid() || size <= 0) {
    std::fprintf(stderr, "render_icon: cannot render %s at %s px\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  svg.render(&p, QRectF(0, 0, size, size));
  p.end();
  return image.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
