// The image view: the document's main image fitted into the window with the
// slice square, merge frame, brush outline and magnifier; turns pointer, key
// and drop input into document operations.
#pragma once

#include <QWidget>

class CQuiltorDoc;
class QMenu;
class QPainter;

class CQuiltorView : public QWidget {
  Q_OBJECT
 public:
  explicit CQuiltorView(CQuiltorDoc& doc, QWidget* parent = nullptr);
  ~CQuiltorView() override;

  // The context menu (menu 119), owned by the frame.
  void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }
  // "Magnify Under Cursor" (32785).
  bool MagnifierOn() const { return m_magnifier != 0; }
  void ToggleMagnifier();
  // The whole drawing on a printer's painter, in client coordinates.
  void Render(QPainter& painter);

 signals:
  void MagnifierChanged(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CQuiltorDoc& m_doc;
  QMenu* m_contextMenu = nullptr;
  int m_magnifier = 0;
};
