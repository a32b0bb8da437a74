// The application object: start and end of a run, the settings store, the
// one document and its main window, the command line and the four
// application-wide commands (File New, File Open, About, Home Page).
#pragma once

#include <QStringList>
#include <memory>

#include "app/RecentFileList.h"
#include "app/WidgetHost.h"
#include "document/SettingsStore.h"

class QApplication;
class CQuiltorDoc;
class CMainFrame;

class CQuiltorApp {
 public:
  // Makes the QApplication of the run from the process arguments.
  CQuiltorApp(int& argc, char** argv);
  // Inside a QApplication that already runs (tests): arguments as a
  // command line would give them, program name first.
  explicit CQuiltorApp(const QStringList& arguments);
  ~CQuiltorApp();
  CQuiltorApp(const CQuiltorApp&) = delete;
  CQuiltorApp& operator=(const CQuiltorApp&) = delete;

  // InitInstance, the event loop, ExitInstance; the process's exit status.
  int Run();
  // Start-up; false ends the run at once (ExitStatus() tells with what).
  bool InitInstance();
  void ExitInstance();
  int ExitStatus() const { return m_exitStatus; }

  CMainFrame* MainFrame() { return m_frame.get(); }
  CQuiltorDoc& Doc() { return *m_doc; }
  CQuiltorServices& Services() { return m_services; }
  CRecentFileList& RecentFiles() { return m_recent; }

  enum class OpenResult { Opened, Cancelled, Failed };
  // Opens path as the document: asks to save a modified document, loads the
  // file as the main image and enters it into the recent files on success.
  OpenResult OpenDocumentFile(const QString& path);

  void OnFileNew();
  void OnFileOpen();
  void OnRecentFile(int index);
  void OnAppAbout();
  void OnOpenHomePage();

  static const char* HomePage();

  // The start-up benchmark's measuring point: the run prints "first-paint"
  // and ends after the main window's first paint, asking nothing. Set before
  // Run().
  void SetExitAfterFirstPaint(bool on) { m_exitAfterFirstPaint = on; }

 private:
  void Construct();
  void UpdateRecentMenu();
  void ReportFirstPaint();

  std::unique_ptr<QApplication> m_ownApplication;
  QStringList m_arguments;
  CQuiltorServices m_services;
  CWidgetHost m_host;
  std::unique_ptr<CQuiltorDoc> m_doc;
  std::unique_ptr<CMainFrame> m_frame;
  CRecentFileList m_recent;
  int m_exitStatus = 0;
  bool m_exitAfterFirstPaint = false;
};
