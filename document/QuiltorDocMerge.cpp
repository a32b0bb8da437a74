// Laying a returned slice over the main image, painting the merge mask, and
// applying or cancelling the merge.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "document/QuiltorDoc.h"
#include "image/kernels/Compositing.h"

namespace {

// Keeps pointer input from the view or a script far away from int overflow
// while still lying well outside any mask.
constexpr int kCoordinateLimit = 1 << 28;

int ClampCoordinate(int v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); }

inline uint8_t BlendChannel(uint32_t backup, uint32_t overlay, uint32_t e) {
  return static_cast<uint8_t>((backup * (255 - e) + overlay * e) / 255);
}

// trunc(target * R + m * (1 - R)) with R = weight / 255, computed exactly:
// in double precision m = target gives target - 1e-14 and the eraser would
// sink one step below its target with every further dab.
inline uint8_t MixTowards(int m, int target, int weight) {
  const int change = (target - m) * weight;
  // Floor division: the sum is positive, so truncation rounds down.
  const int step = change >= 0 ? change / 255 : -((-change + 254) / 255);
  return static_cast<uint8_t>(m + step);
}

}  // namespace

bool CQuiltorDoc::MainAndBackupComparable() const {
  return m_mainImage.HasPixels() && m_backupImage.HasPixels() && m_mainImage.m_bitsPerPixel == 24 &&
         m_backupImage.m_bitsPerPixel == 24 && m_mainImage.m_width == m_backupImage.m_width &&
         m_mainImage.m_height == m_backupImage.m_height;
}

void CQuiltorDoc::MarkBlended(const PixelRect& rect) {
  if (rect.IsEmpty()) return;
  if (m_blendedRegion.IsEmpty()) {
    m_blendedRegion = rect;
    return;
  }
  m_blendedRegion.left = std::min(m_blendedRegion.left, rect.left);
  m_blendedRegion.top = std::min(m_blendedRegion.top, rect.top);
  m_blendedRegion.right = std::max(m_blendedRegion.right, rect.right);
  m_blendedRegion.bottom = std::max(m_blendedRegion.bottom, rect.bottom);
}

namespace {

// Copies the rows of rect (clipped to the picture) from one 24-bit picture to
// another of the same size.
void CopyRect(const CISImageEx& from, CISImageEx& to, int left, int top, int right, int bottom) {
  const int w = static_cast<int>(from.m_width), h = static_cast<int>(from.m_height);
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, w);
  bottom = std::min(bottom, h);
  if (right <= left || bottom <= top) return;
  const size_t stride = size_t{3} * static_cast<size_t>(w);
  const size_t bytes = size_t{3} * static_cast<size_t>(right - left);
  const uint8_t* src = from.Pixels() + static_cast<size_t>(top) * stride + size_t{3} * left;
  uint8_t* dst = to.Pixels() + static_cast<size_t>(top) * stride + size_t{3} * left;
  for (int y = top; y < bottom; ++y, src += stride, dst += stride) std::memcpy(dst, src, bytes);
}

}  // namespace

void CQuiltorDoc::RestoreMainFromBackup() {
  if (MainAndBackupComparable()) {
    const PixelRect& r = m_blendedRegion;
    if (!r.IsEmpty()) CopyRect(m_backupImage, m_mainImage, r.left, r.top, r.right, r.bottom);
  } else if (m_backupImage.HasPixels()) {
    m_mainImage.CopyFrom(m_backupImage);
  }
  m_blendedRegion = {};
}

void CQuiltorDoc::CopyMainToBackup() {
  if (MainAndBackupComparable()) {
    const PixelRect& r = m_blendedRegion;
    if (!r.IsEmpty()) CopyRect(m_mainImage, m_backupImage, r.left, r.top, r.right, r.bottom);
  } else {
    m_backupImage.CopyFrom(m_mainImage);
  }
  m_blendedRegion = {};
}

// Blends overlay columns col0..col1-1 of rows row0..row1-1 (already clipped to
// the overlay and to the main image) and records the weights in the blend mask.
void CQuiltorDoc::BlendOverlayArea(int col0, int row0, int col1, int row1) {
  if (col1 <= col0 || row1 <= row0) return;
  const int ow = m_overlay.m_width;
  const size_t mainStride = size_t{3} * m_mainImage.m_width;
  const uint8_t* backup = m_backupImage.Pixels();
  uint8_t* main = m_mainImage.Pixels();
  for (int row = row0; row < row1; ++row) {
    const size_t maskRow = static_cast<size_t>(row) * ow;
    const uint8_t* mask = m_mask.m_pixels.get() + maskRow;
    uint8_t* blend = m_blendMask.m_pixels.get() + maskRow;
    const uint8_t* ov = m_overlay.m_pixels.get() + maskRow * 4;
    const size_t mainOffset = static_cast<size_t>(m_overlayY + row) * mainStride +
                              size_t{3} * static_cast<size_t>(m_overlayX);
    const uint8_t* b = backup + mainOffset;
    uint8_t* m = main + mainOffset;
    for (int col = col0; col < col1; ++col) {
      const uint32_t e = uint32_t{mask[col]} * ov[4 * col + 3] / 255;
      blend[col] = static_cast<uint8_t>(e);
      m[3 * col] = BlendChannel(b[3 * col], ov[4 * col], e);
      m[3 * col + 1] = BlendChannel(b[3 * col + 1], ov[4 * col + 1], e);
      m[3 * col + 2] = BlendChannel(b[3 * col + 2], ov[4 * col + 2], e);
    }
  }
  MarkBlended({m_overlayX + col0, m_overlayY + row0, m_overlayX + col1, m_overlayY + row1});
}

void CQuiltorDoc::BuildMerge() {
  if (!m_sliceImage.HasPixels()) return;
  // Without a backup there is nothing to blend over; copying it would empty
  // the main image.
  if (!m_backupImage.HasPixels()) return;
  const int sw = static_cast<int>(m_sliceImage.m_width);
  const int sh = static_cast<int>(m_sliceImage.m_height);
  const int bw = static_cast<int>(m_backupImage.m_width);
  const int bh = static_cast<int>(m_backupImage.m_height);
  int ox, oy, ow, oh;

  if (m_rotating) {
    CQuickBitmap slice;
    if (!slice.SetFromRGB(m_sliceImage.Pixels(), sw, sh)) return;
    FeatherEdges(slice.m_pixels.get(), sw, sh, m_services.edgeBlur);
    const int cx = m_sliceX + m_sliceWidth / 2;
    const int cy = m_sliceY + m_sliceHeight / 2;
    const float theta = static_cast<float>(m_angle * std::numbers::pi / 180.0);
    const float c = std::cos(theta), s = std::sin(theta);
    const float hw = static_cast<float>(sw) * 0.5f, hh = static_cast<float>(sh) * 0.5f;
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool first = true;
    for (float u : {-hw, hw}) {
      for (float v : {-hh, hh}) {
        const float x = static_cast<float>(cx) + u * c - v * s;
        const float y = static_cast<float>(cy) + u * s + v * c;
        if (first) {
          minX = maxX = x;
          minY = maxY = y;
          first = false;
        } else {
          minX = std::min(minX, x);
          maxX = std::max(maxX, x);
          minY = std::min(minY, y);
          maxY = std::max(maxY, y);
        }
      }
    }
    ox = static_cast<int>(minX - 0.5f);
    oy = static_cast<int>(minY - 0.5f);
    ow = static_cast<int>(maxX - minX + 0.5f);
    oh = static_cast<int>(maxY - minY + 0.5f);
    if (!m_overlay.Create(ow, oh) || !m_blendMask.Create(ow, oh)) return;
    RenderRotatedOverlay(m_backupImage.Pixels(), bw, bh, cx, cy, theta, slice.m_pixels.get(), sw,
                         sh, m_overlay.m_pixels.get(), ox, oy, ow, oh);
  } else {
    if (!m_overlay.SetFromRGB(m_sliceImage.Pixels(), sw, sh)) return;
    if (!m_blendMask.Create(sw, sh)) return;
    FeatherEdges(m_overlay.m_pixels.get(), sw, sh, m_services.edgeBlur / std::max(1, m_zoom));
    ox = m_sliceX;
    oy = m_sliceY;
    ow = sw;
    oh = sh;
  }
  m_overlayX = ox;
  m_overlayY = oy;

  if (!m_mask.HasPixels() || m_mask.m_width != ow || m_mask.m_height != oh) {
    if (!m_mask.Create(ow, oh)) return;
    std::memset(m_mask.m_pixels.get(), 255, static_cast<size_t>(ow) * oh);
  }

  // The overlay's part inside the main image, in overlay coordinates.
  const int col0 = std::clamp(-ox, 0, ow), row0 = std::clamp(-oy, 0, oh);
  const int col1 = std::clamp(bw - ox, col0, ow), row1 = std::clamp(bh - oy, row0, oh);

  // Every pixel of the new overlay area is recomputed from the backup below,
  // so only an earlier blend outside it has to be put back.
  const PixelRect area{ox + col0, oy + row0, ox + col1, oy + row1};
  const PixelRect& old = m_blendedRegion;
  const bool covered =
      old.IsEmpty() || (!area.IsEmpty() && old.left >= area.left && old.top >= area.top &&
                        old.right <= area.right && old.bottom <= area.bottom);
  if (!MainAndBackupComparable()) {
    m_mainImage.CopyFrom(m_backupImage);
    m_blendedRegion = {};
  } else if (!covered) {
    RestoreMainFromBackup();
  }
  m_blendedRegion = {};
  BlendOverlayArea(col0, row0, col1, row1);

  m_displayRefresh = 1;
  m_merge = 1;
  m_locked = 1;
  m_host.Repaint();
  SetModifiedFlag(true);
}

void CQuiltorDoc::PaintMask(int px, int py, int continuing) {
  if (!m_mask.HasPixels()) {
    m_displayRefresh = 1;
    return;
  }
  m_brushPreview = 0;
  if (!m_brush.m_stamp) m_brush.Build();
  const int side = m_brush.m_stamp ? m_brush.m_stampSide : 0;
  const double level = m_brush.m_opacity / 100.0;
  const int mw = m_mask.m_width, mh = m_mask.m_height;

  const int x0 = ClampCoordinate(px) - ClampCoordinate(m_overlayX) - side / 2;
  const int y0 = ClampCoordinate(py) - ClampCoordinate(m_overlayY) - side / 2;

  // A snapshot of another size belongs to an earlier overlay: start afresh.
  if (!continuing || !m_strokeSnapshot.HasPixels() || m_strokeSnapshot.m_width != mw ||
      m_strokeSnapshot.m_height != mh) {
    if (!m_strokeSnapshot.Create(mw, mh)) return;
    std::memcpy(m_strokeSnapshot.m_pixels.get(), m_mask.m_pixels.get(), size_t(mw) * mh);
    m_lastDabX = x0;
    m_lastDabY = y0;
  }

  double spacing = side * 0.08;
  if (spacing == 0) spacing = 2;
  const int lastX = ClampCoordinate(m_lastDabX), lastY = ClampCoordinate(m_lastDabY);
  const int dx = x0 - lastX, dy = y0 - lastY;
  const int n = static_cast<int>(
      std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) / spacing + 0.5);
  const int steps = n >= 1 ? n : 1;
  const float stepX = static_cast<float>(dx) / static_cast<float>(steps);
  const float stepY = static_cast<float>(dy) / static_cast<float>(steps);

  // The dab target depends only on the snapshot byte.
  uint8_t target[256];
  for (int t = 0; t < 256; ++t) {
    target[t] = m_tool == 1 ? static_cast<uint8_t>(std::min(255.0, level * 255 + t))
                            : static_cast<uint8_t>((1 - level) * t);
  }

  const bool blendMain = MainAndBackupComparable() && m_overlay.HasPixels() &&
                         m_overlay.m_width == mw && m_overlay.m_height == mh &&
                         m_blendMask.HasPixels() && m_blendMask.m_width == mw &&
                         m_blendMask.m_height == mh;
  const int mainW = static_cast<int>(m_mainImage.m_width);
  const int mainH = static_cast<int>(m_mainImage.m_height);
  const int ox = m_overlayX, oy = m_overlayY;
  const size_t mainStride = size_t{3} * static_cast<size_t>(mainW);
  const uint8_t* stamp = m_brush.m_stamp.get();
  uint8_t* mask = m_mask.m_pixels.get();
  const uint8_t* snapshot = m_strokeSnapshot.m_pixels.get();

  for (int k = 0; k < steps && side > 0; ++k) {
    int cornerX = x0, cornerY = y0;
    if (k != steps - 1) {
      cornerX = static_cast<int>(static_cast<float>(lastX) + static_cast<float>(k) * stepX);
      cornerY = static_cast<int>(static_cast<float>(lastY) + static_cast<float>(k) * stepY);
    }
    // The stamp's part inside the mask.
    const int u0 = std::max(0, -cornerX), v0 = std::max(0, -cornerY);
    const int u1 = std::min(side, mw - cornerX), v1 = std::min(side, mh - cornerY);
    if (u1 <= u0 || v1 <= v0) continue;
    for (int v = v0; v < v1; ++v) {
      const int my = cornerY + v;
      const uint8_t* stampRow = stamp + static_cast<size_t>(v) * side;
      const size_t maskRow = static_cast<size_t>(my) * mw;
      const bool rowInMain = blendMain && oy + my >= 0 && oy + my < mainH;
      for (int u = u0; u < u1; ++u) {
        const uint8_t sv = stampRow[u];
        if (sv == 0) continue;
        const int mx = cornerX + u;
        const size_t at = maskRow + mx;
        mask[at] = MixTowards(mask[at], target[snapshot[at]], sv);
        const int X = ox + mx;
        if (rowInMain && X >= 0 && X < mainW) {
          const uint8_t* ov = m_overlay.m_pixels.get() + at * 4;
          const uint32_t e = uint32_t{ov[3]} * mask[at] / 255;
          m_blendMask.m_pixels[at] = static_cast<uint8_t>(e);
          const size_t p = static_cast<size_t>(oy + my) * mainStride + size_t{3} * X;
          const uint8_t* b = m_backupImage.Pixels() + p;
          uint8_t* m = m_mainImage.Pixels() + p;
          m[0] = BlendChannel(b[0], ov[0], e);
          m[1] = BlendChannel(b[1], ov[1], e);
          m[2] = BlendChannel(b[2], ov[2], e);
        }
      }
    }
    if (blendMain) {
      const PixelRect dab{std::max(0, ox + cornerX + u0), std::max(0, oy + cornerY + v0),
                          std::min(mainW, ox + cornerX + u1), std::min(mainH, oy + cornerY + v1)};
      MarkBlended(dab);
    }
  }
  m_lastDabX = x0;
  m_lastDabY = y0;
  m_displayRefresh = 1;
}

void CQuiltorDoc::UpdateMaskPreview() {
  CISImageEx* preview = m_host.MaskPreviewImage();
  if (!preview) return;
  preview->Clear();
  if (m_blendMask.HasPixels()) {
    const int w = m_blendMask.m_width, h = m_blendMask.m_height;
    if (preview->Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24) == kISOk) {
      const uint8_t* src = m_blendMask.m_pixels.get();
      uint8_t* dst = preview->Pixels();
      const size_t count = static_cast<size_t>(w) * h;
      for (size_t i = 0; i < count; ++i) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[i];
      const int pw = m_host.MaskPreviewWidth(), ph = m_host.MaskPreviewHeight();
      if (pw > 0 && ph > 0)
        preview->Resize(static_cast<uint32_t>(pw), static_cast<uint32_t>(ph), 16);
    }
  }
  m_host.RedrawMaskPreview();
}

void CQuiltorDoc::FillMask(int value) {
  if (m_mask.HasPixels()) {
    std::memset(m_mask.m_pixels.get(), std::clamp(value, 0, 255),
                static_cast<size_t>(m_mask.m_width) * m_mask.m_height);
  }
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::InvertMask() {
  if (m_mask.HasPixels()) {
    uint8_t* p = m_mask.m_pixels.get();
    const size_t count = static_cast<size_t>(m_mask.m_width) * m_mask.m_height;
    for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
  }
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::RefreshMerge() {
  if (m_mainImage.HasPixels() && m_backupImage.HasPixels() && m_merge == 1 && m_locked == 1)
    BuildMerge();
}

void CQuiltorDoc::CancelMerge() {
  if (!m_backupImage.HasPixels() || m_merge != 1) {
    Log(QStringLiteral("Not in Merge Mode"));
    m_merge = 0;
    m_locked = m_locked ? 0 : 1;
    m_displayRefresh = 1;
    m_host.Repaint();
    return;
  }
  RestoreMainFromBackup();
  m_displayRefresh = 1;
  m_merge = 0;
  m_locked = 1;
  Log(QStringLiteral("Cancel Merge"));
  m_host.Repaint();
}

void CQuiltorDoc::ApplyMerge() {
  if (m_merge != 1) {
    Log(QStringLiteral("Not in Merge"));
    return;
  }
  m_merge = 0;
  m_locked = 0;
  m_host.Repaint();
  SetModifiedFlag(true);
}
