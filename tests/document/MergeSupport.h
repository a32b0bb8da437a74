// Shared set-up of the merge, import, shadow and whole-cycle tests: a document
// with a recording host, settings and home folder kept in a temporary folder,
// and an independent reference of the blend.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "document/QuiltorDoc.h"
#include "image/kernels/Compositing.h"
#include "support/TestSupport.h"
#include "tests/document/RecordingHost.h"

namespace merge_testing {

// HOME, the settings and the documents folder live in a temporary folder for
// the whole test program.
inline void IsolateUserFolders() {
  static const bool done = [] {
    const std::string home = testing_support::TempDir();
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(home + "/.config"));
    return true;
  }();
  (void)done;
}

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

inline const uint8_t* Px(const CISImageEx& im, int x, int y) {
  return im.Pixels() + (static_cast<size_t>(y) * im.m_width + x) * 3;
}

// The feather ramp as a scale factor, single precision.
inline float Ramp(int i, int n, int r) {
  if (i < r) return static_cast<float>(i) / static_cast<float>(r);
  if (i > n - r) return static_cast<float>(n - 1 - i) / static_cast<float>(r);
  return 1.0f;
}

inline uint8_t FeatheredAlpha(int x, int y, int w, int h, int r) {
  if (r <= 0) return 255;
  return static_cast<uint8_t>(255.0f * (Ramp(x, w, r) * Ramp(y, h, r)));
}

inline uint8_t Mix(int b, int o, int e) {
  return static_cast<uint8_t>((b * (255 - e) + o * e) / 255);
}

// An RGBA overlay in main-image orientation, computed here from the slice:
// for a rotating slice by sampling the feathered slice at the inverse of the
// slice's rotation, otherwise a feathered copy.
struct ReferenceOverlay {
  int ox = 0, oy = 0, w = 0, h = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int c, int r) const {
    return rgba.data() + (static_cast<size_t>(r) * w + c) * 4;
  }
};

inline std::vector<uint8_t> FeatheredSlice(const CISImageEx& slice, int r) {
  const int sw = static_cast<int>(slice.m_width), sh = static_cast<int>(slice.m_height);
  std::vector<uint8_t> rgba(static_cast<size_t>(sw) * sh * 4);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      uint8_t* d = rgba.data() + (static_cast<size_t>(y) * sw + x) * 4;
      const uint8_t* s = Px(slice, x, y);
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = FeatheredAlpha(x, y, sw, sh, r);
    }
  return rgba;
}

inline ReferenceOverlay AxisOverlay(const CISImageEx& slice, int x, int y, int r) {
  ReferenceOverlay o;
  o.ox = x;
  o.oy = y;
  o.w = static_cast<int>(slice.m_width);
  o.h = static_cast<int>(slice.m_height);
  o.rgba = FeatheredSlice(slice, r);
  return o;
}

inline ReferenceOverlay RotatedOverlay(const CISImageEx& slice, int cx, int cy, int angle,
                                       int mainW, int mainH, int r) {
  const int sw = static_cast<int>(slice.m_width), sh = static_cast<int>(slice.m_height);
  const std::vector<uint8_t> feathered = FeatheredSlice(slice, r);
  const float t = static_cast<float>(angle * std::numbers::pi / 180.0);
  const float c = std::cos(t), s = std::sin(t);
  // The bounding box of the turned picture.
  const float hw = sw * 0.5f, hh = sh * 0.5f;
  const float xs[4] = {cx - hw * c + hh * s, cx + hw * c + hh * s, cx - hw * c - hh * s,
                       cx + hw * c - hh * s};
  const float ys[4] = {cy - hw * s - hh * c, cy + hw * s - hh * c, cy - hw * s + hh * c,
                       cy + hw * s + hh * c};
  const float minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
  const float minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
  ReferenceOverlay o;
  o.ox = static_cast<int>(minX - 0.5f);
  o.oy = static_cast<int>(minY - 0.5f);
  o.w = static_cast<int>(maxX - minX + 0.5f);
  o.h = static_cast<int>(maxY - minY + 0.5f);
  o.rgba.assign(static_cast<size_t>(o.w) * o.h * 4, 0);
  for (int row = 0; row < o.h; ++row)
    for (int col = 0; col < o.w; ++col) {
      const int X = o.ox + col, Y = o.oy + row;
      if (X < 0 || Y < 0 || X >= mainW || Y >= mainH) continue;
      const float dx = static_cast<float>(X - cx), dy = static_cast<float>(Y - cy);
      const float e = dx * c + dy * s + static_cast<float>(sw / 2);
      const float f = dy * c - dx * s + static_cast<float>(sh / 2);
      if (!(e >= 0 && e < sw && f >= 0 && f < sh)) continue;
      uint8_t out[4];
      SampleBicubic(feathered.data(), sw, sh, e, f, 4, out);
      std::copy(out, out + 4, o.rgba.data() + (static_cast<size_t>(row) * o.w + col) * 4);
    }
  return o;
}

// Slice and shadow scaling computed here, independently of the resampler:
// Lanczos-3 in double precision, widened by the factor when reducing, the
// edge pixel repeated beyond the border, one pass per axis with each pass's
// result held to 0..255, the pass that lowers the row count first. The
// resampler works in fixed point, so results may differ by one.
inline double ReferenceLanczos3(double x) {
  auto sinc = [](double t) {
    return t == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
  };
  return std::fabs(x) < 3 ? sinc(x) * sinc(x / 3) : 0;
}

// One axis: out[i] from in[j * stride] for n outputs over m inputs.
inline void ReferenceAxis(const std::vector<double>& in, std::vector<double>& out, int m, int n,
                          int lines, size_t inStep, size_t inLine, size_t outStep, size_t outLine) {
  const double ratio = double(m) / n, scale = std::max(1.0, ratio);
  for (int i = 0; i < n; ++i) {
    const double c = (i + 0.5) * ratio - 0.5;
    std::vector<std::pair<int, double>> taps;
    double total = 0;
    for (int j = int(std::ceil(c - 3 * scale)); j <= int(std::floor(c + 3 * scale)); ++j) {
      const double w = ReferenceLanczos3((j - c) / scale);
      taps.push_back({std::clamp(j, 0, m - 1), w});
      total += w;
    }
    for (int l = 0; l < lines; ++l)
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (const auto& [j, w] : taps) sum += w * in[l * inLine + j * inStep + k];
        out[l * outLine + i * outStep + k] = std::clamp(sum / total, 0.0, 255.0);
      }
  }
}

inline void ReferenceResize(const CISImageEx& src, uint32_t width, uint32_t height,
                            CISImageEx& out) {
  const int sw = int(src.m_width), sh = int(src.m_height), dw = int(width), dh = int(height);
  std::vector<double> a(src.Pixels(), src.Pixels() + size_t(sw) * sh * 3), b;
  auto rows = [&](int w) {  // a (w x sh) -> b (w x dh)
    b.assign(size_t(w) * dh * 3, 0);
    ReferenceAxis(a, b, sh, dh, w, size_t(w) * 3, 3, size_t(w) * 3, 3);
    a.swap(b);
  };
  auto columns = [&](int h) {  // a (sw x h) -> b (dw x h)
    b.assign(size_t(dw) * h * 3, 0);
    ReferenceAxis(a, b, sw, dw, h, 3, size_t(sw) * 3, 3, size_t(dw) * 3);
    a.swap(b);
  };
  if (dh < sh) {
    rows(sw);
    columns(dh);
  } else {
    columns(sh);
    rows(dw);
  }
  out.Create(width, height, 24);
  for (size_t i = 0; i < a.size(); ++i) out.Pixels()[i] = static_cast<uint8_t>(std::lround(a[i]));
}

// The picture before the merge: the main image with the backup over its area.
inline std::unique_ptr<CISImageEx> Before(const CQuiltorDoc& doc) {
  auto before = std::make_unique<CISImageEx>();
  before->CopyFrom(doc.m_mainImage);
  const qkern::PixelRect a = doc.BackupArea();
  for (int y = a.top; y < a.bottom; ++y)
    std::copy_n(doc.m_backupImage.Pixels() + size_t{3} * (y - a.top) * a.Width(), 3 * a.Width(),
                before->Pixels() + size_t{3} * (static_cast<size_t>(y) * before->m_width + a.left));
  return before;
}

// The main image a merge must show: the whole backup, then the overlay
// blended in with weight mask(c, r) * alpha / 255 (mask 255 everywhere when
// none is given).
inline void ExpectedBlend(const CISImageEx& backup, const ReferenceOverlay& o, const uint8_t* mask,
                          CISImageEx& out) {
  out.CopyFrom(backup);
  const int W = static_cast<int>(backup.m_width), H = static_cast<int>(backup.m_height);
  for (int r = 0; r < o.h; ++r)
    for (int c = 0; c < o.w; ++c) {
      const int X = o.ox + c, Y = o.oy + r;
      if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
      const uint8_t* ov = o.At(c, r);
      const int m = mask ? mask[static_cast<size_t>(r) * o.w + c] : 255;
      const int e = m * ov[3] / 255;
      uint8_t* p = out.Pixels() + (static_cast<size_t>(Y) * W + X) * 3;
      const uint8_t* b = Px(backup, X, Y);
      for (int k = 0; k < 3; ++k) p[k] = Mix(b[k], ov[k], e);
    }
}

// The document's main image against its own backup, overlay and mask, blended
// from scratch over a full copy of the backup.
inline void ExpectConsistentBlend(const CQuiltorDoc& doc) {
  ReferenceOverlay o;
  o.ox = doc.m_overlayX;
  o.oy = doc.m_overlayY;
  o.w = doc.m_overlay.m_width;
  o.h = doc.m_overlay.m_height;
  o.rgba.assign(doc.m_overlay.m_pixels.get(),
                doc.m_overlay.m_pixels.get() + static_cast<size_t>(o.w) * o.h * 4);
  CISImageEx expected;
  ExpectedBlend(*Before(doc), o, doc.m_mask.m_pixels.get(), expected);
  EXPECT_EQ(testing_support::MaxDifference(expected, doc.m_mainImage), 0);
}

class DocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IsolateUserFolders();
    dir = testing_support::TempDir();
    doc = std::make_unique<CQuiltorDoc>(host, services);
    doc->m_sliceFolder = Q(dir);
  }

  // A main image present as after a load: the backup equals it.
  void SetMain(uint32_t w, uint32_t h, uint32_t seed = 1) {
    testing_support::MakeTestPicture(doc->m_mainImage, w, h, seed);
    doc->m_backupImage.CopyFrom(doc->m_mainImage);
    doc->m_mainImagePath = Q(dir + "/main.png");
  }

  // Lays slice over the main image as a fitting returned file does.
  void StartMerge(const CISImageEx& slice) {
    // The whole picture as backup where no merge holds one.
    if (!doc->m_backupImage.HasPixels()) doc->m_backupImage.CopyFrom(doc->m_mainImage);
    doc->m_sliceImage.CopyFrom(slice);
    doc->m_mask.Release();
    doc->m_locked = 1;
    doc->BuildMerge();
  }

  QString WritePng(const CISImageEx& picture, const std::string& name) {
    const std::string path = dir + "/" + name;
    EXPECT_EQ(const_cast<CISImageEx&>(picture).SaveFile(path, kFilePNG), 0u);
    return Q(path);
  }

  RecordingHost host;
  CQuiltorServices services;
  std::unique_ptr<CQuiltorDoc> doc;
  std::string dir;
};

}  // namespace merge_testing
