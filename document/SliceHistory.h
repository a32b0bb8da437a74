// The Slicer's history entries: exported slice names read back into a slice
// place. Kept apart from the list widget so the rules are tested on their own.
#pragma once

#include <QString>
#include <QStringView>

class CQuiltorDoc;

// A place read from "slice_%03d_(%d,%d,%d,%d).png" or
// "rotate_%03d_(%d,%d,%d,%d,%d).png".
struct SliceHistoryPlace {
  bool rotating = false;  // the prefix was exactly "rotate"
  int fields = 0;         // integers read; 4 (5 when rotating) for a full place
  int x = 0, y = 0, width = 0, height = 0, angle = 0;
  bool Complete() const { return fields == (rotating ? 5 : 4); }
};

// Reads integers from text as sscanf does with a pattern made of literal
// characters and "%d" (white space in the pattern matches any run of white
// space, "%d" skips leading white space and takes one sign). Values beyond the
// int range saturate. Returns how many were read before the first mismatch.
int ScanIntegers(QStringView text, QStringView pattern, int* values, int capacity);

// The prefix before the first "_(" cut at its last "_", the text from that
// "(" cut at its first ".", then the rotating or the axis-aligned pattern.
SliceHistoryPlace ParseSliceHistoryName(const QString& name);

// The history list's selection: while the slice is unlocked, places the slice
// the name describes (Place Slice or Place Rotated Slice); a name that does
// not give every number places nothing. Returns whether a place was called.
bool PlaceFromHistory(CQuiltorDoc& doc, const QString& name);

// The history list's double-click: the selection handling, then the slice is
// locked without a log line, so the next import returns to that place.
void LockFromHistory(CQuiltorDoc& doc, const QString& name);
