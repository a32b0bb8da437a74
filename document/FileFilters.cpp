#include "document/FileFilters.h"

#include <QStringList>

const QString& OpenImageFilter() {
  static const QString filter = QStringLiteral(
      "All Supported Image Files|*.BMP;*.jpg;*.jpeg;*.PCX;*.PNG;*.TGA;*.TIF;*.PSD;*.WEBP|"
      "PNG Files (*.PNG)|*.PNG|JPEG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
      "Windows BMP Files (*.BMP)|*.BMP|ZSoft PCX Files (*.PCX)|*.PCX|"
      "Targa TGA Files (*.TGA)|*.TGA|TIFF Files (*.TIF)|*.TIF|Adobe Photoshop (*.PSD)|*.PSD|"
      "WEBP Format (*.WEBP)|*.WEBP|Metafile (*.WMF)|*.WMF|Metafile (*.EMF)|*.EMF|"
      "All files (*.*)|*.*||");
  return filter;
}

const QString& OpenImageExtensions() {
  static const QString extensions =
      QStringLiteral("*.Png;*.Jpg;*.jpeg;*.Bmp;*.Pcx;*.Tga;*.Tif;*.Psd;*.Pcd; *.webp");
  return extensions;
}

QString ToQtFilter(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList rows;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    if (name.isEmpty()) break;  // the closing "||"
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed();
      if (pattern.isEmpty()) continue;
      patterns.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) patterns.append(QStringLiteral("*"));
    // Qt reads the last parenthesised list of a row as its patterns.
    if (name.endsWith(u')')) {
      const qsizetype open = name.lastIndexOf(u'(');
      if (open > 0) name = name.left(open).trimmed();
    }
    rows.append(name + QStringLiteral(" (") + patterns.join(u' ') + u')');
  }
  return rows.join(QStringLiteral(";;"));
}

const QString& OpenImageQtFilter() {
  static const QString converted = ToQtFilter(OpenImageFilter());
  return converted;
}

QString FolderOfPath(const QString& path) {
  const qsizetype slash = path.lastIndexOf(u'/');
  if (slash < 0) return path;
  if (slash == 0) return QStringLiteral("/");
  return path.left(slash);
}
