// The image view: the document's main image fitted into the window with the
// slice square, merge frame, brush outline and magnifier; turns pointer, key
// and drop input into document operations.
#pragma once

#include <QCursor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <functional>
#include <map>

#include "image/ISImageEx.h"
#include "image/kernels/PicturePyramid.h"
#include "view/DisplayScaler.h"
#include "view/ZoomGeometry.h"

class CQuiltorDoc;
class CMemDC2;
class QMenu;
class QPainter;
class QPrinter;

class CQuiltorView : public QWidget {
  Q_OBJECT
 public:
  explicit CQuiltorView(CQuiltorDoc& doc, QWidget* parent = nullptr);
  ~CQuiltorView() override;

  // The context menu (menu 119), owned by the frame.
  void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }
  QMenu* ContextMenu() const { return m_contextMenu; }
  // "Magnify Under Cursor" (32785).
  bool MagnifierOn() const { return m_magnifier != 0; }
  void ToggleMagnifier();
  // The Space key's shadow view, from whichever widget of the window has the
  // keyboard focus.
  void SetShowShadow(bool on);
  // The whole drawing on a printer's painter, in client coordinates.
  void Render(QPainter& painter);
  // Prints the client drawing scaled to fit the printer's page.
  void Print(QPrinter& printer);
  // The document changed only these main-image pixels since its display
  // refresh flag was last clear: the display copy is brought up to date for
  // them alone (and the flag cleared) when it can be, and their screen
  // rectangle is marked for the next repaint.
  void ImageChanged(const QRect& imageRect);

  // Zoom and pan. The fitted view is the default and the floor: zooming out
  // to the fitted scale returns to it.
  void ZoomBy(int steps, QPointF fixedClient);
  void ZoomIn();
  void ZoomOut();
  void FitToWindow();
  void ActualPixels();
  void ZoomToSlice();
  void PanBy(int dx, int dy);
  bool Zoomed() const { return m_zoomed; }
  // "View > Zoom to Slice When Merging": a merge that starts zooms to the
  // square; its end returns to the zoom before it.
  void SetZoomToSliceWhenMerging(bool on) { m_zoomWhenMerging = on; }
  bool ZoomToSliceWhenMerging() const { return m_zoomWhenMerging; }
  // Whole percent of screen pixels per picture pixel.
  int ZoomPercent() const;
  const qimg::CPicturePyramid& Pyramid() const { return m_pyramid[0]; }
  // The painting cursor (318): a cross of three-pixel arms around a
  // one-pixel gap at the hot spot.
  static constexpr int kPaintingHotX = 14, kPaintingHotY = 13;
  static QImage PaintingCursorPicture();

  // View state, read by the tests and the frame.
  const CISImageEx& DisplayCopy() const { return m_displayCopy; }
  double DisplayScale() const { return m_zoomed ? m_zoom.scale : m_displayScale / m_ratio; }
  QPoint ImageOffset() const { return m_offset; }
  QPoint MagnifierCentre() const { return m_magnifierCentre; }
  QRect HandleRect() const { return m_handleRect; }
  bool ShowingShadow() const { return m_showShadow != 0; }
  bool BrushNear() const { return m_brushNear != 0; }
  // Client rectangle that the last changed-pixel reports still have to show.
  QRect PendingScreenChange() const { return m_pendingScreen; }
  QPoint ImagePointOf(QPoint client) const;

  // Drawn over the picture, lower layers first (the coverage under a slice
  // grid): the painter and the map from picture pixels to client
  // coordinates. An empty painter removes the layer.
  using OverlayPainter = std::function<void(QPainter&, const QTransform&)>;
  enum class Overlay { Coverage, Grid };
  void SetOverlayPainter(Overlay layer, OverlayPainter painter);
  // While on, a left drag marks a picture rectangle instead of moving the
  // square (RegionDragged follows the drag).
  void SetRegionPicking(bool on) { m_regionPicking = on; }

 signals:
  void RegionDragged(const QRect& imageRect);
  void MagnifierChanged(bool on);
  // The shown zoom changed (0: no picture).
  void ZoomChanged(int percent);
  // The status bar's place text: the image point under the pointer, or the
  // square while it is dragged or turned; empty off the picture.
  void PlaceChanged(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // The paint, in its order, in client coordinates; the raster steps work on
  // the buffer's pixels when there is one.
  void Draw(CMemDC2& dc, const QRect& client);
  // False when there is no picture to draw (the help text's case).
  bool DrawPicture(QPainter& p, const QRect& client);
  void FitDisplayCopy(const CISImageEx& source, const QRect& client);
  void DrawDisplayCopy(QPainter& p);
  // The visible part of source at the zoom, from the pyramid level nearest
  // above the shown scale.
  void DrawZoomed(QPainter& p, const CISImageEx& source, qimg::CPicturePyramid& pyramid);
  // The picture's client rectangle: the display copy's, or the zoomed picture's.
  QRectF PictureRect() const;
  void DrawTwoPixelFrame(QPainter& p, const QColor& colour);
  void DrawHelpText(QPainter& p, const QRect& client);
  void DrawShowFrame(QPainter& p);
  // Background and picture (and the merge frame outline) of bounds drawn
  // again into an image, for raster work when drawing straight on a printer.
  QImage Underlay(const QRect& bounds, bool withShowFrame);
  // The slice square's screen rectangle at the current scale, stored in the
  // document for the hit tests.
  QRect StoreSliceScreen();
  void DrawSliceOverlay(CMemDC2& dc);
  void DrawLockHatch(CMemDC2& dc, const QPolygon& corners, const QRect& bounds);
  void DrawBrush(CMemDC2& dc, const QRect& client);
  void InvertEllipse(CMemDC2& dc, const QRect& rect);
  void DrawMagnifier(QPainter& p);
  // The brush rectangle the next paint draws, or an empty one.
  QRect BrushScreenRect() const;
  // Logical client rectangle of display-copy pixels.
  QRect ScreenRectOfDisplay(const QRect& displayRect) const;
  // Brings the fitted display copy up to date over changed image pixels;
  // false when it is not the copy a rebuild would make now.
  bool UpdateFittedCopy(const QRect& imageRect);
  // Repaints now what changed on screen after a pointer event in merge mode.
  void RepaintMergeChanges(const QRect& brushBefore);
  void UpdateCursor();
  void ShowPlace(QPoint client);
  void SetPlaceText(const QString& text);
  void EmptyDisplayCopy();
  // Zoom arithmetic against the current window and picture.
  QSize PictureSize() const;
  double FittedScale() const;
  viewzoom::Zoom CurrentZoom() const;
  // Shows z (kept within the pan limits), or the fitted view at or below its scale.
  void SetZoom(const viewzoom::Zoom& z);
  void FollowMergeState();
  void FollowSize();

  CQuiltorDoc& m_doc;
  QMenu* m_contextMenu = nullptr;

  CISImageEx m_displayCopy;
  enum class Source { None, Main, Shadow } m_displaySource = Source::None;
  double m_displayScale = 1.0;  // display-copy pixels per image pixel
  double m_ratio = 1.0;         // device pixels per logical pixel of the last paint
  QPoint m_offset;              // logical client position of the display copy
  int m_buttonDown = 0;
  QPoint m_pointer;
  int m_brushNear = 0;
  QRect m_handleRect;
  int m_showShadow = 0;
  QPoint m_magnifierCentre;
  int m_magnifier = 0;
  QCursor m_cursors[3];  // 316 brush, 317 eraser, 318 painting
  int m_cursorShown = -1;

  CDisplayScaler m_scaler;
  QRect m_pendingScreen;  // screen part changed by ImageChanged, not yet painted
  QRect m_brushDrawn;     // where the last paint drew the brush outline or preview

  bool m_zoomed = false;
  QRect m_fittedStale;       // image pixels changed while zoomed, not yet in the fitted copy
  bool m_zoomMoved = false;  // the zoom changed since the last paint
  QSize m_zoomSize;          // the view's size the zoom was made for
  int m_percentShown = 0;    // the zoom last reported
  viewzoom::Zoom m_zoom;
  qimg::CPicturePyramid m_pyramid[2];  // main image, shadow image
  bool m_panning = false;
  QPoint m_panAnchor;
  viewzoom::Zoom m_panStart;
  int m_wheelRest = 0;     // wheel angle not yet turned into a step (eighths of a degree)
  double m_pinchRest = 0;  // pinch scale not yet turned into a step
  bool m_zoomWhenMerging = false;
  int m_mergeSeen = 0;       // merge flag at the last paint
  bool m_zoomSaved = false;  // a zoom to return to when the merge ends
  bool m_savedZoomed = false;
  viewzoom::Zoom m_savedZoom;
  QString m_placeText;  // the status bar's place text last reported
  std::map<Overlay, OverlayPainter> m_overlays;
  bool m_regionPicking = false;
  bool m_regionDrag = false;
  QPoint m_regionStart;
  bool PickRegion(QMouseEvent* event);
};
