#include "shell/qt/svg_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

namespace kelvo {

namespace {
constexpr std::array<const char*, kToolbarImageCount> kImageFiles{
    "play.svg",        "stop.svg",     "pause.svg",    "skip_back.svg",  "skip_forward.svg",
    "plus.svg",        "minus.svg",    "arrow_up.svg", "arrow_down.svg", "page.svg",
    "folder_open.svg", "diskette.svg", "eject.svg",
};
}  // namespace

QString ToolbarImagePath(int index) {
  if (index < 0 || index >= kToolbarImageCount) return {};
  return QStringLiteral(":/images/") + QLatin1String(kImageFiles[static_cast<std::size_t>(index)]);
}

QIcon SvgIcon(const QString& path, std::initializer_list<int> sizes) {
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QIcon icon;
  for (const int size : sizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon ToolbarImage(int index) {
  const QString path = ToolbarImagePath(index);
  if (path.isEmpty()) return {};
  return SvgIcon(path, {kToolbarImageSize, 2 * kToolbarImageSize});
}

QIcon ProgramIcon() {
  return SvgIcon(QStringLiteral(":/images/kelvo.svg"), {16, 32, 48, 64});
}

}  // namespace kelvo
