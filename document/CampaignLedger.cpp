#include "document/CampaignLedger.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>

namespace {
constexpr int kVersion = 1;

QString Time(const QDateTime& t) { return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString(); }
}  // namespace

QString CCampaignLedger::PathFor(const QString& picturePath) {
  QString base = QFileInfo(picturePath).completeBaseName();
  static const QRegularExpression numbered(QStringLiteral("_\\d{4}$"));
  base.remove(numbered);
  return picturePath.left(picturePath.lastIndexOf(u'/') + 1) + base +
         QStringLiteral(".quiltor.json");
}

void CCampaignLedger::Open(const QString& picturePath, int width, int height, const LogLine& log) {
  Close();
  m_path = PathFor(picturePath);
  m_picture = QFileInfo(picturePath).fileName();
  m_width = width;
  m_height = height;
  QFile file(m_path);
  if (!file.exists()) return;
  if (file.open(QIODevice::ReadOnly) && Read(file.readAll())) return;
  file.close();
  m_slices.clear();
  const QString aside = m_path + QStringLiteral(".broken");
  QFile::remove(aside);
  if (QFile::rename(m_path, aside))
    log(QStringLiteral("Ledger can't be read, set aside: ") + aside);
  else
    log(QStringLiteral("Ledger can't be read: ") + m_path);
}

void CCampaignLedger::Close() {
  m_path.clear();
  m_slices.clear();
}

bool CCampaignLedger::Read(const QByteArray& bytes) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
  const QJsonObject root = doc.object();
  if (root.value(QStringLiteral("version")).toInt() != kVersion ||
      !root.value(QStringLiteral("slices")).isArray())
    return false;
  for (const QJsonValue& v : root.value(QStringLiteral("slices")).toArray()) {
    if (!v.isObject()) return false;
    const QJsonObject o = v.toObject();
    const QJsonArray square = o.value(QStringLiteral("square")).toArray();
    LedgerSlice s;
    s.file = o.value(QStringLiteral("file")).toString();
    if (s.file.isEmpty() || square.size() != 4) return false;
    s.x = square[0].toInt();
    s.y = square[1].toInt();
    s.width = square[2].toInt();
    s.height = square[3].toInt();
    s.rotating = o.value(QStringLiteral("rotating")).toBool();
    s.angle = o.value(QStringLiteral("angle")).toInt();
    s.zoom = o.value(QStringLiteral("zoom")).toInt(1);
    s.exported =
        QDateTime::fromString(o.value(QStringLiteral("exported")).toString(), Qt::ISODateWithMs);
    s.merged =
        QDateTime::fromString(o.value(QStringLiteral("merged")).toString(), Qt::ISODateWithMs);
    s.returned = o.value(QStringLiteral("returned")).toString();
    m_slices.push_back(s);
  }
  return true;
}

void CCampaignLedger::Write() const {
  QJsonArray slices;
  for (const LedgerSlice& s : m_slices) {
    QJsonObject o{{QStringLiteral("file"), s.file},
                  {QStringLiteral("square"), QJsonArray{s.x, s.y, s.width, s.height}},
                  {QStringLiteral("rotating"), s.rotating},
                  {QStringLiteral("angle"), s.angle},
                  {QStringLiteral("zoom"), s.zoom},
                  {QStringLiteral("exported"), Time(s.exported)}};
    if (s.merged.isValid()) {
      o.insert(QStringLiteral("merged"), Time(s.merged));
      o.insert(QStringLiteral("returned"), s.returned);
    }
    slices.append(o);
  }
  const QJsonObject root{{QStringLiteral("version"), kVersion},
                         {QStringLiteral("picture"), m_picture},
                         {QStringLiteral("width"), m_width},
                         {QStringLiteral("height"), m_height},
                         {QStringLiteral("slices"), slices}};
  // A new file renamed over the old one: a kill leaves one or the other.
  QSaveFile file(m_path);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QJsonDocument(root).toJson());
  file.commit();
}

namespace {
struct Frame {
  double cx, cy, c, s, hw, hh;
};
Frame FrameOf(const LedgerSlice& q) {
  const double theta = (q.rotating ? q.angle : 0) * 3.14159265358979323846 / 180.0;
  return {q.x + q.width / 2.0, q.y + q.height / 2.0, std::cos(theta),
          std::sin(theta),     q.width / 2.0,        q.height / 2.0};
}
}  // namespace

std::array<QPointF, 4> LedgerSlice::Corners() const {
  const Frame f = FrameOf(*this);
  std::array<QPointF, 4> corners;
  const double us[] = {-f.hw, f.hw, f.hw, -f.hw}, vs[] = {-f.hh, -f.hh, f.hh, f.hh};
  for (size_t i = 0; i < 4; ++i)
    corners[i] = QPointF(f.cx + us[i] * f.c - vs[i] * f.s, f.cy + us[i] * f.s + vs[i] * f.c);
  return corners;
}

bool LedgerSlice::Contains(QPointF p) const {
  const Frame f = FrameOf(*this);
  const double dx = p.x() - f.cx, dy = p.y() - f.cy;
  const double u = dx * f.c + dy * f.s, v = -dx * f.s + dy * f.c;
  return std::abs(u) <= f.hw && std::abs(v) <= f.hh;
}

const LedgerSlice* CCampaignLedger::SliceAt(QPointF point) const {
  for (auto it = m_slices.rbegin(); it != m_slices.rend(); ++it)
    if (it->Contains(point)) return &*it;
  return nullptr;
}

QStringList CCampaignLedger::HistoryNames() const {
  QStringList names;
  for (const LedgerSlice& s : m_slices)
    names << (s.merged.isValid() ? s.file + QStringLiteral(" \u2713") : s.file);
  return names;
}

void CCampaignLedger::NoteExport(const LedgerSlice& slice) {
  if (!IsOpen()) return;
  m_slices.push_back(slice);
  if (!m_slices.back().exported.isValid()) m_slices.back().exported = QDateTime::currentDateTime();
  Write();
}

void CCampaignLedger::NoteMerged(const LedgerSlice& square, const QString& returned) {
  if (!IsOpen()) return;
  LedgerSlice* target = nullptr;
  for (auto it = m_slices.rbegin(); it != m_slices.rend(); ++it) {
    if (!it->SameSquare(square)) continue;
    if (!it->merged.isValid()) {
      target = &*it;
      break;
    }
    if (!target) target = &*it;
  }
  if (!target) return;  // a square that was never exported here
  target->merged = QDateTime::currentDateTime();
  target->returned = returned.isEmpty() ? returned : QFileInfo(returned).absoluteFilePath();
  Write();
}
