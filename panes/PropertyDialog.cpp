#include "panes/PropertyDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "document/MergeLimits.h"
#include "document/QuiltorDoc.h"
#include "panes/BlackSlider.h"
#include "panes/ColorButton.h"
#include "panes/ImagePreviewWnd.h"
#include "panes/PaneControls.h"
#include "panes/PaneLayout.h"

namespace {

struct SliderSetup {
  int id;
  ValueLimits<int> limits;
  const char* label;
  const char* name;
};
constexpr ValueLimits<int> kSoftnessSteps{static_cast<int>(MergeLimits::kSoftness.low),
                                          static_cast<int>(MergeLimits::kSoftness.high),
                                          static_cast<int>(MergeLimits::kSoftness.start)};
// the document's starting brush; the sliders are not read back from it
constexpr SliderSetup kBrushSliders[] = {
    {MergerId::kBrushSize, MergeLimits::kBrushSize, "brushSizeLabel", "Brush Size"},
    {MergerId::kSoftness, kSoftnessSteps, "softnessLabel", "Softness"},
    {MergerId::kOpacity, MergeLimits::kOpacity, "opacityLabel", "Opacity"},
};

}  // namespace

CPropertyDialog::CPropertyDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services) {
  setFont(PaneFont());
  m_units = BaseUnitsOf(font());
  CreateTemplateControls(this, MergerTemplate(), m_units);
  resize(DialogToPixels(kMergerTemplateSize, m_units));
  auto label = [this](const char* objectName) {
    return findChild<QLabel*>(QString::fromUtf8(objectName), Qt::FindDirectChildrenOnly);
  };

  QLineEdit* edit = EdgeBlurEdit();
  edit->setText(QString::number(m_services.edgeBlur));
  edit->setAccessibleName(QStringLiteral("Edge Blur value"));
  FindControlAs<CColorButton>(this, MergerId::kApplyMerge)->m_crColor = QColor(247, 230, 204);

  CBlackSlider* edgeBlur = Slider(MergerId::kEdgeBlur);
  edgeBlur->SetRange(MergeLimits::kEdgeBlur.low, MergeLimits::kEdgeBlur.high, 0);
  edgeBlur->SetPos(m_services.edgeBlur, 0);
  edgeBlur->setAccessibleName(QStringLiteral("Edge Blur"));
  if (QLabel* l = label("edgeBlurLabel")) l->setBuddy(edgeBlur);
  for (const SliderSetup& s : kBrushSliders) {
    CBlackSlider* slider = Slider(s.id);
    slider->m_bBarStyle = 1;
    slider->m_fDragScale = 1.0f;
    slider->SetRange(s.limits.low, s.limits.high, 0);
    slider->SetPos(s.limits.start, 0);
    slider->setAccessibleName(QString::fromUtf8(s.name));
    if (QLabel* l = label(s.label)) l->setBuddy(slider);
  }

  // the preview: a square at the placeholder's top-left, as wide as it
  QWidget* placeholder = Control(MergerId::kPreviewPlaceholder);
  placeholder->hide();
  const QRect place = placeholder->geometry();
  m_preview = new CImagePreviewWnd(this);
  m_preview->setProperty(kControlIdProperty, MergerId::kPreview);
  m_preview->setObjectName(QStringLiteral("preview"));
  m_preview->SetPreviewSize(place.width(), place.width());
  m_preview->setGeometry(place.x(), place.y(), place.width(), place.width());
  m_preview->show();

  // Match Colours shows the stored option; a change during a merge rebuilds
  // the blend at once, as an Edge Blur change does.
  auto* match = FindControlAs<QCheckBox>(this, MergerId::kMatchColours);
  match->setChecked(m_doc.MatchColoursOn());
  connect(match, &QCheckBox::toggled, this, [this](bool on) { m_doc.SetMatchColours(on); });

  connect(edit, &QLineEdit::textChanged, this,
          [this](const QString& text) { EdgeBlurTextChanged(text); });
  auto button = [this](int id) { return FindControlAs<QPushButton>(this, id); };
  connect(button(MergerId::kFill), &QPushButton::clicked, this, [this] { m_doc.FillMask(255); });
  connect(button(MergerId::kFillOpacity), &QPushButton::clicked, this,
          [this] { m_doc.FillMaskAtOpacity(Slider(MergerId::kOpacity)->GetPos()); });
  connect(button(MergerId::kInvert), &QPushButton::clicked, this, [this] { m_doc.InvertMask(); });
  connect(button(MergerId::kApplyMerge), &QPushButton::clicked, this,
          [this] { m_doc.ApplyMerge(); });
  connect(button(MergerId::kCancelMerge), &QPushButton::clicked, this,
          [this] { m_doc.CancelMerge(); });
}

QWidget* CPropertyDialog::Control(int id) const { return FindControl(this, id); }
CBlackSlider* CPropertyDialog::Slider(int id) const {
  return FindControlAs<CBlackSlider>(this, id);
}
QLineEdit* CPropertyDialog::EdgeBlurEdit() const {
  return FindControlAs<QLineEdit>(this, MergerId::kEdgeBlurEdit);
}

QSize CPropertyDialog::sizeHint() const { return DialogToPixels(kMergerTemplateSize, m_units); }

bool CPropertyDialog::event(QEvent* e) {
  if (e->type() != CSliderNotifyEvent::EventType()) return QWidget::event(e);
  const auto* notify = static_cast<CSliderNotifyEvent*>(e);
  if (CBlackSlider* slider = notify->slider) {
    const int id = slider->property(kControlIdProperty).toInt();
    if (id == MergerId::kEdgeBlur)
      EdgeBlurNotified(notify->code);
    else if (id == MergerId::kBrushSize || id == MergerId::kSoftness || id == MergerId::kOpacity)
      BrushNotified(notify->code);
  }
  return true;
}

void CPropertyDialog::BrushNotified(int code) {
  using Step = CQuiltorDoc::BrushStep;
  const bool done = code == CBlackSlider::TB_ENDTRACK;
  m_doc.SetBrush(Slider(MergerId::kBrushSize)->GetPos(), Slider(MergerId::kSoftness)->GetPos(),
                 Slider(MergerId::kOpacity)->GetPos(), done ? Step::Done : Step::Moving);
  if (!done && m_doc.m_merge == 1) emit RepaintViewNow();
}

void CPropertyDialog::EdgeBlurNotified(int code) {
  using Step = CQuiltorDoc::EdgeBlurStep;
  const int v = Slider(MergerId::kEdgeBlur)->GetPos();
  EdgeBlurEdit()->setText(QString::number(v));
  m_doc.SetEdgeBlur(v, code == CBlackSlider::TB_ENDTRACK ? Step::Done : Step::Moving);
}

void CPropertyDialog::EdgeBlurTextChanged(const QString& text) {
  const int v = ParseLeadingInteger(text);
  m_doc.SetEdgeBlur(v, CQuiltorDoc::EdgeBlurStep::Typed);
  // the slider follows without a notification; nothing is rebuilt until
  // the next merge rebuild
  Slider(MergerId::kEdgeBlur)->SetPos(v, 0);
}

void CPropertyDialog::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ControlRects rects = ControlGeometry(this);
  LayoutMerger(rects, width());
  ApplyControlGeometry(this, rects);
  // As tall as the controls and the preview square at this width: a shorter
  // pane scrolls instead of cutting them off.
  if (m_preview) setMinimumHeight(m_preview->geometry().bottom() + 1 + m_units.y);
}

void CPropertyDialog::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape would be the dialog's OK and Cancel: ignored, so the
  // pane's content cannot end itself
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QWidget::keyPressEvent(event);
  }
}

void CPropertyDialog::closeEvent(QCloseEvent* event) { event->ignore(); }
