// The ControlNet shadow image, kept at the main image's size, and the small
// exports of the whole main and shadow images.
#include <QFile>
#include <cmath>

#include "document/QuiltorDoc.h"

namespace {

const QString kOpenFilter = QStringLiteral(
    "All Supported Image Files|*.BMP;*.jpg;*.jpeg;*.PCX;*.PNG;*.TGA;*.TIF;*.PSD;*.WEBP|"
    "PNG Files (*.PNG)|*.PNG|JPEG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
    "Windows BMP Files (*.BMP)|*.BMP|ZSoft PCX Files (*.PCX)|*.PCX|"
    "Targa TGA Files (*.TGA)|*.TGA|TIFF Files (*.TIF)|*.TIF|Adobe Photoshop (*.PSD)|*.PSD|"
    "WEBP Format (*.WEBP)|*.WEBP|Metafile (*.WMF)|*.WMF|Metafile (*.EMF)|*.EMF|"
    "All files (*.*)|*.*||");
const QString kShadowExtensions =
    QStringLiteral("*.Png;*.Jpg;*.jpeg;*.Bmp;*.Pcx;*.Tga;*.Tif;*.Psd;*.Pcd; *.webp");

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void CQuiltorDoc::OpenShadowImage() {
  const QString chosen = m_host.GetOpenFileName(
      QStringLiteral("Load ControlNet file"), kOpenFilter, kShadowExtensions, kShadowExtensions,
      ReadSetting(m_services.settings, Settings::kShadowFolder));
  if (chosen.isEmpty()) return;
  m_shadowImagePath = chosen;
  LoadShadowImage();
  const qsizetype slash = chosen.lastIndexOf(QLatin1Char('/'));
  if (slash >= 0) {
    WriteSetting(m_services.settings, Settings::kShadowFolder, chosen.left(slash));
  }
}

void CQuiltorDoc::LoadShadowImage() {
  if (!m_mainImage.HasPixels() || m_shadowImagePath.isEmpty()) return;
  if (m_shadowImage.Load(LocalPath(m_shadowImagePath)) != kISOk || !m_shadowImage.HasPixels()) {
    m_shadowImage.Clear();
    Log(QStringLiteral("Error: Can't read image: ") + m_shadowImagePath);
    return;
  }
  // A shadow of another size would cut the wrong square at export.
  if (m_shadowImage.Resize(m_mainImage.m_width, m_mainImage.m_height, 17) != kISOk ||
      m_shadowImage.m_width != m_mainImage.m_width ||
      m_shadowImage.m_height != m_mainImage.m_height) {
    m_shadowImage.Clear();
    Log(QStringLiteral("Error: Can't read image: ") + m_shadowImagePath);
    return;
  }
  Log(QStringLiteral("Resize CN: %1 (%2,%3)")
          .arg(m_shadowImagePath, QString::number(m_shadowImage.m_width),
               QString::number(m_shadowImage.m_height)));
}

void CQuiltorDoc::CopyMainToShadow() {
  if (!m_mainImage.HasPixels() || m_mainImagePath.isEmpty()) return;
  m_shadowImagePath = m_mainImagePath;
  m_shadowImage.CopyFrom(m_mainImage);
  Log(QStringLiteral("CN file created from: ") + m_mainImagePath);
}

void CQuiltorDoc::RemoveShadowImage() {
  m_shadowImage.Clear();
  m_shadowImagePath.clear();
  Log(QStringLiteral("Close ControlNet Shadow Image"));
}

// Writes source scaled so that its shorter side is size into the slice folder
// under name; logs the format line on success, the write error otherwise.
bool CQuiltorDoc::WriteSmallExport(const CISImageEx& source, int size, const QString& name,
                                   const char* logFormat) {
  const double w = source.m_width, h = source.m_height;
  uint32_t newW, newH;
  if (w < h) {
    newW = static_cast<uint32_t>(size);
    newH = static_cast<uint32_t>(std::trunc(h * size / w + 0.5));
  } else {
    newW = static_cast<uint32_t>(std::trunc(w * size / h + 0.5));
    newH = static_cast<uint32_t>(size);
  }
  CISImageEx copy;
  bool written = false;
  if (copy.CopyFrom(source) == kISOk && copy.ResizeBilinear(newW, newH) == kISOk) {
    if (m_sliceFolder.endsWith(QLatin1Char('/'))) m_sliceFolder.chop(1);
    const QString path = m_sliceFolder + QLatin1Char('/') + name;
    written = copy.HasPixels() && copy.SaveFile(LocalPath(path), kFilePNG) == kISOk;
    if (written) {
      Log(QString::fromLatin1(logFormat).arg(path, QString::number(copy.m_width),
                                             QString::number(copy.m_height)));
    } else {
      Log(QStringLiteral("Error: Can't write image: ") + path);
    }
    return written;
  }
  if (m_sliceFolder.endsWith(QLatin1Char('/'))) m_sliceFolder.chop(1);
  Log(QStringLiteral("Error: Can't write image: ") + m_sliceFolder + QLatin1Char('/') + name);
  return false;
}

void CQuiltorDoc::ExportSmall(int size) {
  if (size != 512 && size != 1024) return;
  if (m_sliceFolder.isEmpty()) {
    Log(QStringLiteral("Error: Slice path is empty"));
    return;
  }
  const QString suffix = QString::number(size) + QStringLiteral(".png");
  if (m_mainImage.HasPixels()) {
    WriteSmallExport(m_mainImage, size, QStringLiteral("base_") + suffix,
                     size == 512 ? "Export Base 512: %1 (%2,%3)" : "Export Base 1024: %1 (%2,%3)");
  }
  if (m_shadowImage.HasPixels()) {
    WriteSmallExport(m_shadowImage, size, QStringLiteral("cn_base_") + suffix,
                     size == 512 ? "Export CN 512: %1 (%2,%3)" : "Export CN 1024: %1 (%2,%3)");
  }
}
