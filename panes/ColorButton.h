// A push button drawn in a colour of its own: lighter than its base colour at
// rest, the base colour while pressed, a little lighter with a thick frame
// while hovered or focused. To assistive technology it stays a push button.
#pragma once

#include <QColor>
#include <QPushButton>

class CColorButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CColorButton(const QString& text = QString(), QWidget* parent = nullptr);

  // Set by the owning dialog before the button is first drawn.
  QColor m_crColor{247, 204, 210};

  bool IsHovered() const { return m_bHover != 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  uint8_t m_bHover = 0;
};
