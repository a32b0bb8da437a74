#include "widgets/WidgetTestSupport.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace widget_testing {
namespace {
QTemporaryDir* g_root = nullptr;
int g_counter = 0;
}  // namespace

void IsolateEnvironment() {
  static std::unique_ptr<QTemporaryDir> root = std::make_unique<QTemporaryDir>();
  g_root = root.get();
  const QByteArray base = QFile::encodeName(root->path());
  QDir(root->path()).mkpath(QStringLiteral("home/Documents"));
  QDir(root->path()).mkpath(QStringLiteral("config"));
  QDir(root->path()).mkpath(QStringLiteral("data"));
  setenv("HOME", (base + "/home").constData(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (base + "/data").constData(), 1);
  unsetenv("XDG_DOCUMENTS_DIR");
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

QString Home() { return g_root ? g_root->path() + QStringLiteral("/home") : QDir::homePath(); }

void ClearSettings() {
  QSettings settings(QStringLiteral("Orvandel"), QStringLiteral("Quiltor"));
  settings.clear();
  settings.sync();
}

QString TempFolder() {
  const QString path = Home() + QStringLiteral("/tmp%1").arg(++g_counter);
  QDir().mkpath(path);
  return path;
}

bool WritePicture(const QString& path, uint32_t width, uint32_t height, uint32_t seed) {
  CISImageEx image;
  if (image.Create(width, height, 24) != 0) return false;
  uint8_t* p = image.Pixels();
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x, p += 3) {
      state = state * 1664525u + 1013904223u;
      p[0] = static_cast<uint8_t>((x * 255) / (width ? width : 1));
      p[1] = static_cast<uint8_t>((y * 255) / (height ? height : 1));
      p[2] = static_cast<uint8_t>(((x / 16 + y / 16) % 2 ? 200 : 40) + (state >> 29));
    }
  }
  return image.SaveFile(QFile::encodeName(path).toStdString(), 6) == 0;
}

bool LoadPicture(const QString& path, CISImageEx& image) {
  return image.Load(QFile::encodeName(path).toStdString()) == 0 && image.HasPixels();
}

int Run(const QString& command, QString* output) {
  QProcess process;
  process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
  process.waitForFinished(-1);
  if (output) *output = QString::fromLocal8Bit(process.readAllStandardOutput());
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

ModalAnswerer::ModalAnswerer() {
  m_timer.setInterval(5);
  connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::Poll);
}

void ModalAnswerer::Box(int button) {
  m_queue.append({true, button, {}});
  m_timer.start();
}

void ModalAnswerer::File(const QString& path) {
  m_queue.append({false, 0, path});
  m_timer.start();
}

void ModalAnswerer::Poll() {
  if (m_queue.isEmpty()) {
    m_timer.stop();
    return;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) return;
  const Step step = m_queue.front();
  if (step.box) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    m_queue.pop_front();
    boxTexts.append(box->text());
    const QCursor* cursor = QGuiApplication::overrideCursor();
    boxCursors.append(cursor ? int(cursor->shape()) : -1);
    QAbstractButton* button = box->button(static_cast<QMessageBox::StandardButton>(step.button));
    if (button) {
      button->click();
    } else {
      box->reject();
    }
    return;
  }
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  if (!dialog) return;
  m_queue.pop_front();
  dialogTitles.append(dialog->windowTitle());
  dialogFolders.append(dialog->directory().absolutePath());
  if (step.path.isEmpty()) {
    dialog->reject();
  } else {
    dialog->selectFile(step.path);
    QMetaObject::invokeMethod(dialog, "accept");
  }
}

}  // namespace widget_testing
