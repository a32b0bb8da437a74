// The Merger pane's dialog (template 310): the brush sliders, Fill, Fill
// Opacity and Invert of the mask, the edge blur slider with its edit box,
// Apply and Cancel Merge, and the mask preview. The brush and mask live in
// the document, the edge blur in the services.
#pragma once

#include <QWidget>

#include "panes/DialogTemplate.h"

class CQuiltorDoc;
struct CQuiltorServices;
class CImagePreviewWnd;
class CBlackSlider;
class QLineEdit;

class CPropertyDialog : public QWidget {
  Q_OBJECT
 public:
  CPropertyDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  CImagePreviewWnd* Preview() { return m_preview; }

  // The control with a template id (MergerId), e.g. for tests and automation.
  QWidget* Control(int id) const;
  CBlackSlider* Slider(int id) const;

  QSize sizeHint() const override;
  DialogBaseUnits BaseUnits() const { return m_units; }

 signals:
  // A brush slider is dragged during a merge: the active view should repaint
  // now (not only when the event loop comes round), so that the brush
  // preview follows the slider.
  void RepaintViewNow();

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BrushNotified(int code);
  void EdgeBlurNotified(int code);
  void EdgeBlurTextChanged(const QString& text);
  QLineEdit* EdgeBlurEdit() const;

  CQuiltorDoc& m_doc;
  CQuiltorServices& m_services;
  DialogBaseUnits m_units;
  CImagePreviewWnd* m_preview = nullptr;
};
