#include "image/codecs/Metafile.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "image/codecs/Bmp.h"
#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kPlaceableBytes = 22, kWmfHeaderBytes = 18;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr double kScreenDpi = 96;
// Bounds on what a metafile may make us do.
constexpr uint32_t kMaxRecords = 1000000;
constexpr uint32_t kMaxBitmapRecords = 10000;
constexpr uint32_t kMaxSide = 32768;
constexpr size_t kMaxSavedStates = 4096;
constexpr uint64_t kMaxCanvasPixels = uint64_t{1} << 28;
constexpr uint64_t kFreeCanvasPixels = uint64_t{1} << 20;
constexpr uint64_t kMaxPaintedPixels = uint64_t{1} << 30;

// WMF record functions.
enum : uint16_t {
  kMetaEof = 0x0000,
  kMetaSaveDC = 0x001E,
  kMetaRestoreDC = 0x0127,
  kMetaSetMapMode = 0x0103,
  kMetaSetWindowOrg = 0x020B,
  kMetaSetWindowExt = 0x020C,
  kMetaSetViewportOrg = 0x020D,
  kMetaSetViewportExt = 0x020E,
  kMetaOffsetWindowOrg = 0x020F,
  kMetaOffsetViewportOrg = 0x0211,
  kMetaScaleWindowExt = 0x0410,
  kMetaScaleViewportExt = 0x0412,
  kMetaDibBitBlt = 0x0940,
  kMetaDibStretchBlt = 0x0B41,
  kMetaStretchDib = 0x0F43,
};

// Records that set state or create objects but draw nothing.
bool WmfHarmless(uint16_t f) {
  switch (f) {
    case 0x0102:
    case 0x0104:
    case 0x0105:
    case 0x0106:
    case 0x0107:
    case 0x012E:
    case 0x0149:
    case 0x0201:
    case 0x0209:
    case 0x0231:
    case 0x0626:
    case 0x02FA:
    case 0x02FB:
    case 0x02FC:
    case 0x012D:
    case 0x01F0:
    case 0x00F7:
    case 0x0234:
    case 0x0035:
    case 0x0037:
    case 0x0142:
    case 0x0415:
    case 0x0416:
    case 0x0220:
    case 0x012C:
    case 0x0139:
    case 0x0108:
    case 0x0109:
    case 0x0301: return true;
    default: return false;
  }
}

// EMF record types.
enum : uint32_t {
  kEmrHeader = 1,
  kEmrSetWindowExtEx = 9,
  kEmrSetWindowOrgEx = 10,
  kEmrSetViewportExtEx = 11,
  kEmrSetViewportOrgEx = 12,
  kEmrEof = 14,
  kEmrSetMapMode = 17,
  kEmrSaveDC = 33,
  kEmrRestoreDC = 34,
  kEmrBitBlt = 76,
  kEmrStretchBlt = 77,
  kEmrSetDIBitsToDevice = 80,
  kEmrStretchDIBits = 81,
};

bool EmfHarmless(uint32_t t) {
  switch (t) {
    case 13:
    case 16:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
    case 26:
    case 28:
    case 29:
    case 30:
    case 35:
    case 36:
    case 37:
    case 38:
    case 39:
    case 40:
    case 48:
    case 49:
    case 50:
    case 52:
    case 57:
    case 58:
    case 67:
    case 70:
    case 75:
    case 82:
    case 93:
    case 94:
    case 95:
    case 98:
    case 99:
    case 100:
    case 101:
    case 115: return true;
    default: return false;
  }
}

// Mapping from logical coordinates to the canvas.
struct MapState {
  int mapMode = 1;
  double winOrgX = 0, winOrgY = 0, winExtX = 0, winExtY = 0;
  double vpOrgX = 0, vpOrgY = 0, vpExtX = 0, vpExtY = 0;
};

struct Layout {
  bool emf = false;
  bool placeable = false;
  double left = 0, top = 0;  // placeable box or EMF bounds
  uint32_t width = 0, height = 0;
  double scale = 1;  // placeable units to canvas pixels
};

// A bitmap record, reduced to what drawing needs (canvas coordinates).
struct Blit {
  double x0, y0, x1, y1;  // destination corners; x1 < x0 mirrors
  int32_t srcX, srcY, srcW, srcH;
  bool srcFromBottom;  // source y counts from the bottom of a bottom-up DIB
  const uint8_t* info;
  size_t infoSize;
  const uint8_t* bits;  // null: bits follow the colour table
  size_t bitsSize;
};

class Walker {
 public:
  explicit Walker(Source& src) : src_(src) {}

  uint32_t Open() {
    uint8_t b[kPlaceableBytes];
    if (!src_.Seek(0)) return kErrRead;
    size_t n = src_.Read(b, sizeof b);
    if (n >= 8 && Le32(b) == kEmrHeader) return OpenEmf();
    if (n >= 4 && Le32(b) == kPlaceableKey) {
      if (n < kPlaceableBytes) return kErrTruncated;
      layout_.placeable = true;
      int left = Le16s(b + 6), top = Le16s(b + 8), right = Le16s(b + 10), bottom = Le16s(b + 12);
      uint32_t inch = Le16(b + 14);
      if (right <= left || bottom <= top) return kErrFormat;
      layout_.scale = kScreenDpi / (inch ? inch : kScreenDpi);
      layout_.left = left, layout_.top = top;
      double w = std::ceil((right - left) * layout_.scale - 1e-9);
      double h = std::ceil((bottom - top) * layout_.scale - 1e-9);
      if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return kErrTooLarge;
      layout_.width = uint32_t(w), layout_.height = uint32_t(h);
      pos_ = kPlaceableBytes;
    }
    uint8_t hd[kWmfHeaderBytes];
    if (!src_.Seek(pos_) || !src_.ReadExact(hd, sizeof hd)) return kErrTruncated;
    uint16_t type = Le16(hd), words = Le16(hd + 2), version = Le16(hd + 4);
    if ((type != 1 && type != 2) || words != 9 || (version != 0x0100 && version != 0x0300))
      return kErrFormat;
    pos_ += kWmfHeaderBytes;
    return kOk;
  }

  const Layout& GetLayout() const { return layout_; }

  // Runs through the records, calling `blit` for each bitmap record.
  uint32_t Run(const std::function<uint32_t(const Blit&)>& blit) {
    state_ = MapState();
    stack_.clear();
    uint64_t pos = pos_;
    std::vector<uint8_t> rec;
    uint32_t bitmaps = 0;
    for (uint32_t count = 0;; ++count) {
      if (count >= kMaxRecords) return kErrTooLarge;
      uint8_t head[8];
      if (!src_.Seek(pos) || !src_.ReadExact(head, layout_.emf ? 8 : 6)) return kErrTruncated;
      uint64_t size = layout_.emf ? Le32(head + 4) : uint64_t{Le32(head)} * 2;
      uint32_t type = layout_.emf ? Le32(head) : Le16(head + 4);
      if (size < (layout_.emf ? 8u : 6u) || (layout_.emf && size % 4)) return kErrFormat;
      if (size > src_.Size() - pos) return kErrTruncated;
      if (layout_.emf ? type == kEmrEof : type == kMetaEof) return kOk;
      rec.resize(static_cast<size_t>(size));
      if (!src_.Seek(pos) || !src_.ReadExact(rec.data(), rec.size())) return kErrTruncated;
      Blit b{};
      bool isBlit = false;
      uint32_t r = layout_.emf ? EmfRecord(type, rec, b, isBlit) : WmfRecord(type, rec, b, isBlit);
      if (r != kOk) return r;
      if (isBlit) {
        if (++bitmaps > kMaxBitmapRecords) return kErrTooLarge;
        if ((r = blit(b)) != kOk) return r;
      }
      pos += size;
    }
  }

 private:
  uint32_t OpenEmf() {
    uint8_t h[88];
    if (!src_.Seek(0) || !src_.ReadExact(h, sizeof h)) return kErrTruncated;
    uint32_t size = Le32(h + 4);
    if (Le32(h + 40) != kEmfSignature || size < 88 || size % 4) return kErrFormat;
    layout_.emf = true;
    int32_t left = Le32s(h + 8), top = Le32s(h + 12), right = Le32s(h + 16), bottom = Le32s(h + 20);
    if (right >= left && bottom >= top) {
      int64_t w = int64_t{right} - left + 1, hh = int64_t{bottom} - top + 1;
      if (w > kMaxSide || hh > kMaxSide) return kErrTooLarge;
      layout_.placeable = true;  // bounds give the canvas
      layout_.left = left, layout_.top = top;
      layout_.width = uint32_t(w), layout_.height = uint32_t(hh);
    }
    pos_ = size;
    return kOk;
  }

  void MapPoint(double x, double y, double& cx, double& cy) const {
    const MapState& s = state_;
    if (!layout_.emf) {
      // A window extent maps the window onto the whole picture.
      if (s.winExtX != 0 && s.winExtY != 0) {
        double w = layout_.placeable ? layout_.width : std::fabs(s.winExtX);
        double h = layout_.placeable ? layout_.height : std::fabs(s.winExtY);
        cx = (x - s.winOrgX) * w / s.winExtX;
        cy = (y - s.winOrgY) * h / s.winExtY;
      } else {
        cx = (x - layout_.left) * layout_.scale;
        cy = (y - layout_.top) * layout_.scale;
      }
      return;
    }
    double sx = 1, sy = 1;
    if ((s.mapMode == 7 || s.mapMode == 8) && s.winExtX && s.winExtY && s.vpExtX && s.vpExtY)
      sx = s.vpExtX / s.winExtX, sy = s.vpExtY / s.winExtY;
    cx = (x - s.winOrgX) * sx + s.vpOrgX - layout_.left;
    cy = (y - s.winOrgY) * sy + s.vpOrgY - layout_.top;
  }

  uint32_t Save() {
    if (stack_.size() >= kMaxSavedStates) return kErrTooLarge;
    stack_.push_back(state_);
    return kOk;
  }

  void Restore(int32_t n) {
    // Negative: relative to the current state; positive: an absolute level.
    size_t target =
        n < 0 ? (size_t(-int64_t{n}) <= stack_.size() ? stack_.size() - size_t(-int64_t{n}) : 0)
              : std::min<size_t>(size_t(n) > 0 ? size_t(n) - 1 : 0, stack_.size());
    if (target < stack_.size()) {
      state_ = stack_[target];
      stack_.resize(target);
    }
  }

  uint32_t MakeBlit(Blit& b, double x, double y, double w, double h, int32_t sx, int32_t sy,
                    int32_t sw, int32_t sh, bool fromBottom) {
    if (sw <= 0 || sh <= 0) return kErrFormat;
    MapPoint(x, y, b.x0, b.y0);
    MapPoint(x + w, y + h, b.x1, b.y1);
    b.srcX = sx, b.srcY = sy, b.srcW = sw, b.srcH = sh;
    b.srcFromBottom = fromBottom;
    return kOk;
  }

  uint32_t WmfRecord(uint16_t f, const std::vector<uint8_t>& r, Blit& b, bool& isBlit) {
    const uint8_t* p = r.data() + 6;
    size_t n = r.size() - 6;
    auto s16 = [&](size_t i) -> double { return i + 2 <= n ? Le16s(p + i) : 0; };
    MapState& s = state_;
    switch (f) {
      case kMetaSaveDC: return Save();
      case kMetaRestoreDC: Restore(int32_t(s16(0))); return kOk;
      case kMetaSetMapMode: s.mapMode = int(s16(0)); return kOk;
      case kMetaSetWindowOrg: s.winOrgY = s16(0), s.winOrgX = s16(2); return kOk;
      case kMetaSetWindowExt: s.winExtY = s16(0), s.winExtX = s16(2); return kOk;
      case kMetaSetViewportOrg: s.vpOrgY = s16(0), s.vpOrgX = s16(2); return kOk;
      case kMetaSetViewportExt: s.vpExtY = s16(0), s.vpExtX = s16(2); return kOk;
      case kMetaOffsetWindowOrg: s.winOrgY += s16(0), s.winOrgX += s16(2); return kOk;
      case kMetaOffsetViewportOrg: s.vpOrgY += s16(0), s.vpOrgX += s16(2); return kOk;
      case kMetaScaleWindowExt:
      case kMetaScaleViewportExt: {
        double yd = s16(0), yn = s16(2), xd = s16(4), xn = s16(6);
        if (!xd || !yd) return kErrFormat;
        double& ex = f == kMetaScaleWindowExt ? s.winExtX : s.vpExtX;
        double& ey = f == kMetaScaleWindowExt ? s.winExtY : s.vpExtY;
        ex = ex * xn / xd, ey = ey * yn / yd;
        return kOk;
      }
      case kMetaStretchDib: {
        if (n < 22 + 40) return kErrFormat;
        if (Le32(p) != kSrcCopy || Le16(p + 4) != 0) return kErrUnsupported;
        b.info = p + 22, b.infoSize = n - 22, b.bits = nullptr, b.bitsSize = 0;
        isBlit = true;
        return MakeBlit(b, s16(20), s16(18), s16(16), s16(14), int32_t(s16(12)), int32_t(s16(10)),
                        int32_t(s16(8)), int32_t(s16(6)), true);
      }
      case kMetaDibStretchBlt: {
        if (n < 20 + 40) return kErrUnsupported;  // the variant without a bitmap fills a pattern
        if (Le32(p) != kSrcCopy) return kErrUnsupported;
        b.info = p + 20, b.infoSize = n - 20, b.bits = nullptr, b.bitsSize = 0;
        isBlit = true;
        return MakeBlit(b, s16(18), s16(16), s16(14), s16(12), int32_t(s16(10)), int32_t(s16(8)),
                        int32_t(s16(6)), int32_t(s16(4)), false);
      }
      case kMetaDibBitBlt: {
        if (n < 16 + 40) return kErrUnsupported;
        if (Le32(p) != kSrcCopy) return kErrUnsupported;
        b.info = p + 16, b.infoSize = n - 16, b.bits = nullptr, b.bitsSize = 0;
        isBlit = true;
        double w = s16(10), h = s16(8);
        return MakeBlit(b, s16(14), s16(12), w, h, int32_t(s16(6)), int32_t(s16(4)), int32_t(w),
                        int32_t(h), false);
      }
      default: return WmfHarmless(f) ? kOk : kErrUnsupported;
    }
  }

  uint32_t EmfRecord(uint32_t t, const std::vector<uint8_t>& r, Blit& b, bool& isBlit) {
    const uint8_t* p = r.data();
    size_t n = r.size();
    auto s32 = [&](size_t i) -> int32_t { return i + 4 <= n ? Le32s(p + i) : 0; };
    auto u32 = [&](size_t i) -> uint32_t { return i + 4 <= n ? Le32(p + i) : 0; };
    // The bitmap parts of a record must lie inside it.
    auto parts = [&](size_t at) -> bool {
      uint64_t offBmi = u32(at), cbBmi = u32(at + 4), offBits = u32(at + 8), cbBits = u32(at + 12);
      if (cbBmi < 12 || offBmi + cbBmi > n || offBits + cbBits > n) return false;
      b.info = p + offBmi, b.infoSize = size_t(cbBmi);
      b.bits = p + offBits, b.bitsSize = size_t(cbBits);
      return true;
    };
    MapState& s = state_;
    switch (t) {
      case kEmrHeader: return kErrFormat;
      case kEmrSaveDC: return Save();
      case kEmrRestoreDC: Restore(s32(8)); return kOk;
      case kEmrSetMapMode: s.mapMode = s32(8); return kOk;
      case kEmrSetWindowExtEx: s.winExtX = s32(8), s.winExtY = s32(12); return kOk;
      case kEmrSetWindowOrgEx: s.winOrgX = s32(8), s.winOrgY = s32(12); return kOk;
      case kEmrSetViewportExtEx: s.vpExtX = s32(8), s.vpExtY = s32(12); return kOk;
      case kEmrSetViewportOrgEx: s.vpOrgX = s32(8), s.vpOrgY = s32(12); return kOk;
      case kEmrBitBlt:
      case kEmrStretchBlt: {
        if (n < (t == kEmrBitBlt ? 100u : 108u)) return kErrFormat;
        if (u32(40) != kSrcCopy || u32(88) == 0) return kErrUnsupported;  // pattern fills
        if (u32(80) != 0) return kErrUnsupported;                         // palette indices
        if (!parts(84)) return kErrFormat;
        isBlit = true;
        int32_t w = s32(32), h = s32(36);
        int32_t sw = t == kEmrBitBlt ? w : s32(100), sh = t == kEmrBitBlt ? h : s32(104);
        return MakeBlit(b, s32(24), s32(28), w, h, s32(44), s32(48), sw, sh, false);
      }
      case kEmrStretchDIBits: {
        if (n < 80) return kErrFormat;
        if (u32(68) != kSrcCopy) return kErrUnsupported;
        if (u32(64) != 0) return kErrUnsupported;
        if (!parts(48)) return kErrFormat;
        isBlit = true;
        return MakeBlit(b, s32(24), s32(28), s32(72), s32(76), s32(32), s32(36), s32(40), s32(44),
                        true);
      }
      case kEmrSetDIBitsToDevice: {
        if (n < 76) return kErrFormat;
        if (u32(64) != 0) return kErrUnsupported;
        if (!parts(48)) return kErrFormat;
        isBlit = true;
        int32_t w = s32(40), h = s32(44);
        return MakeBlit(b, s32(24), s32(28), w, h, s32(32), s32(36), w, h, true);
      }
      default: return EmfHarmless(t) ? kOk : kErrUnsupported;
    }
  }

  Source& src_;
  Layout layout_;
  uint64_t pos_ = 0;
  MapState state_;
  std::vector<MapState> stack_;
};

// Pixels a bitmap record can really supply, for the canvas size check: what
// its header claims, but no more than its bytes could hold (RLE8 included).
uint64_t DibPixels(const Blit& b) {
  constexpr uint64_t kMaxPixelsPerByte = 128;
  if (b.infoSize < 12) return 0;
  uint32_t hs = Le32(b.info);
  uint64_t claimed;
  if (hs == 12) {
    claimed = uint64_t{Le16(b.info + 4)} * Le16(b.info + 6);
  } else {
    int64_t w = Le32s(b.info + 4), h = Le32s(b.info + 8);
    claimed = uint64_t(std::llabs(w)) * uint64_t(std::llabs(h));
  }
  uint64_t bytes = b.bits ? b.bitsSize : b.infoSize;
  return std::min(claimed, bytes * kMaxPixelsPerByte);
}

struct Plan {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  uint64_t dibPixels = 0;
  uint32_t width = 0, height = 0;
  double originX = 0, originY = 0;
};

// First pass: checks every record and settles the canvas.
uint32_t MakePlan(Walker& walker, Plan& plan) {
  uint32_t r = walker.Run([&](const Blit& b) -> uint32_t {
    plan.x0 = std::min({plan.x0, b.x0, b.x1}), plan.x1 = std::max({plan.x1, b.x0, b.x1});
    plan.y0 = std::min({plan.y0, b.y0, b.y1}), plan.y1 = std::max({plan.y1, b.y0, b.y1});
    plan.dibPixels += DibPixels(b);
    return kOk;
  });
  if (r != kOk) return r;
  const Layout& l = walker.GetLayout();
  if (l.placeable) {
    plan.width = l.width, plan.height = l.height;
  } else {
    if (plan.x1 <= plan.x0 || plan.y1 <= plan.y0) return kErrFormat;  // nothing drawn, no size
    double w = std::ceil(plan.x1 - plan.x0 - 1e-9), h = std::ceil(plan.y1 - plan.y0 - 1e-9);
    if (w < 1 || h < 1) return kErrFormat;
    if (w > kMaxSide || h > kMaxSide) return kErrTooLarge;
    plan.width = uint32_t(w), plan.height = uint32_t(h);
    plan.originX = plan.x0, plan.originY = plan.y0;
  }
  uint64_t pixels = uint64_t{plan.width} * plan.height;
  if (pixels > kMaxCanvasPixels || pixels > std::max(kFreeCanvasPixels, plan.dibPixels * 16))
    return kErrTooLarge;
  return kOk;
}

uint32_t Draw(const Blit& b, const Plan& plan, uint8_t* canvas, uint64_t& painted) {
  Decoded dib;
  if (uint32_t r = ReadDIB(b.info, b.infoSize, b.bits, b.bitsSize, dib)) return r;
  bool bottomUp = Le32(b.info) == 12 || Le32s(b.info + 8) > 0;
  int64_t srcTop = b.srcFromBottom && bottomUp ? int64_t{dib.height} - b.srcY - b.srcH : b.srcY;
  double x0 = b.x0 - plan.originX, x1 = b.x1 - plan.originX;
  double y0 = b.y0 - plan.originY, y1 = b.y1 - plan.originY;
  if (x0 == x1 || y0 == y1) return kOk;
  auto span = [](double a, double c, uint32_t limit, uint32_t& lo, uint32_t& hi) {
    double mn = std::max(0.0, std::floor(std::min(a, c))),
           mx = std::min(double(limit), std::ceil(std::max(a, c)));
    lo = uint32_t(mn), hi = mx > mn ? uint32_t(mx) : lo;
  };
  uint32_t cx0, cx1, cy0, cy1;
  span(x0, x1, plan.width, cx0, cx1);
  span(y0, y1, plan.height, cy0, cy1);
  painted += uint64_t{cx1 - cx0} * (cy1 - cy0);
  if (painted > kMaxPaintedPixels) return kErrTooLarge;
  std::vector<int64_t> cols(cx1 - cx0);
  for (uint32_t x = cx0; x < cx1; ++x) {
    double u = (x + 0.5 - x0) / (x1 - x0);
    int64_t sx = u < 0 || u >= 1 ? -1 : b.srcX + int64_t(std::floor(u * b.srcW));
    cols[x - cx0] = sx >= 0 && sx < int64_t{dib.width} ? sx : -1;
  }
  for (uint32_t y = cy0; y < cy1; ++y) {
    double v = (y + 0.5 - y0) / (y1 - y0);
    if (v < 0 || v >= 1) continue;
    int64_t sy = srcTop + int64_t(std::floor(v * b.srcH));
    if (sy < 0 || sy >= int64_t{dib.height}) continue;
    const uint8_t* srow = dib.pixels.get() + size_t(sy) * dib.width * 3;
    uint8_t* drow = canvas + size_t{y} * plan.width * 3;
    for (uint32_t x = cx0; x < cx1; ++x) {
      int64_t sx = cols[x - cx0];
      if (sx >= 0) std::memcpy(drow + size_t{x} * 3, srow + size_t(sx) * 3, 3);
    }
  }
  return kOk;
}

}  // namespace

bool SniffWMF(const uint8_t* head, size_t n) {
  if (n >= 4 && Le32(head) == kPlaceableKey) return true;
  if (n < kWmfHeaderBytes) return false;
  uint16_t type = Le16(head), words = Le16(head + 2), version = Le16(head + 4);
  return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

bool SniffEMF(const uint8_t* head, size_t n) {
  return n >= 44 && Le32(head) == kEmrHeader && Le32(head + 40) == kEmfSignature;
}

bool GetMetafileDims(Source& source, Info& info) {
  Walker walker(source);
  Plan plan;
  if (walker.Open() != kOk || MakePlan(walker, plan) != kOk) return false;
  info.width = plan.width;
  info.height = plan.height;
  info.bitsPerPixel = 24;
  info.colorType = walker.GetLayout().emf ? 2 : 1;
  info.resX = info.resY = 0;
  info.resUnit = 0;
  return true;
}

uint32_t ReadMetafile(Source& source, Decoded& out) {
  out = Decoded();
  Walker walker(source);
  Plan plan;
  uint32_t r = walker.Open();
  if (r == kOk) r = MakePlan(walker, plan);
  if (r != kOk) return Fail(out, r);
  uint64_t size = BlockSize(plan.width, plan.height, 24);
  if (size == 0) return Fail(out, kErrTooLarge);
  out.pixels.reset(AllocBlock(static_cast<size_t>(size)));
  if (!out.pixels) return Fail(out, kErrNoMemory);
  out.width = plan.width, out.height = plan.height, out.bitsPerPixel = 24;
  std::memset(out.pixels.get(), 255, static_cast<size_t>(size));
  uint64_t painted = 0;
  r = walker.Run([&](const Blit& b) { return Draw(b, plan, out.pixels.get(), painted); });
  if (r != kOk) return Fail(out, r);
  SetLastError(kOk);
  return kOk;
}

uint32_t WriteRGBToMetafile(Dest& dest, const WriteImage& image, bool emf) {
  if (!ValidRGB(image)) return SetLastError(kErrParam), kErrParam;
  uint32_t w = image.width, h = image.height;
  uint64_t stride = (uint64_t{w} * 3 + 3) & ~uint64_t{3};
  uint64_t bits = stride * h;
  // WMF coordinates are 16-bit; both formats count sizes in 32 bits.
  if ((!emf && (w > 32767 || h > 32767)) || bits > 0x7FFFFFF0ull)
    return SetLastError(kErrTooLarge), kErrTooLarge;
  ByteBuffer bmi;
  bmi.Le32(40), bmi.Le32(w), bmi.Le32(h), bmi.Le16(1), bmi.Le16(24), bmi.Le32(0);
  bmi.Le32(uint32_t(bits)), bmi.Le32(3780), bmi.Le32(3780), bmi.Le32(0), bmi.Le32(0);
  ByteBuffer hd;
  if (emf) {
    constexpr uint32_t kHeaderSize = 108, kBlitSize = 80, kEofSize = 20;
    uint64_t blitSize = kBlitSize + bmi.Size() + bits;
    uint64_t total = kHeaderSize + blitSize + kEofSize;
    if (total > 0xFFFFFFFFull) return SetLastError(kErrTooLarge), kErrTooLarge;
    // Frame in hundredths of a millimetre at 96 pixels per inch.
    auto hundredthMm = [](uint32_t px) { return uint32_t(std::lround(px * 2540.0 / kScreenDpi)); };
    hd.Le32(kEmrHeader), hd.Le32(kHeaderSize);
    hd.Le32(0), hd.Le32(0), hd.Le32(w - 1), hd.Le32(h - 1);
    hd.Le32(0), hd.Le32(0), hd.Le32(hundredthMm(w) - 1), hd.Le32(hundredthMm(h) - 1);
    hd.Le32(kEmfSignature), hd.Le32(0x10000), hd.Le32(uint32_t(total)), hd.Le32(3);
    hd.Le16(1), hd.Le16(0), hd.Le32(0), hd.Le32(0), hd.Le32(0);
    hd.Le32(1920), hd.Le32(1080), hd.Le32(508), hd.Le32(286);  // reference device, 96 dpi
    hd.Le32(0), hd.Le32(0), hd.Le32(0), hd.Le32(508000), hd.Le32(285750);
    hd.Le32(kEmrStretchDIBits), hd.Le32(uint32_t(blitSize));
    hd.Le32(0), hd.Le32(0), hd.Le32(w - 1), hd.Le32(h - 1);
    hd.Le32(0), hd.Le32(0), hd.Le32(0), hd.Le32(0), hd.Le32(w), hd.Le32(h);
    hd.Le32(kBlitSize), hd.Le32(uint32_t(bmi.Size()));
    hd.Le32(uint32_t(kBlitSize + bmi.Size())), hd.Le32(uint32_t(bits));
    hd.Le32(0), hd.Le32(kSrcCopy), hd.Le32(w), hd.Le32(h);
  } else {
    uint64_t blitWords = (6 + 22 + bmi.Size() + bits) / 2;
    uint64_t totalWords = 9 + 5 + 5 + blitWords + 3;
    uint16_t box[5] = {0, 0, uint16_t(w), uint16_t(h), uint16_t(kScreenDpi)};
    uint16_t sum = uint16_t(kPlaceableKey & 0xFFFF) ^ uint16_t(kPlaceableKey >> 16);
    for (uint16_t v : box) sum ^= v;  // the key, handle and box, reserved words are 0
    hd.Le32(kPlaceableKey), hd.Le16(0);
    for (uint16_t v : box) hd.Le16(v);
    hd.Le32(0), hd.Le16(sum);
    hd.Le16(1), hd.Le16(9), hd.Le16(0x0300), hd.Le32(uint32_t(totalWords)), hd.Le16(0);
    hd.Le32(uint32_t(blitWords)), hd.Le16(0);
    hd.Le32(5), hd.Le16(kMetaSetWindowOrg), hd.Le16(0), hd.Le16(0);
    hd.Le32(5), hd.Le16(kMetaSetWindowExt), hd.Le16(h), hd.Le16(w);
    hd.Le32(uint32_t(blitWords)), hd.Le16(kMetaStretchDib), hd.Le32(kSrcCopy), hd.Le16(0);
    hd.Le16(h), hd.Le16(w), hd.Le16(0), hd.Le16(0), hd.Le16(h), hd.Le16(w), hd.Le16(0), hd.Le16(0);
  }
  hd.Bytes(bmi.Str().data(), bmi.Size());
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  for (uint32_t i = 0; ok && i < h; ++i) {
    const uint8_t* s = image.pixels + size_t{h - 1 - i} * image.rowBytes;
    for (uint32_t x = 0; x < w; ++x)
      row[3 * x] = s[3 * x + 2], row[3 * x + 1] = s[3 * x + 1], row[3 * x + 2] = s[3 * x];
    ok = dest.Write(row.data(), row.size());
  }
  ByteBuffer tail;
  if (emf) {
    tail.Le32(kEmrEof), tail.Le32(20), tail.Le32(0), tail.Le32(16), tail.Le32(20);
  } else {
    tail.Le32(3), tail.Le16(kMetaEof);
  }
  ok = ok && tail.WriteTo(dest);
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
