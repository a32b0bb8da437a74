#include "document/SliceHistory.h"

#include <climits>

#include "document/QuiltorDoc.h"

namespace {

bool IsSpace(QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// One "%d": white space, an optional sign, at least one digit.
bool ScanOne(QStringView text, qsizetype& at, int& value) {
  qsizetype i = at;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  const qsizetype digits = i;
  long long magnitude = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1)
      magnitude = magnitude * 10 + (text[i].unicode() - u'0');
    ++i;
  }
  if (i == digits) return false;
  const long long limit = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
  if (magnitude > limit) magnitude = limit;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  at = i;
  return true;
}

}  // namespace

int ScanIntegers(QStringView text, QStringView pattern, int* values, int capacity) {
  int count = 0;
  qsizetype at = 0;
  for (qsizetype p = 0; p < pattern.size(); ++p) {
    const QChar c = pattern[p];
    if (c == u'%' && p + 1 < pattern.size() && pattern[p + 1] == u'd') {
      ++p;
      if (count >= capacity || !ScanOne(text, at, values[count])) return count;
      ++count;
    } else if (IsSpace(c)) {
      while (at < text.size() && IsSpace(text[at])) ++at;
    } else {
      if (at >= text.size() || text[at] != c) return count;
      ++at;
    }
  }
  return count;
}

SliceHistoryPlace ParseSliceHistoryName(const QString& name) {
  QString prefix;
  QString text = name;
  const qsizetype open = name.indexOf(QStringLiteral("_("));
  if (open >= 0) {
    prefix = name.left(open);
    const qsizetype underscore = prefix.lastIndexOf(QLatin1Char('_'));
    if (underscore >= 0) prefix.truncate(underscore);
    text = name.mid(open + 1);
  }
  const qsizetype dot = text.indexOf(QLatin1Char('.'));
  if (dot >= 0) text.truncate(dot);

  SliceHistoryPlace place;
  int v[5] = {0, 0, 0, 0, 0};
  if (prefix == QStringLiteral("rotate")) {
    place.rotating = true;
    place.fields = ScanIntegers(text, u"(%d,%d,%d,%d,%d)", v, 5);
  } else {
    place.fields = ScanIntegers(text, u"(%d,%d,%d,%d)", v, 4);
  }
  place.x = v[0];
  place.y = v[1];
  place.width = v[2];
  place.height = v[3];
  place.angle = v[4];
  return place;
}

bool PlaceFromHistory(CQuiltorDoc& doc, const QString& name) {
  if (doc.m_locked) return false;
  const SliceHistoryPlace place = ParseSliceHistoryName(name);
  if (!place.Complete()) return false;
  if (place.rotating)
    doc.PlaceRotatedSlice(place.x, place.y, place.width, place.height, place.angle);
  else
    doc.PlaceSlice(place.x, place.y, place.width, place.height);
  return true;
}

void LockFromHistory(CQuiltorDoc& doc, const QString& name) {
  PlaceFromHistory(doc, name);
  doc.m_locked = 1;
}
