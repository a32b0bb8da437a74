// Builds a pane dialog's controls from its template and moves them by id.
#pragma once

#include <QWidget>
#include <functional>
#include <span>

#include "panes/DialogTemplate.h"
#include "panes/PaneLayout.h"

// The property that carries a control's template id.
inline constexpr const char* kControlIdProperty = "controlId";

// Creates every control of the template as a child of dialog at its template
// rectangle in pixels, with its caption, id and object name. custom may make
// a control itself (return nullptr for the default kind).
void CreateTemplateControls(QWidget* dialog, std::span<const TemplateControl> controls,
                            DialogBaseUnits units,
                            const std::function<QWidget*(const TemplateControl&)>& custom = {});

// The child of dialog with the given template id, or nullptr.
QWidget* FindControl(const QWidget* dialog, int id);
template <class T>
T* FindControlAs(const QWidget* dialog, int id) {
  return qobject_cast<T*>(FindControl(dialog, id));
}

// The geometry of every child that has an id, and its application back.
ControlRects ControlGeometry(const QWidget* dialog);
void ApplyControlGeometry(QWidget* dialog, const ControlRects& rects);
