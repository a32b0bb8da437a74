// The image view: the document's main image fitted into the window with the
// slice square, merge frame, brush outline and magnifier; turns pointer, key
// and drop input into document operations.
#pragma once

#include <QCursor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include "image/ISImageEx.h"
#include "view/DisplayScaler.h"

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

  // The painting cursor (318): a cross of three-pixel arms around a
  // one-pixel gap at the hot spot.
  static constexpr int kPaintingHotX = 14, kPaintingHotY = 13;
  static QImage PaintingCursorPicture();

  // View state, read by the tests and the frame.
  const CISImageEx& DisplayCopy() const { return m_displayCopy; }
  double DisplayScale() const { return m_displayScale / m_ratio; }
  QPoint ImageOffset() const { return m_offset; }
  QPoint MagnifierCentre() const { return m_magnifierCentre; }
  QRect HandleRect() const { return m_handleRect; }
  bool ShowingShadow() const { return m_showShadow != 0; }
  bool BrushNear() const { return m_brushNear != 0; }
  // Client rectangle that the last changed-pixel reports still have to show.
  QRect PendingScreenChange() const { return m_pendingScreen; }
  QPoint ImagePointOf(QPoint client) const;

 signals:
  void MagnifierChanged(bool on);
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
  void leaveEvent(QEvent* event) override;

 private:
  // The paint, in its order, in client coordinates; the raster steps work on
  // the buffer's pixels when there is one.
  void Draw(CMemDC2& dc, const QRect& client);
  // False when there is no picture to draw (the help text's case).
  bool DrawPicture(QPainter& p, const QRect& client);
  void FitDisplayCopy(const CISImageEx& source, const QRect& client);
  void DrawDisplayCopy(QPainter& p);
  void DrawTwoPixelFrame(QPainter& p, const QColor& colour);
  void DrawHelpText(QPainter& p, const QRect& client);
  void DrawShowFrame(QPainter& p);
  // Background and picture (and the merge frame outline) of bounds drawn
  // again into an image, for raster work when drawing straight on a printer.
  QImage Underlay(const QRect& bounds, bool withShowFrame);
  void DrawSliceOverlay(CMemDC2& dc);
  void DrawLockHatch(CMemDC2& dc, const QPolygon& corners, const QRect& bounds);
  void DrawBrush(CMemDC2& dc, const QRect& client);
  void InvertEllipse(CMemDC2& dc, const QRect& rect);
  void DrawMagnifier(QPainter& p);
  // The brush rectangle the next paint draws, or an empty one.
  QRect BrushScreenRect() const;
  // Logical client rectangle of display-copy pixels.
  QRect ScreenRectOfDisplay(const QRect& displayRect) const;
  // Repaints now what changed on screen after a pointer event in merge mode.
  void RepaintMergeChanges(const QRect& brushBefore);
  void UpdateCursor();
  void ShowPlace(QPoint client);
  void SetPlaceText(const QString& text);
  void EmptyDisplayCopy();

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
  QRect m_brushDrawn;
  QString m_placeText;  // where the last paint drew the brush outline or preview
};
