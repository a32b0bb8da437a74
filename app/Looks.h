// The application looks of View > Application Look. Each id keeps its menu
// text and stored value; on this platform every look is the Fusion style with
// a palette of its own (the Windows visual managers have no Qt counterpart).
#pragma once

#include <QPalette>
#include <QString>

struct LookEntry {
  int id;
  const char* menuText;  // empty for 219, which has no menu entry
  bool inOffice2007Menu;
};

// The ids with their menu texts, in menu order, then 219.
const LookEntry* LookTable(int* count);
bool IsKnownLook(int id);
// The look actually shown for id: the id itself when it is one of the
// table's, else the Office 2007 style last chosen (blue when none was).
int EffectiveLook(int id, int currentOffice2007Style);
bool IsOffice2007Style(int id);
// The palette of a shown look (EffectiveLook's result).
QPalette LookPalette(int effectiveLook);
