#include "sd/SdSend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "document/QuiltorDoc.h"
#include "image/lib/Imaging.h"

namespace {

bool DecodePicture(const QByteArray& bytes, CISImageEx& picture) {
  auto source = qimg::Source::FromMemory(bytes.constData(), static_cast<size_t>(bytes.size()));
  return source && picture.Load(*source, "result.png") == kISOk && picture.HasPixels();
}

}  // namespace

CSdSend::CSdSend(CQuiltorDoc& doc, CSettingsStore& settings)
    : m_doc(doc),
      m_settings(settings),
      m_client({[this](double f, const QByteArray& p) { Progress(f, p); },
                [this](const QByteArray& picture) { Done(picture); },
                [this](const QString& e) { Error(e); }}) {}

CSdSend::Square CSdSend::CurrentSquare() const {
  const CQuiltorDoc& d = m_doc;
  return {d.m_sliceX, d.m_sliceY, d.m_sliceWidth,        d.m_sliceHeight,       d.m_rotating,
          d.m_angle,  d.m_zoom,   d.m_mainImage.m_width, d.m_mainImage.m_height};
}

QString CSdSend::ResultPath(const QString& folder, const QString& sliceName) {
  const QString base =
      folder + u'/' + QFileInfo(sliceName).completeBaseName() + QStringLiteral("-sd");
  QString path = base + QStringLiteral(".png");
  for (int n = 2; QFileInfo::exists(path); ++n) path = base + QStringLiteral("_%1.png").arg(n);
  return path;
}

bool CSdSend::Send(const QString& sliceName, const QString& img2imgFolder) {
  if (m_client.Busy()) {
    Report(QStringLiteral("a slice is already being worked on"));
    return false;
  }
  const CSdSettings settings = CSdSettings::Read(m_settings);
  const QString slicePath = m_doc.m_sliceFolder + u'/' + sliceName;
  m_sliceName = sliceName;
  m_folder = img2imgFolder.isEmpty() ? m_doc.m_sliceFolder : img2imgFolder;
  if (m_folder.size() > 1 && m_folder.endsWith(u'/')) m_folder.chop(1);
  if (!CSdSettings::ValidAddress(settings.address)) {
    Error(QStringLiteral("not a server address: ") + CSdClient::ShownAddress(settings.address));
    return false;
  }
  if (!QFileInfo(m_folder).isDir()) {
    Error(QStringLiteral("the img2img folder does not exist: ") + m_folder);
    return false;
  }
  CSdClient::Job job;
  QFile slice(slicePath);
  CISImageEx picture;
  if (!slice.open(QIODevice::ReadOnly) || (job.slicePng = slice.readAll()).isEmpty() ||
      !DecodePicture(job.slicePng, picture)) {
    Error(QStringLiteral("can't read the slice file: ") + slicePath);
    return false;
  }
  job.sliceName = sliceName;
  job.width = static_cast<int>(picture.m_width);
  job.height = static_cast<int>(picture.m_height);
  if (settings.controlNet && m_doc.m_shadowImage.HasPixels()) {
    // Export && Lock wrote it with the number it has just moved past.
    QFile control(m_doc.m_sliceFolder + u'/' +
                  QString::asprintf("ControlNet_Slice_%03d.png", m_doc.m_sliceCounter - 1));
    if (control.open(QIODevice::ReadOnly)) job.controlPng = control.readAll();
  }
  m_square = CurrentSquare();
  m_doc.Host().AddOutputLine(QStringLiteral("Sent to Stable Diffusion: ") + slicePath);
  m_client.Send(settings, job);
  // A workflow that can't be used ends the run before anything was sent.
  return m_client.Busy();
}

void CSdSend::Cancel() {
  if (!m_client.Busy()) return;
  m_client.Interrupt();
  m_doc.Host().AddOutputLine(
      QStringLiteral("Stable Diffusion interrupted - the slice stays locked"));
  End();
}

void CSdSend::Progress(double fraction, const QByteArray& preview) {
  CISImageEx shown;
  IDocumentHost& host = m_doc.Host();
  CISImageEx* target = host.MaskPreviewImage();
  if (target && !preview.isEmpty() && DecodePicture(preview, shown) &&
      shown.Resize(static_cast<uint32_t>(host.MaskPreviewWidth()),
                   static_cast<uint32_t>(host.MaskPreviewHeight()), 16) == kISOk) {
    target->TakeOver(shown);
    host.RedrawMaskPreview();
  }
  if (onProgress) onProgress(fraction);
}

void CSdSend::Done(const QByteArray& bytes) {
  CISImageEx picture;
  if (!DecodePicture(bytes, picture)) {
    Error(QStringLiteral("the server's picture can't be read"));
    return;
  }
  const QString path = ResultPath(m_folder, m_sliceName);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size() ||
      !file.flush()) {
    file.remove();
    Error(QStringLiteral("can't write ") + path);
    return;
  }
  file.close();
  // The result belongs to the square that was sent; one the user has
  // unlocked, moved or merged since keeps only the file.
  if (!m_doc.m_locked || m_doc.m_merge || !(CurrentSquare() == m_square)) {
    Error(QStringLiteral("the square changed while the server worked; the result is in ") + path);
    return;
  }
  m_doc.ImportFile(path);
  End();
}

void CSdSend::Report(const QString& text) {
  const QString line = QStringLiteral("Error: Stable Diffusion: ") + text;
  m_doc.Host().AddOutputLine(line);
  m_doc.Host().MessageBox(line, IDocumentHost::Buttons::Ok);
}

void CSdSend::Error(const QString& text) {
  Report(text);
  End();
}

void CSdSend::End() {
  // The preview goes back to the mask it showed before the server's pictures.
  m_doc.UpdateMaskPreview();
  if (onFinished) onFinished();
}
