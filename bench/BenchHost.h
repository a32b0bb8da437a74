// A silent document host for the benchmarks: no log, no boxes (a question is
// answered No), no clipboard, no dialogs; a mask preview of its own.
#pragma once

#include <cstdint>
#include <random>

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

// A test picture: smooth gradients with noise (0..noiseMask added) and
// hard-edged blocks, so that files and colours are like a photo's.
inline void FillPicture(CISImageEx& im, uint32_t w, uint32_t h, uint32_t seed,
                        uint32_t noiseMask = 15) {
  im.Create(w, h, 24);
  std::minstd_rand rng(seed);
  uint8_t* p = im.Pixels();
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x, p += 3) {
      const uint32_t n = rng() & noiseMask;
      p[0] = static_cast<uint8_t>((x * 255 / w + n) & 255);
      p[1] = static_cast<uint8_t>((y * 255 / h + n) & 255);
      p[2] = static_cast<uint8_t>(((x / 64 + y / 64) % 2 ? 190 : 50) + n);
    }
}
