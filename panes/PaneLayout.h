// The resize rules of the two pane dialogs, on control rectangles keyed by
// control id. Each rule keeps a control's top and height; right edges are
// exclusive, as the rules state them. Widget-free.
#pragma once

#include <QRect>
#include <map>

using ControlRects = std::map<int, QRect>;

// Slicer dialog resized to cx × cy.
// The Slicer pane is never made shorter than its controls and this many rows
// of the history below them; a shorter dock scrolls it.
inline constexpr int kHistoryMinimumRows = 5;
int SlicerMinimumHeight(int historyTop, int rowHeight, int frameWidth);

void LayoutSlicer(ControlRects& rects, int cx, int cy);
// Merger dialog resized to width cx.
void LayoutMerger(ControlRects& rects, int cx);

// The edge blur edit's text as a number: leading white space, one sign, the
// digits up to the first other character; no digits give 0. Saturates at the
// int range.
int ParseLeadingInteger(QStringView text);
