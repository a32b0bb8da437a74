#include "view/QuiltorView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QResizeEvent>
#include <QUrl>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/QuiltorDoc.h"
#include "panes/BusyCursor.h"
#include "panes/CampaignProgress.h"
#include "panes/MemDC2.h"
#include "view/StatusText.h"
#include "view/ViewGeometry.h"

namespace {

const QColor kMergeBackground(64, 64, 64);
const QColor kShadowBackground(255, 200, 200);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
constexpr int kMagnifierSide = 512;

// The help text, in its nine pieces; "&&" shows as "&".
const char* const kHelpPieces[] = {
    "Quiltor (high resolution workflow) - this works WITH Stable Diffusion (such as "
    "Automatic1111)\r\nTL;DR: Load a large image, grab a small slice,  process the slice in SD, "
    "then merge the slice back to the original image. Repeat.\r\n\r\n",
    "1. Load large main image: File->Open or Drag and Drop here\r\nSlicer - Left Side:\r\n",
    "2. Create slice: Use either 512 or 1024 square and place it where you want it to be "
    "extracted from the large image.\r\n",
    "     (You can also use Rotating slice which allows you to rotate then re-assemble cropped "
    "part (for example make a face upright) \r\n",
    "3. Set 'Slice folder' then press Export && Lock - the slice will be exported and the Square "
    "on screen locked so you don't accidentaly move it - it is waiting for you to drag && drop "
    "the modified file back\r\n",
    "4. Use SD to process the slice. When done, drag and drop it back from SD img2img folder (or "
    "use quick import that imports the last created image in img2img folder).\r\nMerge - Right "
    "Side:\r\n",
    "5. Now you are in a merge mode, the new slice is superimposed over the main image - you can "
    "use brush to erase or paint mask if you need to, just like in a photo editor.\r\n",
    "6. Press Apply Merge. Then you can save the main image (it will ALWAYS save result into an "
    "incremental file).\r\n",
    "7. Repeat.\r\n",
};

QString HelpText() {
  QString text;
  for (const char* piece : kHelpPieces) text += QString::fromLatin1(piece);
  // Qt breaks lines at "\n" alone; a carriage return would show as a glyph.
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

QCursor LoadCursor(const QString& name, int hotX, int hotY) {
  const QPixmap picture(name);
  return QCursor(picture, hotX, hotY);
}

QRect SliceRectOf(const CQuiltorDoc& doc) {
  return {doc.m_sliceX, doc.m_sliceY, doc.m_sliceWidth, doc.m_sliceHeight};
}
QRect SliceScreenOf(const CQuiltorDoc& doc) {
  return {doc.m_sliceScreenLeft, doc.m_sliceScreenTop, doc.m_sliceScreenWidth,
          doc.m_sliceScreenHeight};
}

}  // namespace

CQuiltorView::CQuiltorView(CQuiltorDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
  setAccessibleName(QStringLiteral("Image view"));
  setFocusPolicy(Qt::ClickFocus);
  setMouseTracking(true);
  setAcceptDrops(true);
  // Every paint covers the whole clip box, so nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_cursors[0] = LoadCursor(QStringLiteral(":/cursors/316.png"), 5, 19);
  m_cursors[1] = LoadCursor(QStringLiteral(":/cursors/317.png"), 9, 19);
  m_cursors[2] = QCursor(QPixmap::fromImage(PaintingCursorPicture()), kPaintingHotX, kPaintingHotY);
}

CQuiltorView::~CQuiltorView() = default;

// An inverting cursor (an all-zero mask) shows only on Windows; a white cross
// with a black outline shows on every platform and over every picture.
QImage CQuiltorView::PaintingCursorPicture() {
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  auto arm = [&](int dx, int dy, int grow, QRgb colour) {
    for (int i = 1; i <= 3 + grow; ++i)
      for (int w = -grow; w <= grow; ++w) {
        const int x = kPaintingHotX + dx * i + dy * w, y = kPaintingHotY + dy * i + dx * w;
        picture.setPixel(x, y, colour);
      }
  };
  const int dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& d : dirs) arm(d[0], d[1], 1, qRgb(0, 0, 0));
  for (const auto& d : dirs) arm(d[0], d[1], 0, qRgb(255, 255, 255));
  // the one-pixel gap shows the pixel that is painted
  picture.setPixel(kPaintingHotX, kPaintingHotY, qRgba(0, 0, 0, 0));
  return picture;
}

void CQuiltorView::ToggleMagnifier() {
  m_magnifier = m_magnifier ? 0 : 1;
  emit MagnifierChanged(m_magnifier != 0);
  update();
}

QPoint CQuiltorView::ImagePointOf(QPoint client) const {
  if (m_zoomed) return viewzoom::ImagePointAt(client, m_zoom);
  return viewgeom::ImagePoint(client, DisplayScale(), m_offset);
}

void CQuiltorView::EmptyDisplayCopy() {
  m_displayCopy.Clear();
  m_displaySource = Source::None;
  m_pyramid[1].Reset();
}

// --- zoom and pan

QSize CQuiltorView::PictureSize() const {
  const CISImageEx& main = m_doc.m_mainImage;
  return main.HasPixels() ? QSize(int(main.m_width), int(main.m_height)) : QSize();
}

double CQuiltorView::FittedScale() const {
  const QSize image = PictureSize();
  const qreal ratio = devicePixelRatioF();
  viewgeom::Fit fit;
  if (!viewgeom::FitInto(image.width(), image.height(), int(width() * ratio), int(height() * ratio),
                         fit))
    fit.scale = 1.0;
  return fit.scale / ratio;
}

viewzoom::Zoom CQuiltorView::CurrentZoom() const {
  if (m_zoomed) return m_zoom;
  // The fitted view's own scale and offset, as its paint computes them.
  const QSize image = PictureSize();
  const qreal ratio = devicePixelRatioF();
  const int cw = int(width() * ratio), ch = int(height() * ratio);
  viewgeom::Fit fit{image.width(), image.height(), 1.0};
  viewgeom::FitInto(image.width(), image.height(), cw, ch, fit);
  const QPoint device = viewgeom::CentredOffset(cw, ch, fit.width, fit.height);
  return {fit.scale / ratio, double(int(device.x() / ratio)), double(int(device.y() / ratio))};
}

int CQuiltorView::ZoomPercent() const { return viewzoom::Percent(DisplayScale(), m_ratio); }

void CQuiltorView::SetZoom(const viewzoom::Zoom& z) {
  FollowSize();
  const bool wasZoomed = m_zoomed;
  const viewzoom::Zoom before = m_zoom;
  const QSize image = PictureSize();
  const double fitted = FittedScale();
  if (image.isEmpty() || z.scale <= fitted * (1 + 1e-9)) {
    m_zoomed = false;
  } else {
    m_zoomed = true;
    m_zoom = viewzoom::Limited(z, size(), image);
    m_offset = m_zoom.Origin();
  }
  if (wasZoomed == m_zoomed && (!m_zoomed || before == m_zoom)) return;
  m_zoomMoved = true;
  if (!m_zoomed) {
    // Hit tests before the next paint already see the fitted view.
    const viewzoom::Zoom fit = CurrentZoom();
    m_offset = fit.Origin();
    m_displayScale = fit.scale * devicePixelRatioF();
  }
  update();
}

void CQuiltorView::ZoomBy(int steps, QPointF fixed) {
  FollowSize();
  if (PictureSize().isEmpty() || steps == 0) return;
  const viewzoom::Zoom now = CurrentZoom();
  const double ratio = devicePixelRatioF();
  const double scale =
      viewzoom::StepScale(FittedScale(), now.scale, steps, viewzoom::kMaxScale / ratio);
  SetZoom(viewzoom::ZoomAbout(now, scale, fixed));
}

void CQuiltorView::ZoomIn() { ZoomBy(1, QPointF(width() / 2.0, height() / 2.0)); }
void CQuiltorView::ZoomOut() { ZoomBy(-1, QPointF(width() / 2.0, height() / 2.0)); }
void CQuiltorView::FitToWindow() { SetZoom({0, 0, 0}); }

void CQuiltorView::ActualPixels() {
  const QSize image = PictureSize();
  if (image.isEmpty()) return;
  const double scale = 1.0 / devicePixelRatioF();
  // The picture point under the pointer, or else the one at the view's centre.
  QPoint at = ImagePointOf(rect().center());
  const QPoint pointer = mapFromGlobal(QCursor::pos());
  if (rect().contains(pointer) && QRect(QPoint(), image).contains(ImagePointOf(pointer)))
    at = ImagePointOf(pointer);
  // One screen pixel per picture pixel may lie below the fitted scale of a
  // small picture: then the fitted view is it.
  SetZoom(viewzoom::CentredOn(scale, at, size()));
}

void CQuiltorView::ZoomToSlice() {
  if (PictureSize().isEmpty()) return;
  const QRect square(m_doc.m_sliceX, m_doc.m_sliceY, m_doc.m_sliceWidth, m_doc.m_sliceHeight);
  SetZoom(
      viewzoom::ToSlice(square, size(), FittedScale(), viewzoom::kMaxScale / devicePixelRatioF()));
}

void CQuiltorView::PanBy(int dx, int dy) {
  if (m_zoomed) SetZoom(viewzoom::Panned(m_zoom, dx, dy));
}

void CQuiltorView::FollowMergeState() {
  if (m_doc.m_merge == m_mergeSeen) return;
  m_mergeSeen = m_doc.m_merge;
  if (m_doc.m_merge) {
    if (!m_zoomWhenMerging) return;
    m_zoomSaved = true;
    m_savedZoomed = m_zoomed;
    m_savedZoom = m_zoom;
    ZoomToSlice();
  } else if (m_zoomSaved) {
    m_zoomSaved = false;
    SetZoom(m_savedZoomed ? m_savedZoom : viewzoom::Zoom{0, 0, 0});
  }
}

// --- painting

void CQuiltorView::paintEvent(QPaintEvent* event) {
  m_ratio = devicePixelRatioF();
  FollowSize();
  FollowMergeState();
  {
    CMemDC2 dc(this, event->rect());
    Draw(dc, rect());
  }
  if (event->rect().contains(m_pendingScreen)) m_pendingScreen = {};
  UpdateCursor();
  const int percent = m_doc.m_mainImage.HasPixels() ? ZoomPercent() : 0;
  if (percent != m_percentShown) emit ZoomChanged(m_percentShown = percent);
}

void CQuiltorView::Render(QPainter& painter) {
  m_ratio = devicePixelRatioF();
  FollowSize();
  CMemDC2 dc(painter);
  Draw(dc, rect());
}

void CQuiltorView::Print(QPrinter& printer) {
  QPainter painter(&printer);
  if (!painter.isActive() || width() <= 0 || height() <= 0) return;
  const QRect page = painter.viewport();
  const double k = std::min(double(page.width()) / width(), double(page.height()) / height());
  painter.scale(k, k);
  painter.setClipRect(rect());
  Render(painter);
}

void CQuiltorView::Draw(CMemDC2& dc, const QRect& client) {
  bool picture = false;
  {
    QPainter& p = dc.Painter();
    p.fillRect(client, m_doc.m_merge ? kMergeBackground : QColor(Qt::white));
    picture = DrawPicture(p, client);
  }
  if (!m_doc.m_rotating) m_doc.m_angle = 0;
  // In merge mode the square's screen place is kept from before the merge,
  // unless the zoom moved it since: the brush's hit tests follow the zoom.
  if (m_doc.m_merge && (m_zoomed || m_zoomMoved)) StoreSliceScreen();
  m_zoomMoved = false;
  if (picture && !m_overlays.empty()) {
    const QRectF r = PictureRect();
    const QSize size = PictureSize();
    const QTransform toClient =
        QTransform::fromTranslate(r.x(), r.y())
            .scale(r.width() / std::max(1, size.width()), r.height() / std::max(1, size.height()));
    QPainter& p = dc.Painter();
    for (const auto& [layer, paint] : m_overlays) {
      p.save();
      paint(p, toClient);
      p.restore();
    }
  }
  if (!m_doc.m_merge) DrawSliceOverlay(dc);
  // The default square's white outline lies over the help text; drawn first,
  // it cut a column out of the glyphs it crossed.
  if (!picture) DrawHelpText(dc.Painter(), client);
  if (m_doc.m_merge && m_doc.m_showFrame) DrawShowFrame(dc.Painter());
  DrawBrush(dc, client);
  DrawMagnifier(dc.Painter());
}

void CQuiltorView::DrawShowFrame(QPainter& p) {
  const QRect screen = viewgeom::SliceScreenRect(SliceRectOf(m_doc), DisplayScale(), m_offset);
  const viewgeom::Square sq = viewgeom::RotatedSquare(screen, m_doc.m_angle);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::NoBrush);
  p.drawPolygon(sq.corners.data(), 4);
}

QImage CQuiltorView::Underlay(const QRect& bounds, bool withShowFrame) {
  const QSize device(qCeil(bounds.width() * m_ratio), qCeil(bounds.height() * m_ratio));
  if (device.isEmpty()) return {};
  QImage under(device, QImage::Format_RGB32);
  under.setDevicePixelRatio(m_ratio);
  QPainter up(&under);
  up.translate(-bounds.topLeft());
  up.fillRect(rect(), m_doc.m_merge ? kMergeBackground : QColor(Qt::white));
  if (!DrawPicture(up, rect())) DrawHelpText(up, rect());
  if (withShowFrame && m_doc.m_merge && m_doc.m_showFrame) DrawShowFrame(up);
  return under;
}

// The fit rule: builds the display copy from source when it is empty or the
// fitted size changed, and centres it.
void CQuiltorView::FitDisplayCopy(const CISImageEx& source, const QRect& client) {
  const int cw = static_cast<int>(client.width() * m_ratio);
  const int ch = static_cast<int>(client.height() * m_ratio);
  const int w = static_cast<int>(source.m_width), h = static_cast<int>(source.m_height);
  viewgeom::Fit fit;
  const bool scaled = viewgeom::FitInto(w, h, cw, ch, fit);
  if (!m_displayCopy.HasPixels()) {
    // Copying first and scaling the copy would give the same pixels; scaling
    // straight from the source saves copying the whole picture.
    if (scaled) {
      // a fitted side of no pixels shows nothing
      if (fit.width > 0 && fit.height > 0)
        m_displayCopy.ResizeFrom(source, static_cast<uint32_t>(fit.width),
                                 static_cast<uint32_t>(fit.height), 0);
      m_displayScale = fit.scale;
    } else {
      m_displayCopy.CopyFrom(source);
      m_displayScale = 1.0;
    }
  } else if (scaled && (fit.width != static_cast<int>(m_displayCopy.m_width) ||
                        fit.height != static_cast<int>(m_displayCopy.m_height))) {
    if (fit.width > 0 && fit.height > 0)
      m_displayCopy.ResizeFrom(source, static_cast<uint32_t>(fit.width),
                               static_cast<uint32_t>(fit.height), 0);
    else
      m_displayCopy.Clear();
    m_displayScale = fit.scale;
  }
  const QPoint device = viewgeom::CentredOffset(cw, ch, static_cast<int>(m_displayCopy.m_width),
                                                static_cast<int>(m_displayCopy.m_height));
  m_offset = m_ratio == 1.0 ? device
                            : QPoint(static_cast<int>(device.x() / m_ratio),
                                     static_cast<int>(device.y() / m_ratio));
}

bool CQuiltorView::DrawPicture(QPainter& p, const QRect& client) {
  if (m_zoomed) {
    const bool shadow = m_showShadow && m_doc.m_shadowImage.HasPixels();
    if (m_doc.m_displayRefresh && !shadow) {
      // A change of unknown extent: every level and the fitted copy go stale.
      m_pyramid[0].Reset();
      EmptyDisplayCopy();
      m_doc.m_displayRefresh = 0;
    }
    m_offset = m_zoom.Origin();
    if (shadow) {
      p.fillRect(client, kShadowBackground);
      if (m_displaySource != Source::Shadow) {
        m_displayCopy.Clear();
        m_doc.Host().AddOutputLine(QStringLiteral("Show ControlNet Image"));
        m_displaySource = Source::Shadow;
      }
      DrawZoomed(p, m_doc.m_shadowImage, m_pyramid[1]);
      DrawTwoPixelFrame(p, kRed);
    } else if (m_doc.m_mainImage.HasPixels()) {
      if (m_displaySource == Source::Shadow) EmptyDisplayCopy();
      DrawZoomed(p, m_doc.m_mainImage, m_pyramid[0]);
      if (m_doc.m_merge) DrawTwoPixelFrame(p, kBlue);
    } else {
      return false;
    }
    return true;
  }
  if (m_showShadow && m_doc.m_shadowImage.HasPixels()) {
    p.fillRect(client, kShadowBackground);
    if (m_displaySource != Source::Shadow) m_displayCopy.Clear();
    if (!m_displayCopy.HasPixels())
      m_doc.Host().AddOutputLine(QStringLiteral("Show ControlNet Image"));
    FitDisplayCopy(m_doc.m_shadowImage, client);
    m_displaySource = Source::Shadow;
    DrawDisplayCopy(p);
    DrawTwoPixelFrame(p, kRed);
    return true;
  }
  if (m_doc.m_mainImage.HasPixels()) {
    if (!m_fittedStale.isEmpty() && !m_doc.m_displayRefresh && !UpdateFittedCopy(m_fittedStale))
      m_displayCopy.Clear();
    m_fittedStale = {};
    if (m_displaySource != Source::Main || m_doc.m_displayRefresh) {
      m_displayCopy.Clear();
      if (m_doc.m_displayRefresh) m_pyramid[0].Reset();
      m_doc.m_displayRefresh = 0;
    }
    FitDisplayCopy(m_doc.m_mainImage, client);
    m_displaySource = Source::Main;
    DrawDisplayCopy(p);
    if (m_doc.m_merge) DrawTwoPixelFrame(p, kBlue);
    return true;
  }
  return false;
}

void CQuiltorView::DrawDisplayCopy(QPainter& p) {
  if (!m_displayCopy.HasPixels() || m_displayCopy.m_bitsPerPixel != 24) return;
  const int w = static_cast<int>(m_displayCopy.m_width),
            h = static_cast<int>(m_displayCopy.m_height);
  // The copy's own rows, wrapped without copying.
  QImage wrapped(static_cast<const uchar*>(m_displayCopy.Pixels()), w, h, qsizetype(3) * w,
                 QImage::Format_RGB888);
  wrapped.setDevicePixelRatio(m_ratio);
  p.drawImage(m_offset, wrapped);
}

void CQuiltorView::DrawZoomed(QPainter& p, const CISImageEx& source,
                              qimg::CPicturePyramid& pyramid) {
  if (source.m_bitsPerPixel != 24) return;
  const QSize image(int(source.m_width), int(source.m_height));
  const QRect visible = viewzoom::VisibleImageRect(m_zoom, size(), image);
  if (visible.isEmpty()) return;
  // Level k shows 2^-k of the picture's pixels: the smallest level still at
  // or above the shown scale in device pixels.
  const double device = m_zoom.scale * m_ratio;
  int k = 0;
  while (k < 30 && double(int64_t{2} << k) * device <= 1.0 + 1e-9) ++k;
  const uint8_t* pixels = source.Pixels();
  int levelWidth = image.width();
  QRect part = visible;
  if (k > 0) {
    const int step = 1 << k;
    const qimg::PyramidRect want{visible.left() >> k, visible.top() >> k,
                                 (visible.right() + step) >> k, (visible.bottom() + step) >> k};
    const qimg::CPicturePyramid::Level level =
        pyramid.Get(source.Pixels(), image.width(), image.height(), k, want);
    if (!level.pixels) return;  // no memory for the level: the background shows
    pixels = level.pixels;
    levelWidth = level.width;
    part = QRect(want.left, want.top, std::min(level.width, want.right) - want.left,
                 std::min(level.height, want.bottom) - want.top);
  }
  const QImage wrapped(pixels + (size_t(part.top()) * size_t(levelWidth) + size_t(part.left())) * 3,
                       part.width(), part.height(), qsizetype(3) * levelWidth,
                       QImage::Format_RGB888);
  const double unit = m_zoom.scale * double(1 << k);  // client pixels per level pixel
  const QPoint o = m_zoom.Origin();
  const QRectF target(o.x() + part.left() * unit, o.y() + part.top() * unit, part.width() * unit,
                      part.height() * unit);
  p.save();
  p.setClipRect(PictureRect(), Qt::IntersectClip);
  // Picture pixels show as crisp squares from one to one upwards.
  p.setRenderHint(QPainter::SmoothPixmapTransform, device < 1.0);
  p.drawImage(target, wrapped);
  p.restore();
}

QRectF CQuiltorView::PictureRect() const {
  if (m_zoomed) {
    const QSize image = PictureSize();
    return QRectF(m_zoom.Origin(),
                  QSizeF(image.width() * m_zoom.scale, image.height() * m_zoom.scale));
  }
  return QRectF(m_offset,
                QSizeF(m_displayCopy.m_width / m_ratio, m_displayCopy.m_height / m_ratio));
}

void CQuiltorView::DrawTwoPixelFrame(QPainter& p, const QColor& colour) {
  if (!m_zoomed && !m_displayCopy.HasPixels()) return;
  const QRectF outer = PictureRect();
  const qreal x = outer.x(), y = outer.y(), w = outer.width(), h = outer.height();
  const qreal t = std::min<qreal>(2, std::min(w, h) / 2);
  p.fillRect(QRectF(x, y, w, t), colour);
  p.fillRect(QRectF(x, y + h - t, w, t), colour);
  p.fillRect(QRectF(x, y, t, h), colour);
  p.fillRect(QRectF(x + w - t, y, t, h), colour);
}

void CQuiltorView::DrawHelpText(QPainter& p, const QRect& client) {
  QFont font = QApplication::font("QMenu");
  const double height =
      font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * logicalDpiY() / 72.0;
  font.setPixelSize(std::max(1, static_cast<int>(std::abs(height * 1.2))));
  font.setWeight(QFont::Normal);
  const int margin = client.width() / 20;
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(client.adjusted(margin, margin, -margin, -margin),
             Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop, HelpText());
}

QRect CQuiltorView::StoreSliceScreen() {
  const QRect screen = viewgeom::SliceScreenRect(SliceRectOf(m_doc), DisplayScale(), m_offset);
  m_doc.m_sliceScreenLeft = screen.x();
  m_doc.m_sliceScreenTop = screen.y();
  m_doc.m_sliceScreenWidth = screen.width();
  m_doc.m_sliceScreenHeight = screen.height();
  return screen;
}

void CQuiltorView::DrawSliceOverlay(CMemDC2& dc) {
  const QRect screen = StoreSliceScreen();
  const viewgeom::Square sq = viewgeom::RotatedSquare(screen, m_doc.m_angle);
  QColor square(Qt::white), line(192, 192, 192), fill(Qt::white);
  if (m_doc.m_locked) {
    square = line = fill = kRed;
  } else if (m_doc.m_dragState == 1 || m_doc.m_dragState == 2) {
    square = fill = QColor(255, 238, 0);
    line = QColor(192, 128, 0);
  }
  const QPolygon corners(QList<QPoint>(sq.corners.begin(), sq.corners.end()));
  if (m_doc.m_locked) {
    DrawLockHatch(dc, corners, sq.Bounds());
    QPainter& p = dc.Painter();
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    // A cell height of 20 pixels: the font's full line height.
    int size = 20;
    font.setPixelSize(size);
    while (size > 1 && QFontMetrics(font).height() > 20) font.setPixelSize(--size);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(screen, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("Locked"));
  }
  QPainter& p = dc.Painter();
  p.setPen(QPen(square, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolygon(corners);
  if (m_doc.m_rotating) {
    const viewgeom::Handle hd = viewgeom::RotationHandle(sq, viewgeom::HandleRadius(logicalDpiX()));
    p.setPen(QPen(line, 1));
    p.drawLine(hd.axis1From, hd.axis1To);
    p.drawLine(hd.axis2From, hd.axis2To);
    p.setBrush(fill);
    p.drawEllipse(hd.disc);
    m_handleRect = hd.disc;
  } else {
    m_handleRect = QRect();
  }
}

namespace {
// ANDs the pixels of image inside device (device pixels of image, whose pixel
// (0, 0) lies at the client point origin) and inside the polygon with a red
// diagonal cross-hatch on black.
void AndWithHatch(QImage& image, const QRect& device, QPointF origin, const QPolygon& corners,
                  const QRect& bounds) {
  if (device.isEmpty()) return;
  const qreal r = image.devicePixelRatio();
  const QPointF at(origin.x() + device.x() / r, origin.y() + device.y() / r);
  QImage inside(device.size(), QImage::Format_Grayscale8);
  inside.setDevicePixelRatio(r);
  inside.fill(0);
  QImage pattern(device.size(), QImage::Format_RGB32);
  pattern.setDevicePixelRatio(r);
  pattern.fill(Qt::black);
  {
    QPainter mp(&inside);
    mp.translate(-at);
    mp.setPen(Qt::NoPen);
    mp.setBrush(Qt::white);
    mp.drawPolygon(corners, Qt::OddEvenFill);
    QPainter pp(&pattern);
    pp.translate(-at);
    pp.setBrushOrigin(bounds.topLeft());
    pp.fillRect(bounds, QBrush(kRed, Qt::DiagCrossPattern));
  }
  for (int y = 0; y < device.height(); ++y) {
    const uchar* in = inside.constScanLine(y);
    const QRgb* pat = reinterpret_cast<const QRgb*>(pattern.constScanLine(y));
    QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(device.y() + y)) + device.x();
    for (int x = 0; x < device.width(); ++x)
      if (in[x]) dst[x] &= pat[x];
  }
}
}  // namespace

// Inside the square the picture is ANDed with a red diagonal cross-hatch on
// black: black everywhere but the hatch lines, which keep the red channel.
void CQuiltorView::DrawLockHatch(CMemDC2& dc, const QPolygon& corners, const QRect& bounds) {
  if (QImage* buffer = dc.Image()) {
    AndWithHatch(*buffer, dc.DeviceRect(QRectF(bounds)), QPointF(dc.Rect().topLeft()), corners,
                 bounds);
    dc.Resume();
    return;
  }
  // Straight on a printer, which has no raster operations: what lies under
  // the square (background and picture) is drawn again into an image,
  // combined there, and laid over the square.
  // (Only the part inside the view: a zoomed square may reach far beyond it.)
  const QRect area = bounds.intersected(rect());
  QImage under = Underlay(area, false);
  if (under.isNull()) return;
  AndWithHatch(under, under.rect(), QPointF(area.topLeft()), corners, bounds);
  QPainter& p = dc.Painter();
  p.save();
  p.setClipRegion(QRegion(corners, Qt::OddEvenFill), Qt::IntersectClip);
  p.drawImage(area.topLeft(), under);
  p.restore();
}

namespace {
// Inverts the pixels of image inside device (pixel (0, 0) at the client
// point origin) on a one-pixel circle filling rect; with clearOthers, every
// other pixel there becomes transparent.
void InvertRing(QImage& image, const QRect& device, QPointF origin, const QRect& rect,
                bool clearOthers) {
  if (device.isEmpty()) return;
  const qreal r = image.devicePixelRatio();
  const QPointF at(origin.x() + device.x() / r, origin.y() + device.y() / r);
  QImage ring(device.size(), QImage::Format_Grayscale8);
  ring.setDevicePixelRatio(r);
  ring.fill(0);
  {
    QPainter mp(&ring);
    mp.translate(-at);
    mp.setPen(QPen(Qt::white, 1));
    mp.setBrush(Qt::NoBrush);
    mp.drawEllipse(rect);
  }
  for (int y = 0; y < device.height(); ++y) {
    const uchar* in = ring.constScanLine(y);
    QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(device.y() + y)) + device.x();
    for (int x = 0; x < device.width(); ++x) {
      if (in[x])
        dst[x] = ~dst[x] | 0xff000000u;
      else if (clearOthers)
        dst[x] = 0;
    }
  }
}
}  // namespace

// A one-pixel circle that inverts what lies under it (not (screen xor black)).
void CQuiltorView::InvertEllipse(CMemDC2& dc, const QRect& rect) {
  const QRect area = rect.adjusted(-1, -1, 2, 2).intersected(this->rect());
  if (QImage* buffer = dc.Image()) {
    InvertRing(*buffer, dc.DeviceRect(QRectF(area)), QPointF(dc.Rect().topLeft()), rect, false);
    dc.Resume();
    return;
  }
  // Straight on a printer: the layers under the circle drawn again into an
  // image, inverted there, and only the circle's pixels laid over.
  QImage under = Underlay(area, true);
  if (under.isNull()) return;
  under = under.convertToFormat(QImage::Format_ARGB32);
  InvertRing(under, under.rect(), QPointF(area.topLeft()), rect, true);
  dc.Painter().drawImage(area.topLeft(), under);
}

QRect CQuiltorView::BrushScreenRect() const {
  const CQuiltorDoc& d = m_doc;
  if (!d.m_mainImage.HasPixels() || !d.m_merge || !(m_brushNear || d.m_brushPreview)) return {};
  const QPoint centre = d.m_brushPreview ? QPoint(width() / 2, height() / 2) : m_pointer;
  const viewgeom::BrushDiscs discs =
      viewgeom::BrushRadii(d.m_brushPreview != 0, d.m_brush.m_stampSide, d.m_brush.m_brushSize,
                           d.m_brush.m_softness, d.m_brush.m_opacity, DisplayScale());
  const QRect brush = viewgeom::BrushRect(centre, discs.radius);
  if (!viewgeom::BrushMeetsSlice(brush, SliceScreenOf(d), discs.radius) ||
      d.m_mainImage.m_width == 0)
    return {};
  return brush;
}

void CQuiltorView::DrawBrush(CMemDC2& dc, const QRect& client) {
  m_brushDrawn = {};
  const CQuiltorDoc& d = m_doc;
  if (!d.m_mainImage.HasPixels() || !d.m_merge || !(m_brushNear || d.m_brushPreview)) return;
  if (d.m_brushPreview) m_pointer = QPoint(client.width() / 2, client.height() / 2);
  const QRect brush = BrushScreenRect();
  if (brush.isNull()) return;
  const viewgeom::BrushDiscs discs =
      viewgeom::BrushRadii(d.m_brushPreview != 0, d.m_brush.m_stampSide, d.m_brush.m_brushSize,
                           d.m_brush.m_softness, d.m_brush.m_opacity, DisplayScale());
  if (d.m_brushPreview) {
    QPainter& p = dc.Painter();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    p.drawEllipse(brush);
    p.setBrush(QColor(discs.coreRed, 0, 0));
    p.drawEllipse(viewgeom::BrushRect(m_pointer, discs.coreRadius));
  } else {
    InvertEllipse(dc, brush);
  }
  m_brushDrawn = brush.adjusted(-2, -2, 2, 2);
}

void CQuiltorView::DrawMagnifier(QPainter& p) {
  const CISImageEx& main = m_doc.m_mainImage;
  if (!m_magnifier || !main.HasPixels() || (m_doc.m_locked && !m_doc.m_merge)) return;
  if (main.m_bitsPerPixel != 24) return;
  // One main-image pixel per device pixel, over the Parts' 512 logical pixels.
  const int side = static_cast<int>(kMagnifierSide * m_ratio);
  QImage patch(side, side, QImage::Format_RGB888);
  patch.fill(Qt::black);
  const int mw = static_cast<int>(main.m_width), mh = static_cast<int>(main.m_height);
  const int left = m_magnifierCentre.x() - side / 2, top = m_magnifierCentre.y() - side / 2;
  const int x0 = std::max(0, left), x1 = std::min(mw, left + side);
  if (x1 > x0) {
    for (int j = 0; j < side; ++j) {
      const int y = top + j;
      if (y < 0 || y >= mh) continue;
      std::memcpy(patch.scanLine(j) + size_t(x0 - left) * 3,
                  main.Pixels() + (size_t(y) * size_t(mw) + size_t(x0)) * 3, size_t(x1 - x0) * 3);
    }
  }
  patch.setDevicePixelRatio(m_ratio);
  const QPointF at =
      viewgeom::MagnifierTopLeft(m_magnifierCentre, DisplayScale(), m_offset, side, m_ratio);
  p.drawImage(at, patch);
  const qreal w = side / m_ratio;
  p.fillRect(QRectF(at.x(), at.y(), w, 2), Qt::black);
  p.fillRect(QRectF(at.x(), at.y() + w - 2, w, 2), Qt::black);
  p.fillRect(QRectF(at.x(), at.y(), 2, w), Qt::black);
  p.fillRect(QRectF(at.x() + w - 2, at.y(), 2, w), Qt::black);
}

// --- incremental display update

QRect CQuiltorView::ScreenRectOfDisplay(const QRect& d) const {
  if (d.isEmpty()) return {};
  const QRectF logical(m_offset.x() + d.x() / m_ratio, m_offset.y() + d.y() / m_ratio,
                       d.width() / m_ratio, d.height() / m_ratio);
  return logical.toAlignedRect();
}

void CQuiltorView::ImageChanged(const QRect& imageRect) {
  const CISImageEx& main = m_doc.m_mainImage;
  m_pyramid[0].Invalidate({imageRect.left(), imageRect.top(), imageRect.left() + imageRect.width(),
                           imageRect.top() + imageRect.height()});
  if (m_zoomed) {
    if (m_showShadow || !main.HasPixels()) return;
    // The fitted copy catches up once, when the view returns to fit.
    m_fittedStale = m_fittedStale.united(imageRect);
    m_doc.m_displayRefresh = 0;
    const QPointF at = viewzoom::ClientOf(imageRect.topLeft(), m_zoom);
    const QRect screen =
        QRectF(at, QSizeF(imageRect.width() * m_zoom.scale, imageRect.height() * m_zoom.scale))
            .toAlignedRect()
            .intersected(rect());
    if (screen.isEmpty()) return;
    m_pendingScreen = m_pendingScreen.united(screen);
    update(screen);
    return;
  }
  if (!UpdateFittedCopy(imageRect)) return;
  m_doc.m_displayRefresh = 0;
  const QRect screen = ScreenRectOfDisplay(m_scaler.TargetRectFor(imageRect));
  if (screen.isEmpty()) return;
  m_pendingScreen = m_pendingScreen.united(screen);
  update(screen);
}

bool CQuiltorView::UpdateFittedCopy(const QRect& imageRect) {
  const CISImageEx& main = m_doc.m_mainImage;
  if (m_displaySource != Source::Main || m_showShadow || !m_displayCopy.HasPixels() ||
      !main.HasPixels() || main.m_bitsPerPixel != 24 || m_displayCopy.m_bitsPerPixel != 24)
    return false;
  // The copy must be what a rebuild would make now, or the next paint
  // rebuilds it anyway.
  const qreal ratio = devicePixelRatioF();
  const int w = static_cast<int>(main.m_width), h = static_cast<int>(main.m_height);
  viewgeom::Fit fit{w, h, 1.0};
  viewgeom::FitInto(w, h, static_cast<int>(width() * ratio), static_cast<int>(height() * ratio),
                    fit);
  if (ratio != m_ratio || fit.width != static_cast<int>(m_displayCopy.m_width) ||
      fit.height != static_cast<int>(m_displayCopy.m_height) || fit.scale != m_displayScale)
    return false;
  if (!m_scaler.Prepare(w, h, fit.width, fit.height)) return false;
  return m_scaler.Update(main, m_displayCopy, m_scaler.TargetRectFor(imageRect));
}

void CQuiltorView::RepaintMergeChanges(const QRect& brushBefore) {
  if (m_doc.m_displayRefresh) {
    repaint();
    return;
  }
  QRect changed = m_pendingScreen.united(brushBefore);
  const QRect brushAfter = BrushScreenRect();
  if (!brushAfter.isEmpty()) changed = changed.united(brushAfter.adjusted(-2, -2, 2, 2));
  changed = changed.intersected(rect());
  if (!changed.isEmpty()) repaint(changed);
}

// --- input

void CQuiltorView::UpdateCursor() {
  int shown = -1;
  if (m_doc.m_merge) shown = m_buttonDown ? 2 : (m_doc.m_tool == 1 ? 0 : 1);
  if (shown == m_cursorShown) return;
  m_cursorShown = shown;
  if (shown < 0)
    unsetCursor();
  else
    setCursor(m_cursors[shown]);
}

void CQuiltorView::enterEvent(QEnterEvent* event) {
  UpdateCursor();
  QWidget::enterEvent(event);
}

void CQuiltorView::leaveEvent(QEvent* event) {
  if (m_doc.m_dragState == 0) SetPlaceText({});
  QWidget::leaveEvent(event);
}

void CQuiltorView::ShowPlace(QPoint client) {
  const CISImageEx& main = m_doc.m_mainImage;
  if (!main.HasPixels()) {
    SetPlaceText({});
    return;
  }
  SetPlaceText(statustext::PlaceText(
      ImagePointOf(client), QSize(static_cast<int>(main.m_width), static_cast<int>(main.m_height)),
      m_doc.m_dragState, SliceRectOf(m_doc), m_doc.m_angle));
}

void CQuiltorView::SetPlaceText(const QString& text) {
  if (text == m_placeText) return;
  m_placeText = text;
  emit PlaceChanged(text);
}

void CQuiltorView::SetOverlayPainter(Overlay layer, OverlayPainter painter) {
  if (painter)
    m_overlays[layer] = std::move(painter);
  else
    m_overlays.erase(layer);
  update();
}

// The drag of a picture region; true when the event was one.
bool CQuiltorView::PickRegion(QMouseEvent* event) {
  const QPoint at = ImagePointOf(event->position().toPoint());
  if (event->type() == QEvent::MouseButtonPress) {
    if (!m_regionPicking || event->button() != Qt::LeftButton) return false;
    m_regionDrag = true;
    m_regionStart = at;
    return true;
  }
  if (!m_regionDrag) return false;
  if (event->type() == QEvent::MouseButtonRelease) m_regionDrag = false;
  emit RegionDragged(QRect(m_regionStart, at).normalized());
  return true;
}

void CQuiltorView::mousePressEvent(QMouseEvent* event) {
  if (PickRegion(event)) return;
  if (event->button() == Qt::MiddleButton) {
    m_panning = m_zoomed;
    m_panAnchor = event->position().toPoint();
    m_panStart = m_zoom;
    return;
  }
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint p = event->position().toPoint();
  m_buttonDown = 1;
  m_doc.m_dragState = 0;
  if (!m_doc.m_merge && !m_doc.m_locked) {
    if (m_magnifier) {
      m_doc.m_sliceScreenLeft = p.x();
      m_doc.m_sliceScreenTop = p.y();
      const QPoint at = ImagePointOf(p);
      m_doc.CentreSliceAt(at.x(), at.y());
    } else {
      if (!m_handleRect.isEmpty() && m_handleRect.contains(p)) {
        m_doc.m_startAngle = m_doc.m_angle;
        m_doc.m_dragState = 2;
        m_doc.m_dragAnchorX = p.x();
        m_doc.m_dragAnchorY = p.y();
      }
      if (m_doc.m_dragState == 0 && viewgeom::InsideSlice(SliceScreenOf(m_doc), p)) {
        m_doc.m_dragState = 1;
        m_doc.m_dragAnchorX = p.x() - m_doc.m_sliceScreenLeft;
        m_doc.m_dragAnchorY = p.y() - m_doc.m_sliceScreenTop;
      }
    }
  }
  if (m_doc.m_merge) {
    const QRect before = m_brushDrawn;
    const QPoint at = ImagePointOf(p);
    m_doc.PaintMask(at.x(), at.y(), 0);
    RepaintMergeChanges(before);
  }
  ShowPlace(p);
  UpdateCursor();
}

void CQuiltorView::mouseMoveEvent(QMouseEvent* event) {
  if (PickRegion(event)) return;
  const QPoint p = event->position().toPoint();
  if (m_panning && (event->buttons() & Qt::MiddleButton)) {
    const QPoint d = p - m_panAnchor;
    SetZoom(viewzoom::Panned(m_panStart, d.x(), d.y()));
    return;
  }
  // The pointer is not held in merge mode: moves outside the view are not
  // the view's.
  if (m_doc.m_merge && m_buttonDown && !rect().contains(p)) return;
  const QRect before = m_brushDrawn;
  m_pointer = p;
  m_brushNear = 0;
  if (m_magnifier) {
    m_magnifierCentre = ImagePointOf(p);
    update();
  }
  if (m_doc.m_merge) {
    const int q = viewgeom::BrushNearMargin(m_doc.m_brush.m_stampSide, DisplayScale());
    if (viewgeom::BrushNear(SliceScreenOf(m_doc), q, p)) m_brushNear = 1;
    if (m_buttonDown) {
      const QPoint at = ImagePointOf(p);
      m_doc.PaintMask(at.x(), at.y(), 1);
    }
    RepaintMergeChanges(before);
  }
  if (m_doc.m_dragState == 1 && !m_doc.m_locked && !m_doc.m_merge) {
    m_doc.m_sliceScreenLeft = p.x() - m_doc.m_dragAnchorX;
    m_doc.m_sliceScreenTop = p.y() - m_doc.m_dragAnchorY;
    const double s = DisplayScale();
    m_doc.MoveSlice(static_cast<int>((m_doc.m_sliceScreenLeft - m_offset.x()) / s),
                    static_cast<int>((m_doc.m_sliceScreenTop - m_offset.y()) / s));
    update();
  }
  if (m_doc.m_dragState == 2 && !m_doc.m_locked && !m_doc.m_merge) {
    const QPoint centre(m_doc.m_sliceScreenLeft + m_doc.m_sliceScreenWidth / 2,
                        m_doc.m_sliceScreenTop + m_doc.m_sliceScreenHeight / 2);
    m_doc.SetSliceAngle(viewgeom::DragAngle(m_doc.m_startAngle, centre,
                                            QPoint(m_doc.m_dragAnchorX, m_doc.m_dragAnchorY), p));
    update();
  }
  ShowPlace(p);
  UpdateCursor();
}

void CQuiltorView::mouseReleaseEvent(QMouseEvent* event) {
  if (PickRegion(event)) return;
  if (event->button() == Qt::RightButton) {
    if (m_contextMenu) m_contextMenu->popup(mapToGlobal(event->position().toPoint()));
    return;
  }
  if (event->button() == Qt::MiddleButton) {
    m_panning = false;
    return;
  }
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  m_buttonDown = 0;
  m_doc.m_dragState = 0;
  if (m_doc.m_merge) {
    m_doc.EndMaskStroke();  // press to release: one undo step
    m_doc.UpdateMaskPreview();
  }
  update();
  ShowPlace(event->position().toPoint());
  UpdateCursor();
}

void CQuiltorView::contextMenuEvent(QContextMenuEvent* event) {
  // The right button's release shows the menu; here only the keyboard's.
  if (event->reason() == QContextMenuEvent::Mouse) return;
  if (m_contextMenu) m_contextMenu->popup(event->globalPos());
}

void CQuiltorView::SetShowShadow(bool on) {
  if ((m_showShadow != 0) == on) return;
  m_showShadow = on ? 1 : 0;
  EmptyDisplayCopy();
  update();
}

void CQuiltorView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (m_zoomed && event->modifiers() == Qt::NoModifier &&
      (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down)) {
    // The picture moves the other way from the part of it that comes into view.
    const int dx = int(width() * viewzoom::kPanPart), dy = int(height() * viewzoom::kPanPart);
    PanBy(key == Qt::Key_Left    ? dx
          : key == Qt::Key_Right ? -dx
                                 : 0,
          key == Qt::Key_Up     ? dy
          : key == Qt::Key_Down ? -dy
                                : 0);
    return;
  }
  if (key != Qt::Key_Space) {
    QWidget::keyPressEvent(event);
    return;
  }
  if (!event->isAutoRepeat()) SetShowShadow(true);
}

void CQuiltorView::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Space) {
    QWidget::keyReleaseEvent(event);
    return;
  }
  if (!event->isAutoRepeat()) SetShowShadow(false);
}

void CQuiltorView::wheelEvent(QWheelEvent* event) {
  // One notch is 120 eighths of a degree; a touchpad sends it in pieces.
  m_wheelRest += event->angleDelta().y();
  const int steps = m_wheelRest / 120;
  m_wheelRest -= steps * 120;
  if (steps) ZoomBy(steps, event->position());
  event->accept();
}

bool CQuiltorView::event(QEvent* event) {
  if (event->type() == QEvent::NativeGesture) {
    auto* gesture = static_cast<QNativeGestureEvent*>(event);
    if (gesture->gestureType() == Qt::ZoomNativeGesture) {
      // A pinch reports scale changes; a step of the ladder per √2 of them.
      m_pinchRest += std::log1p(gesture->value());
      const double step = std::log(M_SQRT2);
      const int steps = int(m_pinchRest / step);
      m_pinchRest -= steps * step;
      if (steps) ZoomBy(steps, gesture->position());
      return true;
    }
  }
  return QWidget::event(event);
}

void CQuiltorView::resizeEvent(QResizeEvent* event) {
  FollowSize();
  QWidget::resizeEvent(event);
}

void CQuiltorView::FollowSize() {
  // The picture point at the centre stays there; a window grown past the
  // zoom shows the fitted view. (A hidden widget is resized without events,
  // so the paint asks too.)
  const QSize before = m_zoomSize;
  m_zoomSize = size();
  if (m_zoomed && before.isValid() && before != m_zoomSize)
    SetZoom(viewzoom::Resized(m_zoom, before, m_zoomSize));
}

namespace {
// The first local file among the dropped URLs, whole path; empty if none.
QString FirstLocalFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}
}  // namespace

void CQuiltorView::dragEnterEvent(QDragEnterEvent* event) {
  if (!FirstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CQuiltorView::dragMoveEvent(QDragMoveEvent* event) {
  if (!FirstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CQuiltorView::dropEvent(QDropEvent* event) {
  const QString path = FirstLocalFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Several files at once are returned slices laid back by their names.
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  if (files.size() > 1 && m_doc.m_mainImage.HasPixels()) {
    ImportReturnedSlices(this, m_doc, files);
    update();
    return;
  }
  {
    CBusyCursor busy;
    m_doc.ImportFile(path);
  }
  update();
}
