// Match Colours: the returned slice's colours moved onto those of the square
// it replaces, so that a slice whose colours img2img shifted does not show as
// a patch.
#include "document/QuiltorDoc.h"

bool CQuiltorDoc::MatchColoursOn() const {
  if (m_matchColours < 0)
    m_matchColours = ReadSetting(m_services.settings, Settings::kMatchColours) ? 1 : 0;
  return m_matchColours == 1;
}

void CQuiltorDoc::SetMatchColours(bool on) {
  m_matchColours = on ? 1 : 0;
  WriteSetting(m_services.settings, Settings::kMatchColours, m_matchColours);
  RefreshMerge();
}
