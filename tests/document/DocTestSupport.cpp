#include "document/DocTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdlib>

#include "image/kernels/Compositing.h"
#include "support/TestSupport.h"

namespace doc_testing {
namespace {
// Points home and the settings at temporary folders before anything reads
// them, so that no test sees or changes the user's own.
struct PrivateEnvironment {
  QString home;
  PrivateEnvironment() {
    const std::string root = testing_support::TempDir();
    home = QString::fromStdString(root + "/home");
    QDir().mkpath(home);
    QDir().mkpath(QString::fromStdString(root + "/config"));
    setenv("HOME", Local(home).c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    unsetenv("XDG_DOCUMENTS_DIR");
  }
};
const PrivateEnvironment& Environment() {
  static PrivateEnvironment environment;
  return environment;
}
[[maybe_unused]] const PrivateEnvironment& kEarly = Environment();
}  // namespace

// Read live: other tests of this program may point HOME elsewhere (always at
// a temporary folder).
QString Home() {
  (void)Environment();
  return QDir::homePath();
}

QString DocumentsFolder() { return Home() + QStringLiteral("/Documents"); }

void ClearSettings() {
  (void)Environment();
  QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvandel"),
            QStringLiteral("Quiltor"))
      .clear();
}

QString TempFolder() { return QString::fromStdString(testing_support::TempDir()); }

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool Exists(const QString& path) { return QFileInfo::exists(path); }

bool WritePicture(const QString& path, uint32_t width, uint32_t height, uint32_t seed) {
  CISImageEx image;
  testing_support::MakeTestPicture(image, width, height, seed);
  return image.SaveFile(Local(path), kFilePNG) == kISOk;
}

bool LoadPicture(const QString& path, CISImageEx& image) {
  return image.Load(Local(path)) == kISOk && image.HasPixels() && image.m_bitsPerPixel == 24;
}

bool RotatedCutAvailable() {
  uint8_t source[3 * 4 * 4];
  for (int i = 0; i < 48; ++i) source[i] = static_cast<uint8_t>(i * 5 + 1);
  uint8_t target[3 * 2 * 2] = {};
  ExtractRotatedSquare(source, 4, 4, 2, 2, 2, 0.0, target);
  for (uint8_t v : target)
    if (v) return true;
  return false;
}

}  // namespace doc_testing
