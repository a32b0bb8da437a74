#include "document/ReturnedName.h"

#include <QStringView>
#include <cstdint>

namespace {

// One whole number at pos, with an optional minus; its magnitude stays
// below kReturnedNameLimit so that a huge number is no match, not a wrap.
bool ReadInt(QStringView s, qsizetype& pos, bool allowSign, int& value) {
  bool negative = false;
  if (allowSign && pos < s.size() && s[pos] == u'-') {
    negative = true;
    ++pos;
  }
  const qsizetype start = pos;
  int64_t v = 0;
  while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9') {
    v = v * 10 + (s[pos].unicode() - u'0');
    if (v > kReturnedNameLimit) return false;
    ++pos;
  }
  if (pos == start) return false;
  value = static_cast<int>(negative ? -v : v);
  return true;
}

bool Expect(QStringView s, qsizetype& pos, QStringView text) {
  if (!s.mid(pos).startsWith(text)) return false;
  pos += text.size();
  return true;
}

// The name from pos, just after its "slice_" or "rotate_".
bool ReadPlace(QStringView s, qsizetype pos, bool rotating, ReturnedName& out) {
  ReturnedName n;
  n.rotating = rotating;
  if (!ReadInt(s, pos, false, n.number) || !Expect(s, pos, u"_(")) return false;
  int* fields[] = {&n.x, &n.y, &n.width, &n.height, &n.angle};
  const int count = rotating ? 5 : 4;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !Expect(s, pos, u",")) return false;
    const bool side = i == 2 || i == 3;
    if (!ReadInt(s, pos, !side, *fields[i])) return false;
    if (side && *fields[i] < 1) return false;
  }
  if (!Expect(s, pos, u")")) return false;
  n.valid = true;
  out = n;
  return true;
}

}  // namespace

ReturnedName ParseReturnedName(const QString& path) {
  const QStringView name = QStringView(path).mid(path.lastIndexOf(u'/') + 1);
  ReturnedName found;
  qsizetype foundAt = -1;
  for (const auto& [prefix, rotating] :
       {std::pair{QStringView(u"slice_"), false}, std::pair{QStringView(u"rotate_"), true}}) {
    for (qsizetype at = name.lastIndexOf(prefix); at > foundAt;
         at = name.lastIndexOf(prefix, at - 1)) {
      ReturnedName n;
      if (ReadPlace(name, at + prefix.size(), rotating, n)) {
        found = n;
        foundAt = at;
        break;
      }
      if (at == 0) break;
    }
  }
  return found;
}
