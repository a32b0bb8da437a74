// The document's host in the desktop application: log lines to the Output
// pane, Qt message boxes and file dialogs, the clipboard, the file browser,
// the window caption and the view's repaint.
#pragma once

#include <QPointer>
#include <QStringList>

#include "document/DocumentHost.h"
#include "image/ISImageEx.h"

class CMainFrame;
class QProgressDialog;
class QWidget;

class CWidgetHost : public IDocumentHost {
 public:
  // Lines logged before the frame exists are shown once it is attached.
  void Attach(CMainFrame* frame);

  void AddOutputLine(const QString& text) override;
  Answer MessageBox(const QString& text, Buttons buttons) override;
  void Repaint() override;
  void MainImageChanged(const QRect& rect) override;
  void TitleChanged(const QString& title) override;
  void ModifiedChanged(bool modified) override;
  void UndoHistoryChanged() override;
  void LedgerOpened(const QStringList& history) override;
  bool SetClipboardImage(const CISImageEx& picture) override;
  void OpenFolder(const QString& path) override;
  QString GetOpenFileName(const QString& title, const QString& filter,
                          const QString& defaultExtension, const QString& proposedName,
                          const QString& initialFolder) override;
  QString GetSaveFileName(const QString& title, const QString& filter,
                          const QString& defaultExtension, const QString& proposedName,
                          const QString& initialFolder) override;
  CISImageEx* MaskPreviewImage() override;
  int MaskPreviewWidth() const override;
  int MaskPreviewHeight() const override;
  void RedrawMaskPreview() override;
  // A window-modal progress dialog once opening or saving has taken half a
  // second, Cancel for opening; it keeps the window repainting.
  bool WorkProgress(Work work, double done) override;

  // The caption: document title, a dash and the window title.
  static QString Caption(const QString& title);

 private:
  QWidget* DialogParent() const;

  QPointer<CMainFrame> m_frame;
  QPointer<QProgressDialog> m_progress;  // while opening or saving
  QStringList m_pending;
  QStringList m_ledgerHistory;  // read before the frame existed
  QString m_title = QStringLiteral("Untitled");
  CISImageEx m_fallbackPreview;  // until the Merger pane exists
};
