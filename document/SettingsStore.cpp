#include "document/SettingsStore.h"

#include <QSettings>

namespace {
QString Key(const QString& section, const QString& entry) { return section + u'/' + entry; }
QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvandel"),
                   QStringLiteral("Quiltor"));
}
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

QString ReadSetting(const CSettingsStore& store, const SettingsValue<QString>& value,
                    const QString& defaultValue) {
  return store.GetProfileString(QLatin1StringView(value.section), QLatin1StringView(value.entry),
                                defaultValue);
}

void WriteSetting(CSettingsStore& store, const SettingsValue<QString>& value, const QString& text) {
  store.WriteProfileString(QLatin1StringView(value.section), QLatin1StringView(value.entry), text);
}

int ReadSetting(const CSettingsStore& store, const SettingsValue<int>& value, int defaultValue) {
  return store.GetProfileInt(QLatin1StringView(value.section), QLatin1StringView(value.entry),
                             defaultValue);
}

void WriteSetting(CSettingsStore& store, const SettingsValue<int>& value, int number) {
  store.WriteProfileInt(QLatin1StringView(value.section), QLatin1StringView(value.entry), number);
}
