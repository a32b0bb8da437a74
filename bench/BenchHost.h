// A silent document host for the benchmarks: no log, no boxes (a question is
// answered No), no clipboard, no dialogs; a mask preview of its own.
#pragma once

#include "document/DocumentHost.h"
#include "image/ISImageEx.h"

class CBenchHost : public IDocumentHost {
 public:
  void AddOutputLine(const QString&) override {}
  Answer MessageBox(const QString&, Buttons) override { return Answer::No; }
  void Repaint() override {}
  bool SetClipboardImage(const CISImageEx&) override { return false; }
  void OpenFolder(const QString&) override {}
  QString GetOpenFileName(const QString&, const QString&, const QString&, const QString&,
                          const QString&) override {
    return {};
  }
  QString GetSaveFileName(const QString&, const QString&, const QString&, const QString&,
                          const QString&) override {
    return {};
  }
  CISImageEx* MaskPreviewImage() override { return &preview; }
  int MaskPreviewWidth() const override { return 256; }
  int MaskPreviewHeight() const override { return 256; }
  void RedrawMaskPreview() override {}
  CISImageEx preview;
};
