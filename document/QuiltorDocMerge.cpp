// Laying a returned slice over the main image, painting the merge mask, and
// applying or cancelling the merge.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "document/MergeBlend.h"
#include "document/QuiltorDoc.h"
#include "image/kernels/Compositing.h"
#include "image/kernels/Parallel.h"

namespace {

using merge::BlendChannel;
using merge::BlendRow;
using merge::BlendRowScalar;

// Keeps pointer input from the view or a script, and slice places from the
// console or a hand-edited history name, far away from int overflow while
// still lying well outside any mask or picture: a coordinate within the limit
// plus or minus any bitmap side still fits an int.
constexpr int kCoordinateLimit = 1 << 28;

constexpr int kMaxDabs = 1 << 22;

int ClampCoordinate(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, -kCoordinateLimit, kCoordinateLimit));
}

// The rotating square's centre from its corner and side, both any int.
int SliceCentre(int corner, int side) { return ClampCoordinate(int64_t{corner} + side / 2); }

// Truncation toward zero of a position or extent computed in float; values
// beyond the limit (and NaN) would make the conversion undefined.
int FloatToCoordinate(float v) {
  if (std::isnan(v)) return 0;
  constexpr float limit = static_cast<float>(kCoordinateLimit);
  return static_cast<int>(std::clamp(v, -limit, limit));
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

// Puts alpha back to 255 where a feather of ramp r lowered it: the first r
// and the last r - 1 rows and columns.
void ResetFeatherBands(uint8_t* rgba, int w, int h, int r) {
  if (r <= 0 || w <= 0 || h <= 0) return;
  auto row = [&](int y) {
    uint8_t* p = rgba + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x) p[4 * x + 3] = 255;
  };
  const int top = std::min(r, h), bottom = std::max(top, h - r + 1);
  for (int y = 0; y < top; ++y) row(y);
  for (int y = bottom; y < h; ++y) row(y);
  const int left = std::min(r, w), right = std::max(left, w - r + 1);
  for (int y = top; y < bottom; ++y) {
    uint8_t* p = rgba + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < left; ++x) p[4 * x + 3] = 255;
    for (int x = right; x < w; ++x) p[4 * x + 3] = 255;
  }
}

}  // namespace

bool CQuiltorDoc::MainAndBackupComparable() const {
  return m_mainImage.HasPixels() && m_backupImage.HasPixels() && m_mainImage.m_bitsPerPixel == 24 &&
         m_backupImage.m_bitsPerPixel == 24 && m_mainImage.m_width == m_backupImage.m_width &&
         m_mainImage.m_height == m_backupImage.m_height;
}

void CQuiltorDoc::MarkBlended(const PixelRect& rect) { m_blendedRegion.Include(rect); }

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
  const uint8_t* mask = m_mask.m_pixels.get();
  uint8_t* blend = m_blendMask.m_pixels.get();
  const uint8_t* overlay = m_overlay.m_pixels.get();
  const int ox = m_overlayX, oy = m_overlayY;
  const int64_t work = int64_t{col1 - col0} * (row1 - row0);
  qkern::ParallelFor(row1 - row0, qkern::ThreadsFor(work), [&](int begin, int end) {
    for (int row = row0 + begin; row < row0 + end; ++row) {
      const size_t at = static_cast<size_t>(row) * ow + col0;
      const size_t mainOffset =
          static_cast<size_t>(oy + row) * mainStride + size_t{3} * static_cast<size_t>(ox + col0);
      BlendRow(mask + at, overlay + at * 4, backup + mainOffset, main + mainOffset, blend + at,
               col1 - col0);
    }
  });
  MarkBlended({ox + col0, oy + row0, ox + col1, oy + row1});
}

CQuiltorDoc::OverlaySource CQuiltorDoc::CurrentOverlaySource() const {
  OverlaySource s;
  s.valid = true;
  s.rotating = m_rotating;
  s.angle = m_rotating ? m_angle : 0;
  s.sliceX = m_sliceX;
  s.sliceY = m_sliceY;
  s.sliceWidth = m_sliceWidth;
  s.sliceHeight = m_sliceHeight;
  s.zoom = m_zoom;
  s.imageWidth = m_sliceImage.m_width;
  s.imageHeight = m_sliceImage.m_height;
  s.backgroundWidth = m_backupImage.m_width;
  s.backgroundHeight = m_backupImage.m_height;
  s.feather = m_rotating ? m_services.edgeBlur : m_services.edgeBlur / std::max(1, m_zoom);
  s.matched = MatchColoursOn();
  return s;
}

bool CQuiltorDoc::SameOverlaySource(const OverlaySource& c) const {
  const OverlaySource& b = m_overlaySource;
  return b.valid && b.rotating == c.rotating && b.angle == c.angle && b.sliceX == c.sliceX &&
         b.sliceY == c.sliceY && b.sliceWidth == c.sliceWidth && b.sliceHeight == c.sliceHeight &&
         b.zoom == c.zoom && b.imageWidth == c.imageWidth && b.imageHeight == c.imageHeight &&
         b.backgroundWidth == c.backgroundWidth && b.backgroundHeight == c.backgroundHeight &&
         b.matched == c.matched && m_overlay.HasPixels() && m_overlay.m_width == b.overlayWidth &&
         m_overlay.m_height == b.overlayHeight && m_blendMask.HasPixels() &&
         m_blendMask.m_width == b.overlayWidth && m_blendMask.m_height == b.overlayHeight &&
         (!b.rotating || (m_featheredSlice.HasPixels() &&
                          m_featheredSlice.m_width == static_cast<int>(b.imageWidth) &&
                          m_featheredSlice.m_height == static_cast<int>(b.imageHeight)));
}

// Rotating slice, same place, new feather: only overlay pixels whose cubic
// taps reach a ramp of the old or the new feather can change, and only in
// alpha (the channels are sampled independently).
void CQuiltorDoc::RefeatherRotatedOverlay(int oldFeather, int newFeather, bool blend) {
  const int sw = m_featheredSlice.m_width, sh = m_featheredSlice.m_height;
  uint8_t* feathered = m_featheredSlice.m_pixels.get();
  ResetFeatherBands(feathered, sw, sh, oldFeather);
  FeatherEdges(feathered, sw, sh, newFeather);

  const int W = static_cast<int>(m_backupImage.m_width);
  const int H = static_cast<int>(m_backupImage.m_height);
  const int ow = m_overlay.m_width, oh = m_overlay.m_height;
  const int ox = m_overlayX, oy = m_overlayY;
  const int cx = SliceCentre(m_sliceX, m_sliceWidth), cy = SliceCentre(m_sliceY, m_sliceHeight);
  const float theta = static_cast<float>(m_angle * std::numbers::pi / 180.0);
  const float cs = std::cos(theta), sn = std::sin(theta);
  const float halfW = static_cast<float>(sw / 2), halfH = static_cast<float>(sh / 2);
  const float fw = static_cast<float>(sw), fh = static_cast<float>(sh);
  const int r = std::max({oldFeather, newFeather, 0});
  // Sample positions whose four taps all lie where both feathers give 255.
  const double deepX0 = r + 2, deepX1 = sw - r - 3, deepY0 = r + 2, deepY1 = sh - r - 3;
  uint8_t* overlay = m_overlay.m_pixels.get();
  const uint8_t* mask = m_mask.m_pixels.get();
  const uint8_t* backup = m_backupImage.Pixels();
  uint8_t* main = m_mainImage.Pixels();
  uint8_t* blendMask = m_blendMask.m_pixels.get();

  const int row0 = std::clamp(-oy, 0, oh), row1 = std::clamp(H - oy, row0, oh);
  const int col0 = std::clamp(-ox, 0, ow), col1 = std::clamp(W - ox, col0, ow);
  qkern::ParallelFor(
      row1 - row0, qkern::ThreadsFor(int64_t{row1 - row0} * (col1 - col0) / 4),
      [&](int begin, int end) {
        for (int row = row0 + begin; row < row0 + end; ++row) {
          const float dy = static_cast<float>(oy + row - cy);
          // Along the row both sample coordinates move linearly with the column;
          // these bounds are estimates with a safety margin of a pixel or more.
          const double ax = (double(ox) - cx) * cs + double(dy) * sn + halfW;
          const double ay = double(dy) * cs - (double(ox) - cx) * sn + halfH;
          double in0 = col0, in1 = col1 - 1, deep0 = col0, deep1 = col1 - 1;
          auto limit = [](double a, double slope, double lo, double hi, double& c0, double& c1) {
            if (std::fabs(slope) < 1e-9) {
              if (a < lo || a > hi) c0 = 1, c1 = 0;
              return;
            }
            double t0 = (lo - a) / slope, t1 = (hi - a) / slope;
            if (t0 > t1) std::swap(t0, t1);
            c0 = std::max(c0, t0);
            c1 = std::min(c1, t1);
          };
          limit(ax, cs, -2.0, sw + 1.0, in0, in1);
          limit(ay, -sn, -2.0, sh + 1.0, in0, in1);
          limit(ax, cs, deepX0, deepX1, deep0, deep1);
          limit(ay, -sn, deepY0, deepY1, deep0, deep1);
          if (in0 > in1) continue;
          const int first = static_cast<int>(std::max<double>(col0, std::floor(in0) - 1));
          const int last = static_cast<int>(std::min<double>(col1 - 1, std::ceil(in1) + 1));
          int skip0 = last + 1, skip1 = last;  // columns left alone: all taps deep inside
          if (deep1 - deep0 > 4) {
            skip0 = static_cast<int>(std::ceil(deep0)) + 1;
            skip1 = static_cast<int>(std::floor(deep1)) - 1;
          }
          uint8_t* out = overlay + static_cast<size_t>(row) * ow * 4;
          for (int col = first; col <= last; ++col) {
            if (col >= skip0 && col <= skip1) {
              col = skip1;
              continue;
            }
            const float dx = static_cast<float>(ox + col - cx);
            const float sx = dx * cs + dy * sn + halfW;
            const float sy = dy * cs - dx * sn + halfH;
            if (!(sx >= 0 && sx < fw && sy >= 0 && sy < fh)) continue;
            out[static_cast<size_t>(col) * 4 + 3] =
                SampleBicubicChannel(feathered, sw, sh, sx, sy, 4, 3);
            if (blend) {
              const size_t at = static_cast<size_t>(row) * ow + col;
              const size_t p = (static_cast<size_t>(oy + row) * W + (ox + col)) * 3;
              BlendRowScalar(mask + at, overlay + at * 4, backup + p, main + p, blendMask + at, 1);
            }
          }
        }
      });
}

bool CQuiltorDoc::BuildMerge() {
  if (BuildMergeWith(false)) return true;
  ReportOutOfMemory(QStringLiteral("merge ") + m_slicePath);
  return false;
}

bool CQuiltorDoc::BuildMergeWith(bool sliceUnchanged) {
  if (!m_sliceImage.HasPixels()) return true;
  // Without a backup there is nothing to blend over; copying it would empty
  // the main image.
  if (!m_backupImage.HasPixels()) return true;
  const int sw = static_cast<int>(m_sliceImage.m_width);
  const int sh = static_cast<int>(m_sliceImage.m_height);
  OverlaySource source = CurrentOverlaySource();

  if (sliceUnchanged && SameOverlaySource(source) && m_mask.HasPixels() &&
      m_mask.m_width == m_overlay.m_width && m_mask.m_height == m_overlay.m_height &&
      MainAndBackupComparable()) {
    // The same overlay in the same place: the main image already holds its
    // blend, so only pixels whose weight changes are blended again.
    const int oldFeather = m_overlaySource.feather;
    const bool wholeArea = m_maskChanged;
    m_overlaySource.valid = false;  // until the feather is redone
    if (oldFeather != source.feather) {
      if (m_rotating) {
        RefeatherRotatedOverlay(oldFeather, source.feather, !wholeArea);
      } else {
        uint8_t* rgba = m_overlay.m_pixels.get();
        ResetFeatherBands(rgba, sw, sh, oldFeather);
        FeatherEdges(rgba, sw, sh, source.feather);
        if (!wholeArea) BlendFeatherBands(std::max(oldFeather, source.feather));
      }
    }
    source.overlayWidth = m_overlay.m_width;
    source.overlayHeight = m_overlay.m_height;
    m_overlaySource = source;
    FinishMerge(wholeArea ? BlendWholeOverlay() : OverlayAreaInMain());
    return true;
  }
  MergeBuffers buffers;
  if (!PrepareMerge(buffers, source, false)) return false;
  CommitMerge(buffers, source, sliceUnchanged);
  return true;
}

// Everything a new overlay needs is allocated and filled here, aside from
// the document, so that a merge that cannot be built changes nothing.
bool CQuiltorDoc::PrepareMerge(MergeBuffers& b, const OverlaySource& source, bool freshMask) {
  if (!m_sliceImage.HasPixels() || !m_backupImage.HasPixels()) return false;
  const int sw = static_cast<int>(m_sliceImage.m_width);
  const int sh = static_cast<int>(m_sliceImage.m_height);
  const int bw = static_cast<int>(m_backupImage.m_width);
  const int bh = static_cast<int>(m_backupImage.m_height);
  int ow, oh;
  if (m_rotating) {
    // The colours the overlay is made of: the returned slice or its match.
    if (!FillOverlayColours(b.feathered, source.matched)) return false;
    FeatherEdges(b.feathered.m_pixels.get(), sw, sh, source.feather);
    const int cx = SliceCentre(m_sliceX, m_sliceWidth);
    const int cy = SliceCentre(m_sliceY, m_sliceHeight);
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
    b.ox = FloatToCoordinate(minX - 0.5f);
    b.oy = FloatToCoordinate(minY - 0.5f);
    ow = FloatToCoordinate(maxX - minX + 0.5f);
    oh = FloatToCoordinate(maxY - minY + 0.5f);
    if (!b.overlay.Create(ow, oh) || !b.blendMask.Create(ow, oh)) return false;
    b.newBlendMask = true;
    RenderRotatedOverlay(m_backupImage.Pixels(), bw, bh, cx, cy, theta, b.feathered.m_pixels.get(),
                         sw, sh, b.overlay.m_pixels.get(), b.ox, b.oy, ow, oh);
  } else {
    if (!FillOverlayColours(b.overlay, source.matched)) return false;
    // The blend writes every entry inside the main image; only entries
    // outside it must be cleared.
    const bool inside = m_sliceX >= 0 && m_sliceY >= 0 && int64_t{m_sliceX} + sw <= bw &&
                        int64_t{m_sliceY} + sh <= bh;
    b.newBlendMask = !(inside && m_blendMask.HasPixels() && m_blendMask.m_width == sw &&
                       m_blendMask.m_height == sh);
    if (b.newBlendMask && !b.blendMask.Create(sw, sh)) return false;
    FeatherEdges(b.overlay.m_pixels.get(), sw, sh, source.feather);
    b.ox = ClampCoordinate(m_sliceX);
    b.oy = ClampCoordinate(m_sliceY);
    ow = sw;
    oh = sh;
  }
  b.newMask = freshMask || !m_mask.HasPixels() || m_mask.m_width != ow || m_mask.m_height != oh;
  if (b.newMask) {
    if (!b.mask.Create(ow, oh)) return false;
    std::memset(b.mask.m_pixels.get(), 255, static_cast<size_t>(ow) * oh);
  }
  if (!MainAndBackupComparable() && b.main.CopyFrom(m_backupImage) != kISOk) return false;
  return true;
}

// Takes the prepared buffers over and blends; nothing here can fail.
void CQuiltorDoc::CommitMerge(MergeBuffers& b, OverlaySource source, bool sameSlice) {
  const bool wholeMain = b.main.HasPixels();
  if (wholeMain) {
    m_mainImage.TakeOver(b.main);
    m_blendedRegion = {};
  }
  m_overlay = std::move(b.overlay);
  m_featheredSlice = std::move(b.feathered);
  if (b.newBlendMask) m_blendMask = std::move(b.blendMask);
  if (b.newMask) m_mask = std::move(b.mask);
  m_overlayX = b.ox;
  m_overlayY = b.oy;
  source.overlayWidth = m_overlay.m_width;
  source.overlayHeight = m_overlay.m_height;
  m_overlaySource = source;
  const PixelRect changed = BlendWholeOverlay();
  // A new slice may follow a restored earlier one, and a main image taken
  // over is new throughout: only a rebuild of the same slice in place knows
  // all it changed.
  FinishMerge(sameSlice && !wholeMain ? changed : PixelRect{});
}

CQuiltorDoc::PixelRect CQuiltorDoc::OverlayAreaInMain() const {
  const PixelRect in = OverlayPartInsideMain();
  return {m_overlayX + in.left, m_overlayY + in.top, m_overlayX + in.right, m_overlayY + in.bottom};
}

CQuiltorDoc::PixelRect CQuiltorDoc::OverlayPartInsideMain() const {
  const int ox = m_overlayX, oy = m_overlayY;
  const int ow = m_overlay.m_width, oh = m_overlay.m_height;
  const int bw = static_cast<int>(m_backupImage.m_width);
  const int bh = static_cast<int>(m_backupImage.m_height);
  const int col0 = std::clamp(-ox, 0, ow), row0 = std::clamp(-oy, 0, oh);
  return {col0, row0, std::clamp(bw - ox, col0, ow), std::clamp(bh - oy, row0, oh)};
}

// Blends the overlay's whole part inside the main image over the backup,
// putting back first whatever an earlier blend left outside it.
CQuiltorDoc::PixelRect CQuiltorDoc::BlendWholeOverlay() {
  const int ox = m_overlayX, oy = m_overlayY;
  const PixelRect inside = OverlayPartInsideMain();
  const int col0 = inside.left, row0 = inside.top, col1 = inside.right, row1 = inside.bottom;

  // Every pixel of the new overlay area is recomputed from the backup below,
  // so only an earlier blend outside it has to be put back.
  const PixelRect area{ox + col0, oy + row0, ox + col1, oy + row1};
  const PixelRect old = m_blendedRegion;
  const bool covered =
      old.IsEmpty() || (!area.IsEmpty() && old.left >= area.left && old.top >= area.top &&
                        old.right <= area.right && old.bottom <= area.bottom);
  PixelRect changed = area;
  if (!MainAndBackupComparable()) {
    m_mainImage.CopyFrom(m_backupImage);
    changed = {};
  } else if (!covered) {
    RestoreMainFromBackup();
    changed = area.IsEmpty()
                  ? old
                  : PixelRect{std::min(old.left, area.left), std::min(old.top, area.top),
                              std::max(old.right, area.right), std::max(old.bottom, area.bottom)};
  }
  m_blendedRegion = {};
  BlendOverlayArea(col0, row0, col1, row1);
  m_maskChanged = false;
  return changed;
}

// An axis-aligned overlay whose feather changed: only its first and last
// `ramp` rows and columns (clipped to the main image) get new weights.
void CQuiltorDoc::BlendFeatherBands(int ramp) {
  if (ramp <= 0) return;
  const int ow = m_overlay.m_width, oh = m_overlay.m_height;
  const PixelRect inside = OverlayPartInsideMain();
  const int col0 = inside.left, row0 = inside.top, col1 = inside.right, row1 = inside.bottom;
  const int top = std::clamp(ramp, row0, row1), bottom = std::clamp(oh - ramp, top, row1);
  const int left = std::clamp(ramp, col0, col1), right = std::clamp(ow - ramp, left, col1);
  BlendOverlayArea(col0, row0, col1, top);
  BlendOverlayArea(col0, bottom, col1, row1);
  BlendOverlayArea(col0, top, left, bottom);
  BlendOverlayArea(right, top, col1, bottom);
}

void CQuiltorDoc::ReportMainChange(const PixelRect& r) {
  const bool report = m_displayRefresh == 0 && !r.IsEmpty();
  m_displayRefresh = 1;
  if (report) m_host.MainImageChanged(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
}

void CQuiltorDoc::FinishMerge(const PixelRect& changed) {
  ReportMainChange(changed);
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
  // Only a change made while the flag was clear can be reported as the whole
  // change since then.
  const bool reportChange = m_displayRefresh == 0;
  PixelRect changed;
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
    EndMaskStroke();  // a press without the release before it
    if (!m_strokeSnapshot.Create(mw, mh)) return;
    m_strokeOpen = m_merge == 1;
    m_strokeRect = {};
    std::memcpy(m_strokeSnapshot.m_pixels.get(), m_mask.m_pixels.get(), size_t(mw) * mh);
    m_lastDabX = x0;
    m_lastDabY = y0;
  }

  double spacing = side * 0.08;
  if (spacing == 0) spacing = 2;
  const int lastX = ClampCoordinate(m_lastDabX), lastY = ClampCoordinate(m_lastDabY);
  const int dx = x0 - lastX, dy = y0 - lastY;
  // A stroke across absurd coordinates (a script) would otherwise overflow the
  // count; any real segment needs far fewer dabs.
  const double wanted =
      std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) / spacing + 0.5;
  const int n = wanted < kMaxDabs ? static_cast<int>(wanted) : kMaxDabs;
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
    const PixelRect dabMask{cornerX + u0, cornerY + v0, cornerX + u1, cornerY + v1};
    m_strokeRect = m_strokeRect.IsEmpty()
                       ? dabMask
                       : PixelRect{std::min(m_strokeRect.left, dabMask.left),
                                   std::min(m_strokeRect.top, dabMask.top),
                                   std::max(m_strokeRect.right, dabMask.right),
                                   std::max(m_strokeRect.bottom, dabMask.bottom)};
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
      if (!dab.IsEmpty())
        changed = changed.IsEmpty()
                      ? dab
                      : PixelRect{std::min(changed.left, dab.left), std::min(changed.top, dab.top),
                                  std::max(changed.right, dab.right),
                                  std::max(changed.bottom, dab.bottom)};
    }
  }
  m_lastDabX = x0;
  m_lastDabY = y0;
  m_displayRefresh = 1;
  if (reportChange) {
    m_host.MainImageChanged(changed.IsEmpty()
                                ? QRect()
                                : QRect(changed.left, changed.top, changed.right - changed.left,
                                        changed.bottom - changed.top));
  }
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
  // The Merger's Fill fills with 255, its Fill Opacity with the brush opacity.
  PushWholeMaskStep(value >= 255 ? QStringLiteral("Fill") : QStringLiteral("Fill Opacity"));
  if (m_mask.HasPixels()) {
    m_maskChanged = true;
    std::memset(m_mask.m_pixels.get(), std::clamp(value, 0, 255),
                static_cast<size_t>(m_mask.m_width) * m_mask.m_height);
  }
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::InvertMask() {
  PushWholeMaskStep(QStringLiteral("Invert"));
  if (m_mask.HasPixels()) {
    m_maskChanged = true;
    uint8_t* p = m_mask.m_pixels.get();
    const size_t count = static_cast<size_t>(m_mask.m_width) * m_mask.m_height;
    for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
  }
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::RefreshMerge() {
  if (m_mainImage.HasPixels() && m_backupImage.HasPixels() && m_merge == 1 && m_locked == 1 &&
      !BuildMergeWith(true))
    ReportOutOfMemory(QStringLiteral("merge ") + m_slicePath);
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
  EndMaskStroke();
  m_maskHistory.Clear();
  m_host.UndoHistoryChanged();
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
  CommitMergeStep();
  m_merge = 0;
  m_locked = 0;
  ForgetReferenceColours();  // the merged pixels are the next square's
  m_host.Repaint();
  SetModifiedFlag(true);
}
