#include "app/Looks.h"

#include <iterator>

#include "app/CommandIds.h"

namespace {
// Menu order: 205..210, then the "Office 200&7" submenu with 215..218;
// 219 (Windows 7) is reachable only through the stored value.
constexpr LookEntry kLooks[] = {
    {Cmd::kLookWin2000, "Windows &2000", false},
    {Cmd::kLookOfficeXP, "Office &XP", false},
    {Cmd::kLookWindowsXP, "&Windows XP", false},
    {Cmd::kLookOffice2003, "Office 200&3", false},
    {Cmd::kLookVS2005, "Visual Studio 200&5", false},
    {Cmd::kLookVS2008, "Visual Studio 200&8", false},
    {Cmd::kLookOffice2007Blue, "&Blue Style", true},
    {Cmd::kLookOffice2007Black, "B&lack Style", true},
    {Cmd::kLookOffice2007Silver, "&Silver Style", true},
    {Cmd::kLookOffice2007Aqua, "&Aqua Style", true},
    {Cmd::kLookWindows7, "", false},
};

// One light palette from a window colour, a base colour and a highlight; the
// highlight is dark enough for white text at 4.5:1 (WCAG AA).
QPalette Light(QColor window, QColor base, QColor button, QColor highlight) {
  QPalette p(button, window);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window.lighter(104));
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
  p.setColor(QPalette::ToolTipText, Qt::black);
  p.setColor(QPalette::Text, Qt::black);
  p.setColor(QPalette::WindowText, Qt::black);
  p.setColor(QPalette::ButtonText, Qt::black);
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
  return p;
}

// Neutral greys without a colour cast, so that the picture is judged by itself.
QPalette Dark() {
  QPalette p(QColor(58, 58, 58), QColor(45, 45, 45));
  p.setColor(QPalette::Base, QColor(30, 30, 30));
  p.setColor(QPalette::AlternateBase, QColor(40, 40, 40));
  p.setColor(QPalette::Text, QColor(220, 220, 220));
  p.setColor(QPalette::WindowText, QColor(220, 220, 220));
  p.setColor(QPalette::ButtonText, QColor(220, 220, 220));
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, QColor(90, 90, 90));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
  p.setColor(QPalette::ToolTipText, QColor(220, 220, 220));
  p.setColor(QPalette::Link, QColor(140, 180, 230));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  return p;
}
}  // namespace

const LookEntry* LookTable(int* count) {
  *count = static_cast<int>(std::size(kLooks));
  return kLooks;
}

bool IsKnownLook(int id) {
  for (const LookEntry& e : kLooks)
    if (e.id == id) return true;
  return false;
}

bool IsOffice2007Style(int id) {
  return id >= Cmd::kLookOffice2007Blue && id <= Cmd::kLookOffice2007Aqua;
}

int EffectiveLook(int id, int currentOffice2007Style) {
  if (IsKnownLook(id)) return id;
  return IsOffice2007Style(currentOffice2007Style) ? currentOffice2007Style
                                                   : Cmd::kLookOffice2007Blue;
}

// The look table: id -> palette (all on the Fusion style).
//   205 Windows 2000        classic grey
//   206 Office XP           light grey with a violet-blue highlight
//   207 Windows XP          Fusion's own standard palette
//   208 Office 2003         pale blue
//   209 Visual Studio 2005  warm beige
//   210 Visual Studio 2008  light neutral with a blue highlight (default)
//   215 Office 2007 blue    light blue
//   216 Office 2007 black   neutral dark greys, for judging pictures
//   217 Office 2007 silver  silver grey
//   218 Office 2007 aqua    light aqua
//   219 Windows 7           white with a pale blue highlight
QPalette LookPalette(int look) {
  switch (look) {
    case Cmd::kLookWin2000:
      return Light(QColor(212, 208, 200), Qt::white, QColor(212, 208, 200), QColor(10, 36, 106));
    case Cmd::kLookOfficeXP:
      return Light(QColor(236, 233, 230), Qt::white, QColor(224, 222, 218), QColor(49, 106, 197));
    case Cmd::kLookWindowsXP:
      return Light(QColor(239, 239, 239), Qt::white, QColor(239, 239, 239), QColor(49, 106, 197));
    case Cmd::kLookOffice2003:
      return Light(QColor(221, 236, 254), Qt::white, QColor(196, 218, 250), QColor(49, 106, 197));
    case Cmd::kLookVS2005:
      return Light(QColor(236, 233, 216), Qt::white, QColor(226, 222, 205), QColor(49, 106, 197));
    case Cmd::kLookVS2008:
      return Light(QColor(240, 240, 240), Qt::white, QColor(233, 236, 238), QColor(0, 102, 204));
    case Cmd::kLookOffice2007Blue:
      return Light(QColor(213, 228, 242), Qt::white, QColor(191, 219, 255), QColor(62, 106, 170));
    case Cmd::kLookOffice2007Black: return Dark();
    case Cmd::kLookOffice2007Silver:
      return Light(QColor(229, 232, 237), Qt::white, QColor(208, 212, 221), QColor(92, 103, 122));
    case Cmd::kLookOffice2007Aqua:
      return Light(QColor(216, 236, 239), Qt::white, QColor(190, 224, 230), QColor(30, 110, 130));
    case Cmd::kLookWindows7:
      return Light(QColor(245, 246, 247), Qt::white, QColor(235, 238, 242), QColor(0, 102, 204));
    default:
      return Light(QColor(213, 228, 242), Qt::white, QColor(191, 219, 255), QColor(62, 106, 170));
  }
}
