#include "panes/PaneControls.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "panes/BlackSlider.h"
#include "panes/ColorButton.h"

namespace {

QWidget* MakeDefault(const TemplateControl& c, QWidget* parent) {
  const QString caption = QString::fromUtf8(c.caption);
  switch (c.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::Button:
    case ControlKind::ColorButton: {
      // A click leaves the focus where it was, so that Space (the shadow
      // view) never presses a button by accident; Tab still reaches it.
      QPushButton* button = c.kind == ControlKind::Button ? new QPushButton(caption, parent)
                                                          : new CColorButton(caption, parent);
      button->setFocusPolicy(Qt::TabFocus);
      return button;
    }
    case ControlKind::Edit: return new QLineEdit(caption, parent);
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      return list;
    }
    case ControlKind::BarSlider:
    case ControlKind::TrackSlider: {
      auto* slider = new CBlackSlider(parent);
      slider->m_bBarStyle = c.kind == ControlKind::BarSlider ? 1 : 0;
      return slider;
    }
    case ControlKind::CheckBox: return new QCheckBox(caption, parent);
    case ControlKind::Frame: {
      auto* frame = new QFrame(parent);
      frame->setFrameShape(QFrame::Box);
      return frame;
    }
  }
  return nullptr;
}

}  // namespace

void CreateTemplateControls(QWidget* dialog, std::span<const TemplateControl> controls,
                            DialogBaseUnits units,
                            const std::function<QWidget*(const TemplateControl&)>& custom) {
  for (const TemplateControl& c : controls) {
    QWidget* w = custom ? custom(c) : nullptr;
    if (!w) w = MakeDefault(c, dialog);
    if (!w) continue;
    w->setObjectName(QString::fromUtf8(c.objectName));
    if (c.id != kNoId) w->setProperty(kControlIdProperty, c.id);
    w->setGeometry(DialogToPixels(QRect(c.x, c.y, c.width, c.height), units));
  }
}

QWidget* FindControl(const QWidget* dialog, int id) {
  for (QObject* child : dialog->children()) {
    if (!child->isWidgetType()) continue;
    const QVariant v = child->property(kControlIdProperty);
    if (v.isValid() && v.toInt() == id) return static_cast<QWidget*>(child);
  }
  return nullptr;
}

ControlRects ControlGeometry(const QWidget* dialog) {
  ControlRects rects;
  for (QObject* child : dialog->children()) {
    if (!child->isWidgetType()) continue;
    const QVariant v = child->property(kControlIdProperty);
    if (v.isValid()) rects[v.toInt()] = static_cast<QWidget*>(child)->geometry();
  }
  return rects;
}

void ApplyControlGeometry(QWidget* dialog, const ControlRects& rects) {
  for (const auto& [id, rect] : rects)
    if (QWidget* w = FindControl(dialog, id)) w->setGeometry(rect);
}
