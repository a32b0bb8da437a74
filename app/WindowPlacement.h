// Where the main window and its panes go on the screen it is shown on, free of
// widgets: a restored placement brought inside the available area, the first
// start's size, and the side panes giving way so that the image view keeps a
// usable size on a small screen.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

namespace placement {

// The smallest image view (logical pixels) the panes give way to.
inline constexpr int kMinViewWidth = 400;
inline constexpr int kMinViewHeight = 300;

// A window rectangle moved and, where it is larger, shrunk into available.
QRect ClampToArea(const QRect& window, const QRect& available);
// The first start: wanted, at most 90 % of available on each side, centred.
QRect FirstStart(QSize wanted, const QRect& available);
// New sizes (along one axis) of the docks beside a centre of size centre so
// that it reaches minCentre: the missing room is taken from the docks in
// proportion to what each holds above its minimum, never below it. Sizes
// come back unchanged when the centre is large enough.
std::vector<int> ShrinkDocks(int centre, int minCentre, const std::vector<int>& sizes,
                             const std::vector<int>& minimums);

}  // namespace placement
