// The ControlNet shadow image, kept at the main image's size, and the small
// exports of the whole main and shadow images.
#include <QFile>
#include <cmath>

#include "document/FileFilters.h"
#include "document/QuiltorDoc.h"
#include "image/kernels/TwoPassScale.h"

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void CQuiltorDoc::OpenShadowImage() {
  const QString chosen = m_host.GetOpenFileName(
      QStringLiteral("Load ControlNet file"), OpenImageFilter(), OpenImageExtensions(),
      OpenImageExtensions(), ReadSetting(m_services.settings, Settings::kShadowFolder));
  if (chosen.isEmpty()) return;
  const QString before = m_shadowImagePath;
  m_shadowImagePath = chosen;
  // A shadow that could not be read for lack of memory stays the one before.
  if (!LoadShadowImage()) m_shadowImagePath = before;
  const qsizetype slash = chosen.lastIndexOf(QLatin1Char('/'));
  if (slash >= 0) {
    WriteSetting(m_services.settings, Settings::kShadowFolder, chosen.left(slash));
  }
}

bool CQuiltorDoc::LoadShadowImage() {
  if (!m_mainImage.HasPixels() || m_shadowImagePath.isEmpty()) return true;
  // Read and scaled aside: the shadow held so far stays while memory lacks,
  // unless it no longer has the main image's size.
  CISImageEx loaded;
  const uint32_t read = loaded.Load(LocalPath(m_shadowImagePath));
  const uint32_t scaled = read == kISOk && loaded.HasPixels()
                              ? loaded.Resize(m_mainImage.m_width, m_mainImage.m_height, 17)
                              : read;
  if (read == qimg::kErrNoMemory || read == kISOutOfMemory || scaled == kISOutOfMemory ||
      scaled == qimg::kErrNoMemory) {
    if (m_shadowImage.m_width != m_mainImage.m_width ||
        m_shadowImage.m_height != m_mainImage.m_height)
      m_shadowImage.Clear();
    ReportOutOfMemory(QStringLiteral("load ") + m_shadowImagePath);
    return false;
  }
  // A shadow of another size would cut the wrong square at export.
  if (scaled != kISOk || !loaded.HasPixels() || loaded.m_width != m_mainImage.m_width ||
      loaded.m_height != m_mainImage.m_height) {
    m_shadowImage.Clear();
    Log(QStringLiteral("Error: Can't read image: ") + m_shadowImagePath);
    return true;
  }
  m_shadowImage.TakeOver(loaded);
  Log(QStringLiteral("Resize CN: %1 (%2,%3)")
          .arg(m_shadowImagePath, QString::number(m_shadowImage.m_width),
               QString::number(m_shadowImage.m_height)));
  return true;
}

void CQuiltorDoc::CopyMainToShadow() {
  if (!m_mainImage.HasPixels() || m_mainImagePath.isEmpty()) return;
  CISImageEx copy;
  if (copy.CopyFrom(m_mainImage) != kISOk) {
    ReportOutOfMemory(QStringLiteral("copy ") + m_mainImagePath);
    return;
  }
  m_shadowImagePath = m_mainImagePath;
  m_shadowImage.TakeOver(copy);
  Log(QStringLiteral("CN file created from: ") + m_mainImagePath);
}

void CQuiltorDoc::RemoveShadowImage() {
  m_shadowImage.Clear();
  m_shadowImagePath.clear();
  Log(QStringLiteral("Close ControlNet Shadow Image"));
}

// Source scaled so that its shorter side is size; false only when memory
// ran out (a picture that can't be scaled leaves copy empty).
bool CQuiltorDoc::ScaleSmall(const CISImageEx& source, int size, CISImageEx& copy) {
  const double w = source.m_width, h = source.m_height;
  // The longer side as a double first: a sliver of a picture could give a
  // size beyond any integer.
  const double longer = w < h ? std::trunc(h * size / w + 0.5) : std::trunc(w * size / h + 0.5);
  const bool sane = longer >= 1 && longer <= 0x7FFFFFFF;
  const uint32_t other = sane ? static_cast<uint32_t>(longer) : 0;
  const uint32_t newW = w < h ? static_cast<uint32_t>(size) : other;
  const uint32_t newH = w < h ? other : static_cast<uint32_t>(size);
  // Scaled straight from the source: the same pixels as scaling a copy,
  // without copying the whole picture first.
  if (newW == source.m_width && newH == source.m_height) return copy.CopyFrom(source) == kISOk;
  if (!sane || source.m_bitsPerPixel != 24) return true;
  if (copy.Create(newW, newH, 24) != kISOk) return false;
  if (!C2PassScale<CBilinearFilter, CDataRGB_UBYTE>().Scale(
          source.Pixels(), static_cast<int>(source.m_width), static_cast<int>(source.m_height),
          copy.Pixels(), static_cast<int>(newW), static_cast<int>(newH)))
    copy.Clear();
  return true;
}

void CQuiltorDoc::ExportSmall(int size) {
  if (size != 512 && size != 1024) return;
  if (m_sliceFolder.isEmpty()) {
    Log(QStringLiteral("Error: Slice path is empty"));
    return;
  }
  if (m_sliceFolder.endsWith(QLatin1Char('/'))) m_sliceFolder.chop(1);
  const QString suffix = QString::number(size) + QStringLiteral(".png");
  struct Small {
    const CISImageEx& source;
    QString path;
    const char* logFormat;
    CISImageEx copy;
  } smalls[] = {
      {m_mainImage,
       m_sliceFolder + QStringLiteral("/base_") + suffix,
       size == 512 ? "Export Base 512: %1 (%2,%3)" : "Export Base 1024: %1 (%2,%3)",
       {}},
      {m_shadowImage,
       m_sliceFolder + QStringLiteral("/cn_base_") + suffix,
       size == 512 ? "Export CN 512: %1 (%2,%3)" : "Export CN 1024: %1 (%2,%3)",
       {}},
  };
  // Both pictures are made before either is written: short of memory,
  // nothing is.
  for (Small& s : smalls) {
    if (s.source.HasPixels() && !ScaleSmall(s.source, size, s.copy)) {
      ReportOutOfMemory(QStringLiteral("export ") + s.path);
      return;
    }
  }
  for (Small& s : smalls) {
    if (!s.source.HasPixels()) continue;
    if (!s.copy.HasPixels() || s.copy.SaveFile(LocalPath(s.path), kFilePNG) != kISOk) {
      Log(QStringLiteral("Error: Can't write image: ") + s.path);
      continue;
    }
    Log(QString::fromLatin1(s.logFormat)
            .arg(s.path, QString::number(s.copy.m_width), QString::number(s.copy.m_height)));
  }
}
