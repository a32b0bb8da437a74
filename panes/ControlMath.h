// Arithmetic of the dark slider and the colour button, kept widget-free:
// value under a point, drag, wrap-around, thumb and value-line positions,
// the rib phase, and the colour steps of both controls.
#pragma once

#include <QColor>

// Key moves wrap inside min..max: below min they rise by the range width,
// above max they fall by it.
int WrapIntoRange(int value, int min, int max);

// Track look: the value under client x of a control width wide, limited to
// min..max + 1 (the caller's move limits it to max).
int TrackValueAtX(int x, int width, int min, int max);
// Track look: left edge of the thumb for pos (limited to the range).
int TrackThumbLeft(int pos, int width, int min, int max);
// Bar look: the value after dragging from downX to x, before limiting; the
// whole range per control width, times scale.
int BarDragValue(int x, int downX, int startPos, int width, int min, int max, float scale);
// Bar look: column of the red value line.
int BarValueLine(int pos, int width, int min, int max);
// Bar look: rib phase, -9..9, following the mouse during a drag.
int RibPhase(int downX, int lastX);

// A gradient's colour at offset within extent (at least 1): start at 0,
// towards end, each channel converted to an integer and limited to 255.
QColor GradientColor(const QColor& start, const QColor& end, int offset, int extent);

// Colour button steps per channel, truncating: lighten by percent moves
// towards white, darken to percent scales down.
QColor Lighten(const QColor& color, int percent);
QColor Darken(const QColor& color, int percent);
