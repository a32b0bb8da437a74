// The dark value slider of the Merger pane, in two looks: a thin track with a
// thumb (absolute dragging) and a shaded roller with a red value line
// (relative dragging). It draws itself through CMemDC2 and reports every
// change to its parent as a posted CSliderNotifyEvent, as a trackbar posts its
// scroll notifications; the parent reads GetPos() when it handles one.
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class CBlackSlider;

// A slider notification, posted to the slider's parent. The parent handles it
// after the slider's handler has returned.
class CSliderNotifyEvent : public QEvent {
 public:
  static QEvent::Type EventType();
  CSliderNotifyEvent(CBlackSlider* slider, int code, int pos);
  QPointer<CBlackSlider> slider;
  int code;
  int pos;  // the value when it was posted; parents read GetPos() instead
};

class CBlackSlider : public QWidget {
  Q_OBJECT
 public:
  // Notification codes, as the standard trackbar's.
  enum : int {
    TB_LINEUP = 0,
    TB_LINEDOWN = 1,
    TB_PAGEUP = 2,
    TB_PAGEDOWN = 3,
    TB_THUMBTRACK = 5,
    TB_ENDTRACK = 8,
  };
  static constexpr int kPageSize = 20;
  static constexpr int kLineSize = 1;
  static constexpr int kWheelInterval = 80;  // ms
  static constexpr int kWheelEndTicks = 10;  // the end follows on the tick after

  explicit CBlackSlider(QWidget* parent = nullptr);
  ~CBlackSlider() override;

  virtual void NotifyParent(int code);
  virtual int GetRangeMax() const { return m_nMax; }
  virtual int GetRangeMin() const { return m_nMin; }
  virtual void SetRangeMin(int v) { m_nMin = v; }
  virtual void SetRangeMax(int v) { m_nMax = v; }
  // Sets both limits; the value is left as it is. Mode 0 is the only one.
  virtual void SetRange(int min, int max, int mode = 0);
  virtual int GetPos() const { return m_nPos; }
  virtual void SetPos(int v, int flag = 0);

  // A value chosen by assistive technology: goes the way of an arrow key
  // (move, repaint, line notification) and its release (end notification).
  void SetPosFromUser(int v);

  int WheelTicks() const { return m_nWheelTicks; }
  // The wheel timer's id while it runs, 0 otherwise (tests tick it by hand).
  int WheelTimerId() const { return m_wheelTimer.timerId(); }

  // Set directly by the owning dialog.
  int m_bBarStyle = 0;
  float m_fDragScale = 1.0f;
  QColor m_crFill{86, 152, 223};

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void MoveTo(int v);
  void ShowValue();
  void HideValue();
  bool PosFromPoint(int x);
  void RepaintNow() { repaint(); }
  void KeyStep(int v, int code);
  void PaintTrack(QPainter& p);
  void PaintBar(QPainter& p);

  int m_nMin = 0;
  int m_nMax = 255;
  int m_nPos = 255;
  int m_nDragState = 0;
  int m_bChanged = 0;
  int m_nDragStartPos = 0;
  QPoint m_ptDown{0, 0};
  QPoint m_ptLast{0, 0};
  int m_bFocused = 0;
  int m_nWheelTicks = 0;
  QBasicTimer m_wheelTimer;
};
