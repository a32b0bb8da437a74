// The Merger pane: the Brush/Eraser toolbar on top and the Merger dialog
// directly below it.
#pragma once

#include <QDockWidget>
#include <QToolBar>

class CActionRegistry;
class CPropertyDialog;
class CQuiltorDoc;
struct CQuiltorServices;
class QAction;
class QScrollArea;

// The pane's own toolbar: locked, no gripper, no borders.
class CPropertiesToolBar : public QToolBar {
  Q_OBJECT
 public:
  explicit CPropertiesToolBar(QWidget* parent = nullptr);
};

class CPropertiesWnd : public QDockWidget {
  Q_OBJECT
 public:
  CPropertiesWnd(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  CPropertyDialog* Dialog() { return m_dialog; }
  CPropertiesToolBar* ToolBar() { return m_toolBar; }
  // 0 while Eraser is selected, 1 while Brush is.
  int BrushFlag() const { return m_brushFlag; }
  QAction* EraserAction() { return m_eraser; }
  QAction* BrushAction() { return m_brush; }
  void OnEraser();
  void OnBrush();
  // Registers the Eraser and Brush commands.
  void RegisterActions(CActionRegistry& registry);
  // The dialog's width at its designed size.
  int PreferredWidth() const;

 signals:
  // The chosen tool changed, from whichever input.
  void ToolChanged();
  // A brush slider is dragged during a merge: the view should repaint now.
  void RepaintViewNow();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AdjustLayout();
  void UpdateChecks();
  void ToolToggled(int brushFlag, bool on);

  CQuiltorDoc& m_doc;
  QWidget* m_client;
  CPropertiesToolBar* m_toolBar;
  QScrollArea* m_scroll;
  CPropertyDialog* m_dialog;
  QAction* m_eraser;
  QAction* m_brush;
  int m_brushFlag = 0;
};
