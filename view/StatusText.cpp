#include "view/StatusText.h"

namespace statustext {

QString ImagePoint(QPoint point) {
  return QStringLiteral("x %1, y %2").arg(point.x()).arg(point.y());
}

QString Slice(const QRect& slice, int angle) {
  return QStringLiteral("slice %1, %2, %3 \u00d7 %4, %5\u00b0")
      .arg(slice.x())
      .arg(slice.y())
      .arg(slice.width())
      .arg(slice.height())
      .arg(angle);
}

QString PlaceText(QPoint point, QSize imageSize, int dragState, const QRect& slice, int angle) {
  if (dragState == 1 || dragState == 2) return Slice(slice, angle);
  if (!QRect(QPoint(0, 0), imageSize).contains(point)) return {};
  return ImagePoint(point);
}

}  // namespace statustext
