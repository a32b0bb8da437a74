// The desktop's Send to Stable Diffusion: the Slicer's button, Edit > "Send to
// Stable Diffusion" (Ctrl+Return) and Tools > "Stable Diffusion...". While a
// slice is out, the status bar shows the server's progress with a Cancel
// button, Escape interrupts, and the Merger preview shows the server's
// current picture. The window stays responsive: the network is asynchronous.
#pragma once

#include <QObject>

#include "sd/SdSend.h"

class CMainFrame;
class CQuiltorDoc;
struct CQuiltorServices;
class QProgressBar;
class QPushButton;
class QShortcut;

class CSdSendUi : public QObject {
 public:
  CSdSendUi(CMainFrame& frame, CQuiltorDoc& doc, CQuiltorServices& services);

  // Export && Lock exactly as the Slicer's button, then the slice goes out.
  void Send();
  void Cancel();
  void ShowSettings();
  bool Busy() const { return m_send.Busy(); }
  QProgressBar* ProgressBar() const { return m_bar; }

 private:
  void SetBusy(bool busy);

  CMainFrame& m_frame;
  CQuiltorServices& m_services;
  CSdSend m_send;
  QProgressBar* m_bar;
  QPushButton* m_cancel;
  QShortcut* m_escape;
};
