// Shared set-up of the widget tests: every test program runs with a private
// home, settings, data and documents folder (made before the application
// object exists), on the offscreen platform unless a display is asked for.
#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QtTest>

#include "image/ISImageEx.h"

namespace widget_testing {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and the documents folder into a
// fresh temporary folder for this process. Call before QApplication exists.
void IsolateEnvironment();
// The private home of this process.
QString Home();
// Removes every stored setting of "Orvandel"/"Quiltor".
void ClearSettings();
// A fresh empty folder below the private home.
QString TempFolder();
// A 24-bit test picture written as PNG; false on failure.
bool WritePicture(const QString& path, uint32_t width, uint32_t height, uint32_t seed = 1);
// Loads any supported file as 24-bit RGB with our reader.
bool LoadPicture(const QString& path, CISImageEx& image);
// Runs a shell command; returns its exit status (standard output captured).
int Run(const QString& command, QString* output = nullptr);

// Answers the modal dialogs a test step opens: each queued answer waits for
// the next message box or file dialog, records what it showed and answers it.
class ModalAnswerer : public QObject {
  Q_OBJECT
 public:
  ModalAnswerer();
  // The next message box gets button (QMessageBox::Yes, No, Cancel, Ok).
  void Box(int button);
  // The next file dialog accepts path (an empty path cancels it).
  void File(const QString& path);
  bool Done() const { return m_queue.isEmpty(); }
  QStringList boxTexts;
  QStringList dialogTitles;
  QStringList dialogFolders;
  // The override cursor's shape while each box was shown (-1: none).
  QList<int> boxCursors;

 private:
  void Poll();
  struct Step {
    bool box;
    int button;
    QString path;
  };
  QList<Step> m_queue;
  QTimer m_timer;
};

}  // namespace widget_testing

// main() of a widget test program: isolated environment, then the QtTest run.
#define QUILTOR_WIDGET_TEST_MAIN(TestClass)  \
  int main(int argc, char** argv) {          \
    widget_testing::IsolateEnvironment();    \
    QApplication app(argc, argv);            \
    app.setAttribute(Qt::AA_Use96Dpi, true); \
    TestClass test;                          \
    QTEST_SET_MAIN_SOURCE_PATH               \
    return QTest::qExec(&test, argc, argv);  \
  }
