// The document's host on the console: log lines to standard output as they
// are, everything else as "# " lines; boxes answered from a queue.
#pragma once

#include <QString>
#include <deque>

#include "document/DocumentHost.h"
#include "image/ISImageEx.h"

class CConsoleHost : public IDocumentHost {
 public:
  void AddOutputLine(const QString& text) override;
  // Each entry as "# history: NAME", as the export's own.
  void LedgerOpened(const QStringList& history) override;
  Answer MessageBox(const QString& text, Buttons buttons) override;
  void Repaint() override {}
  // No clipboard on the console: the picture is never sent.
  bool SetClipboardImage(const CISImageEx&) override { return false; }
  void OpenFolder(const QString& path) override;
  QString GetOpenFileName(const QString&, const QString&, const QString&, const QString&,
                          const QString&) override {
    return m_nextOpenPath;
  }
  QString GetSaveFileName(const QString&, const QString&, const QString&, const QString&,
                          const QString&) override {
    return m_nextSavePath;
  }
  CISImageEx* MaskPreviewImage() override { return &m_preview; }
  int MaskPreviewWidth() const override { return 256; }
  int MaskPreviewHeight() const override { return 256; }
  void RedrawMaskPreview() override {}
  // With m_showProgress, "# opening 40%" lines every tenth of the way.
  bool WorkProgress(Work work, double done) override;

  // A line of the tool's own: "# " + text.
  static void Note(const QString& text);

  std::deque<Answer> m_answers;
  QString m_nextOpenPath;  // the open dialog's choice, empty for a cancel
  QString m_nextSavePath;  // the save dialog's choice, empty for a cancel
  CISImageEx m_preview;
  bool m_showProgress = false;
  int m_progressShown = -1;  // tenths reported of the work under way
};
