#include "document/SettingsStore.h"

#include <QSettings>
#include <cmath>

namespace {
QString Key(const QString& section, const QString& entry) { return section + u'/' + entry; }
QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvandel"),
                   QStringLiteral("Quiltor"));
}
QLatin1StringView Section(const auto& value) { return QLatin1StringView(value.section); }
QLatin1StringView Entry(const auto& value) { return QLatin1StringView(value.entry); }
}  // namespace

QString CSettingsStore::GetProfileString(const QString& section, const QString& entry,
                                         const QString& defaultValue) const {
  QVariant v = Store().value(Key(section, entry));
  return v.isValid() ? v.toString() : defaultValue;
}

void CSettingsStore::WriteProfileString(const QString& section, const QString& entry,
                                        const QString& value) {
  Store().setValue(Key(section, entry), value);
}

int CSettingsStore::GetProfileInt(const QString& section, const QString& entry,
                                  int defaultValue) const {
  QVariant v = Store().value(Key(section, entry));
  bool ok = false;
  int i = v.toInt(&ok);
  return v.isValid() && ok ? i : defaultValue;
}

void CSettingsStore::WriteProfileInt(const QString& section, const QString& entry, int value) {
  Store().setValue(Key(section, entry), value);
}

QByteArray CSettingsStore::GetProfileBinary(const QString& section, const QString& entry) const {
  return Store().value(Key(section, entry)).toByteArray();
}

void CSettingsStore::WriteProfileBinary(const QString& section, const QString& entry,
                                        const QByteArray& value) {
  Store().setValue(Key(section, entry), value);
}

QString ReadSetting(const CSettingsStore& store, const SettingsValue<QString>& value,
                    const QString& defaultValue) {
  return store.GetProfileString(Section(value), Entry(value), defaultValue);
}

void WriteSetting(CSettingsStore& store, const SettingsValue<QString>& value, const QString& text) {
  store.WriteProfileString(Section(value), Entry(value), text);
}

int ReadSetting(const CSettingsStore& store, const SettingsValue<int>& value, int defaultValue) {
  return store.GetProfileInt(Section(value), Entry(value), defaultValue);
}

void WriteSetting(CSettingsStore& store, const SettingsValue<int>& value, int number) {
  store.WriteProfileInt(Section(value), Entry(value), number);
}

// Fractions are stored as text: the store keeps only strings and integers.
double ReadSetting(const CSettingsStore& store, const SettingsValue<double>& value,
                   double defaultValue) {
  bool ok = false;
  const double v = store.GetProfileString(Section(value), Entry(value), QString()).toDouble(&ok);
  return ok && std::isfinite(v) ? v : defaultValue;
}

void WriteSetting(CSettingsStore& store, const SettingsValue<double>& value, double number) {
  store.WriteProfileString(Section(value), Entry(value), QString::number(number));
}

QByteArray ReadSetting(const CSettingsStore& store, const SettingsValue<QByteArray>& value) {
  return store.GetProfileBinary(Section(value), Entry(value));
}

void WriteSetting(CSettingsStore& store, const SettingsValue<QByteArray>& value,
                  const QByteArray& bytes) {
  store.WriteProfileBinary(Section(value), Entry(value), bytes);
}
