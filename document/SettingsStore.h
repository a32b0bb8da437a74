// Per-user settings: QSettings under organisation "Orvandel", application
// "Quiltor"; the sections are groups. Each value carries its section, key and
// default in one place.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <type_traits>

#include "document/MergeLimits.h"

class CSettingsStore {
 public:
  QString GetProfileString(const QString& section, const QString& entry,
                           const QString& defaultValue) const;
  void WriteProfileString(const QString& section, const QString& entry, const QString& value);
  int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
  void WriteProfileInt(const QString& section, const QString& entry, int value);
  // Empty when the entry is missing.
  QByteArray GetProfileBinary(const QString& section, const QString& entry) const;
  void WriteProfileBinary(const QString& section, const QString& entry, const QByteArray& value);
};

// Texts and bytes can't be constants: their default is given as UTF-8 text,
// none (null) giving a null string or empty bytes.
template <class T>
struct SettingsDefault {
  using Type = T;
};
template <>
struct SettingsDefault<QString> {
  using Type = const char*;
};
template <>
struct SettingsDefault<QByteArray> {
  using Type = const char*;
};

// A typed setting: int, double (kept as text), QString or QByteArray.
template <class T>
struct SettingsValue {
  const char* section;
  const char* entry;
  typename SettingsDefault<T>::Type defaultValue{};
};

// Typed access: the section, entry and default come from the value's
// declaration, so every reader and writer spells them the same way (the store
// is case-sensitive on this platform). The three-argument reads are for a
// default only known when reading (a folder of this user, an earlier value).
// A stored value of the wrong type reads as the default.
QString ReadSetting(const CSettingsStore& store, const SettingsValue<QString>& value,
                    const QString& defaultValue);
int ReadSetting(const CSettingsStore& store, const SettingsValue<int>& value, int defaultValue);
double ReadSetting(const CSettingsStore& store, const SettingsValue<double>& value,
                   double defaultValue);
void WriteSetting(CSettingsStore& store, const SettingsValue<QString>& value, const QString& text);
void WriteSetting(CSettingsStore& store, const SettingsValue<int>& value, int number);
void WriteSetting(CSettingsStore& store, const SettingsValue<double>& value, double number);
QByteArray ReadSetting(const CSettingsStore& store, const SettingsValue<QByteArray>& value);
void WriteSetting(CSettingsStore& store, const SettingsValue<QByteArray>& value,
                  const QByteArray& bytes);

template <class T>
T ReadSetting(const CSettingsStore& store, const SettingsValue<T>& value) {
  if constexpr (std::is_same_v<T, QString>)
    return ReadSetting(store, value,
                       value.defaultValue ? QString::fromUtf8(value.defaultValue) : QString());
  else
    return ReadSetting(store, value, value.defaultValue);
}

namespace Settings {
inline constexpr SettingsValue<QString> kSlicePath{"Settings", "Path"};
inline constexpr SettingsValue<QString> kImportPath{"Settings", "ImportPath"};
inline constexpr SettingsValue<QString> kImportRoot{"Settings", "ImportRoot"};
inline constexpr SettingsValue<int> kAutoSendToClipboard{"Settings", "AutoSendToClipboard", 1};
inline constexpr int kAutoSendToClipboardDefault = kAutoSendToClipboard.defaultValue;
// The memory the undo steps may hold; the oldest go first beyond it.
inline constexpr SettingsValue<int> kUndoBudgetMB{"Settings", "UndoBudgetMB", 1024};
inline constexpr int kUndoBudgetMBDefault = kUndoBudgetMB.defaultValue;
inline constexpr SettingsValue<int> kMatchColours{"Settings", "MatchColours", 0};
inline constexpr SettingsValue<int> kAutoImport{"Settings", "AutoImport", 0};
inline constexpr SettingsValue<int> kZoomToSliceWhenMerging{"Settings", "ZoomToSliceWhenMerging",
                                                            0};
inline constexpr SettingsValue<int> kShowCoverage{"Settings", "ShowCoverage", 0};
inline constexpr SettingsValue<QString> kOpenFolder{"Document", "Path"};
inline constexpr SettingsValue<QString> kSaveFolder{"Document", "outPath"};
inline constexpr SettingsValue<QString> kShadowFolder{"Document", "Path2"};
inline constexpr SettingsValue<int> kApplicationLook{"Workspace", "ApplicationLook", 210};
inline constexpr int kApplicationLookDefault = kApplicationLook.defaultValue;
// The framework's record of the window placement and the pane layout.
inline constexpr SettingsValue<QByteArray> kWindowGeometry{"Workspace", "Geometry"};
inline constexpr SettingsValue<QByteArray> kWindowState{"Workspace", "State"};
}  // namespace Settings

// Application-wide services the document uses: the settings store and the
// edge blur (its start value at every start, never stored).
struct CQuiltorServices {
  CSettingsStore settings;
  int edgeBlur = MergeLimits::kEdgeBlur.start;
};
