#include "document/MergeSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "document/MergeBlend.h"
#include "image/kernels/Compositing.h"
#include "image/kernels/Parallel.h"
#include "image/kernels/RotatedSquare.h"

namespace {

using qkern::PixelRect;

// Keeps pointer input from the view or a script, and slice places from the
// console or a hand-edited history name, far away from int overflow while
// still lying well outside any mask or picture: a coordinate within the limit
// plus or minus any bitmap side still fits an int.
constexpr int kCoordinateLimit = 1 << 28;

constexpr int kMaxDabs = 1 << 22;

// Largest slice side accepted. The Slicer's squares are at most 2048; a side
// from a hand-edited history name must not make a huge allocation.
constexpr int kMaxSliceSide = 16384;

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

// The turned square as the merge samples it (single precision).
qkern::RotatedSquareF MergeSquare(const MergePlace& p) {
  return qkern::RotatedSquareF::FromDegrees(SliceCentre(p.x, p.width), SliceCentre(p.y, p.height),
                                            p.angle);
}

qkern::PixelView View(CISImageEx& image) {
  return qkern::PixelView::Packed(image.Pixels(), image.m_width, image.m_height, 3);
}
qkern::ConstPixelView View(const CISImageEx& image) {
  return qkern::ConstPixelView::Packed(image.Pixels(), image.m_width, image.m_height, 3);
}
qkern::PixelView View(CQuickBitmap& b) {
  return qkern::PixelView::Packed(b.m_pixels.get(), b.m_width, b.m_height, 4);
}
qkern::PixelView View(CQuickBitmap8& b) {
  return qkern::PixelView::Packed(b.m_pixels.get(), b.m_width, b.m_height, 1);
}

template <class Bitmap>
bool SameSize(const Bitmap& b, int width, int height) {
  return b.HasPixels() && b.m_width == width && b.m_height == height;
}

bool SamePlace(const MergePlace& a, const MergePlace& b) {
  return a.rotating == b.rotating && a.angle == b.angle && a.x == b.x && a.y == b.y &&
         a.width == b.width && a.height == b.height && a.zoom == b.zoom;
}

}  // namespace

uint32_t CMergeSession::CutSquare(const CISImageEx& source, const MergePlace& place,
                                  CISImageEx& picture) {
  if (!source.HasPixels() || source.m_bitsPerPixel != 24) return kISRefused;
  const int width = place.width;
  const int height = place.rotating ? place.width : place.height;
  if (width < 1 || height < 1 || width > kMaxSliceSide || height > kMaxSliceSide) return kISRefused;
  if (picture.Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24) != kISOk ||
      !picture.HasPixels())
    return kISOutOfMemory;
  const int sw = static_cast<int>(source.m_width), sh = static_cast<int>(source.m_height);
  if (place.rotating) {
    auto centre = [](int corner, int side) {
      return static_cast<int>(
          std::clamp<int64_t>(int64_t{corner} + side / 2, INT32_MIN, INT32_MAX));
    };
    ExtractRotatedSquare(
        View(source),
        qkern::RotatedSquareD::FromDegrees(centre(place.x, place.width),
                                           centre(place.y, place.height), place.angle),
        View(picture));
    return kISOk;
  }
  // Beyond an edge of the picture its edge column or row repeats (a place
  // read back from a history name may lie partly outside it).
  const uint8_t* src = source.Pixels();
  uint8_t* dst = picture.Pixels();
  const size_t srcRow = size_t{3} * static_cast<size_t>(sw);
  const size_t dstRow = size_t{3} * static_cast<size_t>(width);
  const int64_t x0 = place.x;
  const int left = static_cast<int>(std::clamp<int64_t>(-x0, 0, width));
  const int64_t firstInside = std::max<int64_t>(x0, 0);
  const int inside =
      static_cast<int>(std::clamp<int64_t>(int64_t{sw} - firstInside, 0, width - left));
  for (int i = 0; i < height; ++i) {
    const int64_t y = std::clamp<int64_t>(int64_t{place.y} + i, 0, sh - 1);
    const uint8_t* row = src + static_cast<size_t>(y) * srcRow;
    uint8_t* out = dst + static_cast<size_t>(i) * dstRow;
    for (int j = 0; j < left; ++j) std::memcpy(out + size_t{3} * j, row, 3);
    if (inside > 0)
      std::memcpy(out + size_t{3} * left, row + size_t{3} * static_cast<size_t>(firstInside),
                  size_t{3} * inside);
    const uint8_t* last = row + srcRow - 3;
    for (int j = left + inside; j < width; ++j) std::memcpy(out + size_t{3} * j, last, 3);
  }
  return kISOk;
}

// --- the backup

PixelRect CMergeSession::BackupArea() const {
  if (!m_backup.HasPixels()) return {};
  return {0, 0, static_cast<int>(m_backup.m_width), static_cast<int>(m_backup.m_height)};
}

bool CMergeSession::MainAndBackupComparable() const {
  return m_main.HasPixels() && m_backup.HasPixels() && m_main.m_bitsPerPixel == 24 &&
         m_backup.m_bitsPerPixel == 24 && m_main.m_width == m_backup.m_width &&
         m_main.m_height == m_backup.m_height;
}

void CMergeSession::StartFromMain() {
  if (m_backup.CopyFrom(m_main) != kISOk) m_backup.Clear();
  m_blended = {};  // main and backup are equal again
}

void CMergeSession::DropAll() {
  m_backup.Clear();
  Release();
  m_blended = {};
}

void CMergeSession::RestoreMainFromBackup() {
  if (MainAndBackupComparable()) {
    qkern::CopyPixels(View(std::as_const(m_backup)).Crop(m_blended), View(m_main).Crop(m_blended));
  } else if (m_backup.HasPixels()) {
    m_main.CopyFrom(m_backup);
  }
  m_blended = {};
}

void CMergeSession::CopyMainToBackup() {
  if (MainAndBackupComparable()) {
    qkern::CopyPixels(View(std::as_const(m_main)).Crop(m_blended), View(m_backup).Crop(m_blended));
  } else {
    m_backup.CopyFrom(m_main);
  }
  m_blended = {};
}

bool CMergeSession::TakeBackup() {
  if (MainAndBackupComparable()) {
    CopyMainToBackup();
    return true;
  }
  CISImageEx copy;
  if (copy.CopyFrom(m_main) != kISOk) return false;
  m_backup.TakeOver(copy);
  m_blended = {};
  return true;
}

void CMergeSession::Cancel() { RestoreMainFromBackup(); }

// --- blending

PixelRect CMergeSession::OverlayPartInsideMain() const {
  const int ow = m_overlay.m_width, oh = m_overlay.m_height;
  const int bw = static_cast<int>(m_backup.m_width);
  const int bh = static_cast<int>(m_backup.m_height);
  const int col0 = std::clamp(-m_ox, 0, ow), row0 = std::clamp(-m_oy, 0, oh);
  return {col0, row0, std::clamp(bw - m_ox, col0, ow), std::clamp(bh - m_oy, row0, oh)};
}

PixelRect CMergeSession::OverlayAreaInMain() const {
  return OverlayPartInsideMain().Translated(m_ox, m_oy);
}

bool CMergeSession::LayersFit() const {
  const int mw = m_mask.m_width, mh = m_mask.m_height;
  return MainAndBackupComparable() && SameSize(m_overlay, mw, mh) && SameSize(m_blendMask, mw, mh);
}

// Blends the overlay part (already clipped to the overlay and to the main
// image) and records the weights in the blend mask.
void CMergeSession::BlendOverlayArea(const PixelRect& part) {
  if (part.IsEmpty()) return;
  const int ow = m_overlay.m_width;
  const size_t mainStride = size_t{3} * m_main.m_width;
  const uint8_t* backup = m_backup.Pixels();
  uint8_t* main = m_main.Pixels();
  const uint8_t* mask = m_mask.m_pixels.get();
  uint8_t* blend = m_blendMask.m_pixels.get();
  const uint8_t* overlay = m_overlay.m_pixels.get();
  const int ox = m_ox, oy = m_oy, col0 = part.left, row0 = part.top;
  const int columns = part.right - part.left;
  qkern::ParallelFor(part.bottom - row0, qkern::ThreadsFor(part.Width() * part.Height()),
                     [&](int begin, int end) {
                       for (int row = row0 + begin; row < row0 + end; ++row) {
                         const size_t at = static_cast<size_t>(row) * ow + col0;
                         const size_t mainOffset = static_cast<size_t>(oy + row) * mainStride +
                                                   size_t{3} * static_cast<size_t>(ox + col0);
                         merge::BlendRow(mask + at, overlay + at * 4, backup + mainOffset,
                                         main + mainOffset, blend + at, columns);
                       }
                     });
  m_blended.Include(part.Translated(ox, oy));
}

// Blends the overlay's whole part inside the main image over the backup,
// putting back first whatever an earlier blend left outside it. Returns the
// main-image pixels it changed (empty: possibly all of them).
PixelRect CMergeSession::BlendWholeOverlay() {
  const PixelRect inside = OverlayPartInsideMain();
  // Every pixel of the new overlay area is recomputed from the backup below,
  // so only an earlier blend outside it has to be put back.
  const PixelRect area = inside.Translated(m_ox, m_oy);
  const PixelRect old = m_blended;
  PixelRect changed = area;
  if (!MainAndBackupComparable()) {
    m_main.CopyFrom(m_backup);
    changed = {};
  } else if (!area.Contains(old)) {
    RestoreMainFromBackup();
    changed = area.United(old);
  }
  m_blended = {};
  BlendOverlayArea(inside);
  m_maskChanged = false;
  return changed;
}

// An axis-aligned overlay whose feather changed: only its first and last
// `ramp` rows and columns (clipped to the main image) get new weights.
void CMergeSession::BlendFeatherBands(int ramp) {
  if (ramp <= 0) return;
  const int ow = m_overlay.m_width, oh = m_overlay.m_height;
  const PixelRect in = OverlayPartInsideMain();
  const int top = std::clamp(ramp, in.top, in.bottom),
            bottom = std::clamp(oh - ramp, top, in.bottom);
  const int left = std::clamp(ramp, in.left, in.right),
            right = std::clamp(ow - ramp, left, in.right);
  BlendOverlayArea({in.left, in.top, in.right, top});
  BlendOverlayArea({in.left, bottom, in.right, in.bottom});
  BlendOverlayArea({in.left, top, left, bottom});
  BlendOverlayArea({right, top, in.right, bottom});
}

// A turning slice, same place, new feather: the renderer redoes the alpha
// where either feather reaches; with blend, those pixels are blended again.
void CMergeSession::Refeather(int oldFeather, int newFeather, bool blend) {
  qkern::PixelView feathered = View(m_feathered);
  qkern::ResetFeatherBands(feathered, oldFeather);
  FeatherEdges(m_feathered.m_pixels.get(), m_feathered.m_width, m_feathered.m_height, newFeather);
  const int ow = m_overlay.m_width;
  const size_t mainStride = size_t{3} * m_main.m_width;
  AlphaOnly pass;
  pass.ramp = std::max(oldFeather, newFeather);
  if (blend) {
    pass.touched = [&](int row, int begin, int end) {
      const size_t at = static_cast<size_t>(row) * ow + begin;
      const size_t p = static_cast<size_t>(m_oy + row) * mainStride +
                       size_t{3} * static_cast<size_t>(m_ox + begin);
      merge::BlendRow(m_mask.m_pixels.get() + at, m_overlay.m_pixels.get() + at * 4,
                      m_backup.Pixels() + p, m_main.Pixels() + p, m_blendMask.m_pixels.get() + at,
                      end - begin);
    };
  }
  RenderRotatedOverlay(MergeSquare(m_source.place), feathered,
                       {View(m_overlay), m_ox, m_oy, static_cast<int>(m_backup.m_width),
                        static_cast<int>(m_backup.m_height)},
                       &pass);
}

// --- building

CMergeSession::OverlaySource CMergeSession::SourceFor(const MergeSettings& settings) const {
  OverlaySource s;
  s.valid = true;
  s.place = settings.place;
  if (!s.place.rotating) s.place.angle = 0;
  s.imageWidth = m_slice.m_width;
  s.imageHeight = m_slice.m_height;
  s.backgroundWidth = m_backup.m_width;
  s.backgroundHeight = m_backup.m_height;
  s.feather = s.place.rotating ? settings.edgeBlur : settings.edgeBlur / std::max(1, s.place.zoom);
  s.matched = settings.matchColours;
  return s;
}

bool CMergeSession::SameSource(const OverlaySource& c) const {
  const OverlaySource& b = m_source;
  return b.valid && SamePlace(b.place, c.place) && b.imageWidth == c.imageWidth &&
         b.imageHeight == c.imageHeight && b.backgroundWidth == c.backgroundWidth &&
         b.backgroundHeight == c.backgroundHeight && b.matched == c.matched &&
         SameSize(m_overlay, b.overlayWidth, b.overlayHeight) &&
         SameSize(m_blendMask, b.overlayWidth, b.overlayHeight) &&
         (!b.place.rotating ||
          SameSize(m_feathered, static_cast<int>(b.imageWidth), static_cast<int>(b.imageHeight)));
}

CMergeSession::Build CMergeSession::Rebuild(const MergeSettings& settings, bool sliceUnchanged,
                                            PixelRect& changed) {
  // Without a backup there is nothing to blend over; copying it would empty
  // the main image.
  if (!m_slice.HasPixels() || !m_backup.HasPixels()) return Build::kNothing;
  OverlaySource source = SourceFor(settings);
  if (sliceUnchanged && SameSource(source) &&
      SameSize(m_mask, m_overlay.m_width, m_overlay.m_height) && MainAndBackupComparable()) {
    // The same overlay in the same place: the main image already holds its
    // blend, so only pixels whose weight changes are blended again.
    const int oldFeather = m_source.feather;
    const bool wholeArea = m_maskChanged;
    m_source.valid = false;  // until the feather is redone
    if (oldFeather != source.feather) {
      if (source.place.rotating) {
        m_source.place = source.place;
        Refeather(oldFeather, source.feather, !wholeArea);
      } else {
        qkern::ResetFeatherBands(View(m_overlay), oldFeather);
        FeatherEdges(m_overlay.m_pixels.get(), m_overlay.m_width, m_overlay.m_height,
                     source.feather);
        if (!wholeArea) BlendFeatherBands(std::max(oldFeather, source.feather));
      }
    }
    source.overlayWidth = m_overlay.m_width;
    source.overlayHeight = m_overlay.m_height;
    m_source = source;
    changed = wholeArea ? BlendWholeOverlay() : OverlayAreaInMain();
    return Build::kBuilt;
  }
  Prepared prepared;
  if (!Prepare(prepared, source, false)) return Build::kOutOfMemory;
  changed = Commit(prepared, sliceUnchanged);
  return Build::kBuilt;
}

bool CMergeSession::PrepareSlice(CISImageEx& slice, const MergeSettings& settings,
                                 Prepared& prepared) {
  prepared.previousSlice.TakeOver(m_slice);
  m_slice.TakeOver(slice);
  if (Prepare(prepared, SourceFor(settings), true)) return true;
  slice.TakeOver(m_slice);
  m_slice.TakeOver(prepared.previousSlice);
  return false;
}

PixelRect CMergeSession::CommitSlice(Prepared& prepared) { return Commit(prepared, false); }

// Everything a new overlay needs is allocated and filled here, aside from
// the session's buffers, so that a merge that cannot be built changes nothing.
bool CMergeSession::Prepare(Prepared& b, const OverlaySource& source, bool freshMask) {
  if (!m_slice.HasPixels() || !m_backup.HasPixels()) return false;
  b.source = source;
  const MergePlace& place = source.place;
  const int sw = static_cast<int>(m_slice.m_width);
  const int sh = static_cast<int>(m_slice.m_height);
  const int bw = static_cast<int>(m_backup.m_width);
  const int bh = static_cast<int>(m_backup.m_height);
  int ow, oh;
  if (place.rotating) {
    // The colours the overlay is made of: the returned slice or its match.
    if (!FillOverlayColours(b.feathered, place, source.matched)) return false;
    FeatherEdges(b.feathered.m_pixels.get(), sw, sh, source.feather);
    const qkern::RotatedSquareF square = MergeSquare(place);
    const qkern::RotatedSquareF::Box box =
        square.Bounds(static_cast<float>(sw) * 0.5f, static_cast<float>(sh) * 0.5f);
    b.ox = FloatToCoordinate(box.minX - 0.5f);
    b.oy = FloatToCoordinate(box.minY - 0.5f);
    ow = FloatToCoordinate(box.maxX - box.minX + 0.5f);
    oh = FloatToCoordinate(box.maxY - box.minY + 0.5f);
    if (!b.overlay.Create(ow, oh) || !b.blendMask.Create(ow, oh)) return false;
    b.newBlendMask = true;
    RenderRotatedOverlay(square, View(b.feathered), {View(b.overlay), b.ox, b.oy, bw, bh});
  } else {
    if (!FillOverlayColours(b.overlay, place, source.matched)) return false;
    // The blend writes every entry inside the main image; only entries
    // outside it must be cleared.
    const bool inside =
        place.x >= 0 && place.y >= 0 && int64_t{place.x} + sw <= bw && int64_t{place.y} + sh <= bh;
    b.newBlendMask = !(inside && SameSize(m_blendMask, sw, sh));
    if (b.newBlendMask && !b.blendMask.Create(sw, sh)) return false;
    FeatherEdges(b.overlay.m_pixels.get(), sw, sh, source.feather);
    b.ox = ClampCoordinate(place.x);
    b.oy = ClampCoordinate(place.y);
    ow = sw;
    oh = sh;
  }
  b.newMask = freshMask || !SameSize(m_mask, ow, oh);
  if (b.newMask) {
    if (!b.mask.Create(ow, oh)) return false;
    std::memset(b.mask.m_pixels.get(), 255, static_cast<size_t>(ow) * oh);
  }
  if (!MainAndBackupComparable() && b.main.CopyFrom(m_backup) != kISOk) return false;
  return true;
}

// Takes the prepared buffers over and blends; nothing here can fail.
// sameSlice: a rebuild of the merged slice in place (its changed pixels are
// known by rectangle).
PixelRect CMergeSession::Commit(Prepared& b, bool sameSlice) {
  const bool wholeMain = b.main.HasPixels();
  if (wholeMain) {
    m_main.TakeOver(b.main);
    m_blended = {};
  }
  m_overlay = std::move(b.overlay);
  m_feathered = std::move(b.feathered);
  if (b.newBlendMask) m_blendMask = std::move(b.blendMask);
  if (b.newMask) m_mask = std::move(b.mask);
  m_ox = b.ox;
  m_oy = b.oy;
  m_source = b.source;
  m_source.overlayWidth = m_overlay.m_width;
  m_source.overlayHeight = m_overlay.m_height;
  const PixelRect changed = BlendWholeOverlay();
  // A new slice may follow a restored earlier one, and a main image taken
  // over is new throughout: only a rebuild of the same slice in place knows
  // all it changed.
  return sameSlice && !wholeMain ? changed : PixelRect{};
}

// --- the mask

void CMergeSession::FillMask(int value) {
  if (!m_mask.HasPixels()) return;
  m_maskChanged = true;
  std::memset(m_mask.m_pixels.get(), std::clamp(value, 0, 255),
              static_cast<size_t>(m_mask.m_width) * m_mask.m_height);
}

void CMergeSession::InvertMask() {
  if (!m_mask.HasPixels()) return;
  m_maskChanged = true;
  uint8_t* p = m_mask.m_pixels.get();
  const size_t count = static_cast<size_t>(m_mask.m_width) * m_mask.m_height;
  for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
}

bool CMergeSession::BlendMaskArea(const PixelRect& maskRect, PixelRect& changed) {
  if (!LayersFit()) return false;
  const PixelRect part = maskRect.Intersected(OverlayPartInsideMain());
  BlendOverlayArea(part);
  changed = part.Translated(m_ox, m_oy);
  return true;
}

bool CMergeSession::NeedsNewStroke(bool continuing) const {
  // A snapshot of another size belongs to an earlier overlay.
  return !continuing || !SameSize(m_snapshot, m_mask.m_width, m_mask.m_height);
}

bool CMergeSession::BeginStroke(int px, int py, int side, bool recordable) {
  const int mw = m_mask.m_width, mh = m_mask.m_height;
  if (!m_snapshot.Create(mw, mh)) return false;
  m_strokeOpen = recordable;
  m_strokeRect = {};
  std::memcpy(m_snapshot.m_pixels.get(), m_mask.m_pixels.get(), size_t(mw) * mh);
  m_lastDabX = ClampCoordinate(px) - ClampCoordinate(m_ox) - side / 2;
  m_lastDabY = ClampCoordinate(py) - ClampCoordinate(m_oy) - side / 2;
  return true;
}

qkern::MaskLayers CMergeSession::LayersView() {
  qkern::MaskLayers l;
  l.mask = View(m_mask);
  l.snapshot = View(m_snapshot);
  l.blend = LayersFit();
  if (l.blend) {
    l.overlay = View(m_overlay);
    l.blendMask = View(m_blendMask);
    l.backup = View(std::as_const(m_backup));
    l.main = View(m_main);
  }
  l.ox = m_ox;
  l.oy = m_oy;
  return l;
}

void CMergeSession::PaintStroke(const CGeneralBrush& brush, int tool, int px, int py,
                                PixelRect& changed) {
  const int side = brush.m_stamp ? brush.m_stampSide : 0;
  const double level = brush.m_opacity / 100.0;
  const int x0 = ClampCoordinate(px) - ClampCoordinate(m_ox) - side / 2;
  const int y0 = ClampCoordinate(py) - ClampCoordinate(m_oy) - side / 2;

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
    target[t] = tool == 1 ? static_cast<uint8_t>(std::min(255.0, level * 255 + t))
                          : static_cast<uint8_t>((1 - level) * t);
  }
  const qkern::MaskLayers layers = LayersView();
  const qkern::ConstPixelView stamp =
      qkern::ConstPixelView::Packed(brush.m_stamp.get(), side, side, 1);
  const PixelRect mainArea{0, 0, static_cast<int>(m_main.m_width),
                           static_cast<int>(m_main.m_height)};
  // Dabs before the last whose stamp would miss the mask are skipped; the
  // last dab lands exactly on the pointer.
  const qkern::DabRange alongX = qkern::DabsBetween(lastX, stepX, -side, m_mask.m_width, steps - 1);
  const qkern::DabRange alongY =
      qkern::DabsBetween(lastY, stepY, -side, m_mask.m_height, steps - 1);
  const int firstDab = std::max(alongX.begin, alongY.begin);
  const int endDabs = std::min(alongX.end, alongY.end);
  for (int k = firstDab; side > 0 && k < steps; ++k) {
    if (k >= endDabs && k < steps - 1) k = steps - 1;
    int cornerX = x0, cornerY = y0;
    if (k != steps - 1) {
      cornerX = static_cast<int>(static_cast<float>(lastX) + static_cast<float>(k) * stepX);
      cornerY = static_cast<int>(static_cast<float>(lastY) + static_cast<float>(k) * stepY);
    }
    const PixelRect dabMask = qkern::PaintMaskDab(layers, stamp, cornerX, cornerY, target);
    if (dabMask.IsEmpty()) continue;
    m_strokeRect.Include(dabMask);
    if (layers.blend) {
      const PixelRect dab = dabMask.Translated(m_ox, m_oy).Intersected(mainArea);
      m_blended.Include(dab);
      changed.Include(dab);
    }
  }
  m_lastDabX = x0;
  m_lastDabY = y0;
}

bool CMergeSession::CloseStroke(CUndoStep& step) {
  m_strokeOpen = false;
  const int mw = m_mask.m_width, mh = m_mask.m_height;
  if (m_strokeRect.IsEmpty() || !m_mask.HasPixels() || !SameSize(m_snapshot, mw, mh)) return false;
  // The snapshot holds the mask as the press found it.
  step.left = m_strokeRect.left;
  step.top = m_strokeRect.top;
  step.right = m_strokeRect.right;
  step.bottom = m_strokeRect.bottom;
  return step.CopyFrom(m_snapshot.m_pixels.get(), mw, mh);
}

// --- apply

CMergeSession::ApplyRecord CMergeSession::RecordApply(CUndoStep& step) const {
  // The backup still holds the main image as it was before the merge: the
  // merge changed only pixels under the overlay.
  const PixelRect inside = OverlayPartInsideMain();
  if (m_overlay.HasPixels() && inside.IsEmpty()) return ApplyRecord::kOffPicture;
  const PixelRect area = inside.Translated(m_ox, m_oy);
  step.bytesPerPixel = 3;
  step.left = area.left;
  step.top = area.top;
  step.right = area.right;
  step.bottom = area.bottom;
  const int w = static_cast<int>(m_main.m_width), h = static_cast<int>(m_main.m_height);
  if (!MainAndBackupComparable() || !m_overlay.HasPixels() ||
      !step.CopyFrom(m_backup.Pixels(), w, h))
    return ApplyRecord::kLost;
  return ApplyRecord::kRecorded;
}

// --- buffers

void CMergeSession::Release() {
  ForgetReferenceColours();
  std::vector<uint16_t>().swap(m_colourScratch);
  m_slice.Clear();
  m_overlay.Release();
  m_blendMask.Release();
  m_mask.Release();
  m_snapshot.Release();
  m_feathered.Release();
  m_source = {};
  m_maskChanged = false;
}

size_t CMergeSession::BufferBytes() const {
  auto bytes = [](int w, int h, size_t per) {
    return w > 0 && h > 0 ? static_cast<size_t>(w) * static_cast<size_t>(h) * per : 0;
  };
  size_t total = m_slice.HasPixels() ? size_t{m_slice.RowBytes()} * m_slice.m_height : 0;
  if (m_overlay.m_pixels) total += bytes(m_overlay.m_width, m_overlay.m_height, 4);
  if (m_feathered.m_pixels) total += bytes(m_feathered.m_width, m_feathered.m_height, 4);
  for (const CQuickBitmap8* b : {&m_mask, &m_blendMask, &m_snapshot})
    if (b->m_pixels) total += bytes(b->m_width, b->m_height, 1);
  return total + m_colourScratch.capacity() * sizeof(uint16_t);
}

// --- the reference colours

CMergeSession::ReferenceColours CMergeSession::MeasureReference(const CISImageEx& image,
                                                                const MergePlace& place,
                                                                const CISImageEx* upright) {
  ReferenceColours r;
  r.rotating = place.rotating ? 1 : 0;
  r.angle = place.rotating ? place.angle : 0;
  r.sliceX = place.x;
  r.sliceY = place.y;
  r.sliceWidth = place.width;
  r.sliceHeight = place.height;
  r.imageWidth = image.m_width;
  r.imageHeight = image.m_height;
  if (!image.HasPixels() || image.m_bitsPerPixel != 24) return r;
  if (place.rotating) {
    // What the slice is made from: the upright cut of the turned square.
    CISImageEx square;
    if (!upright) {
      if (CutSquare(image, place, square) != kISOk) return r;
      upright = &square;
    }
    r.stats = MeasureLab(upright->Pixels(), size_t{upright->m_width} * upright->m_height);
    r.valid = true;
    return r;
  }
  // The pixels the overlay covers, as far as they lie inside the image.
  const int64_t w = image.m_width, h = image.m_height;
  const int64_t x0 = std::clamp<int64_t>(place.x, 0, w);
  const int64_t y0 = std::clamp<int64_t>(place.y, 0, h);
  const int64_t x1 = std::clamp<int64_t>(int64_t{place.x} + place.width, 0, w);
  const int64_t y1 = std::clamp<int64_t>(int64_t{place.y} + place.height, 0, h);
  if (x1 <= x0 || y1 <= y0) return r;
  const size_t stride = static_cast<size_t>(w) * 3;
  r.stats = MeasureLabRows(
      image.Pixels() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0) * 3,
      static_cast<size_t>(x1 - x0), static_cast<size_t>(y1 - y0), stride);
  r.valid = true;
  return r;
}

bool CMergeSession::SquareColours(const MergePlace& place, CLabStats& stats) {
  ReferenceColours& held = m_reference;
  const bool same = held.valid && held.rotating == (place.rotating ? 1 : 0) &&
                    held.angle == (place.rotating ? place.angle : 0) && held.sliceX == place.x &&
                    held.sliceY == place.y && held.sliceWidth == place.width &&
                    held.sliceHeight == place.height && held.imageWidth == m_backup.m_width &&
                    held.imageHeight == m_backup.m_height;
  if (!same) {
    held = MeasureReference(m_backup, place);
    if (!held.valid) return false;
  }
  stats = held.stats;
  return true;
}

bool CMergeSession::FillOverlayColours(CQuickBitmap& target, const MergePlace& place, bool match) {
  const int w = static_cast<int>(m_slice.m_width), h = static_cast<int>(m_slice.m_height);
  CLabStats square;
  if (!match || m_slice.m_bitsPerPixel != 24 || !SquareColours(place, square))
    return target.SetFromRGB(m_slice.Pixels(), w, h);
  if (!m_slice.HasPixels() || !target.SizeForOverwrite(w, h) || !target.HasPixels()) return false;
  MatchIntoRgba(m_slice.Pixels(), target.m_pixels.get(), size_t(w) * size_t(h), square,
                m_colourScratch);
  return true;
}
