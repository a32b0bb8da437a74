// Per-user settings: QSettings under organisation "Orvandel", application
// "Quiltor"; the sections are groups. Each value carries its section, key and
// default in one place.
#pragma once

#include <QString>
#include <QVariant>

class CSettingsStore {
 public:
  QString GetProfileString(const QString& section, const QString& entry,
                           const QString& defaultValue) const;
  void WriteProfileString(const QString& section, const QString& entry, const QString& value);
  int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
  void WriteProfileInt(const QString& section, const QString& entry, int value);
};

// Typed settings of the application.
template <class T>
struct SettingsValue {
  const char* section;
  const char* entry;
};

// Typed access: the section and entry come from the value's declaration, so
// every reader and writer spells them the same way (the store is
// case-sensitive on this platform).
QString ReadSetting(const CSettingsStore& store, const SettingsValue<QString>& value,
                    const QString& defaultValue = QString());
void WriteSetting(CSettingsStore& store, const SettingsValue<QString>& value, const QString& text);
int ReadSetting(const CSettingsStore& store, const SettingsValue<int>& value, int defaultValue);
void WriteSetting(CSettingsStore& store, const SettingsValue<int>& value, int number);

namespace Settings {
inline constexpr SettingsValue<QString> kSlicePath{"Settings", "Path"};
inline constexpr SettingsValue<QString> kImportPath{"Settings", "ImportPath"};
inline constexpr SettingsValue<QString> kImportRoot{"Settings", "ImportRoot"};
inline constexpr SettingsValue<int> kAutoSendToClipboard{"Settings", "AutoSendToClipboard"};
inline constexpr int kAutoSendToClipboardDefault = 1;
// The memory the undo steps may hold; the oldest go first beyond it.
inline constexpr SettingsValue<int> kUndoBudgetMB{"Settings", "UndoBudgetMB"};
inline constexpr int kUndoBudgetMBDefault = 1024;
inline constexpr SettingsValue<int> kMatchColours{"Settings", "MatchColours"};
inline constexpr SettingsValue<int> kAutoImport{"Settings", "AutoImport"};
inline constexpr SettingsValue<int> kZoomToSliceWhenMerging{"Settings", "ZoomToSliceWhenMerging"};
inline constexpr SettingsValue<int> kShowCoverage{"Settings", "ShowCoverage"};
inline constexpr SettingsValue<QString> kOpenFolder{"Document", "Path"};
inline constexpr SettingsValue<QString> kSaveFolder{"Document", "outPath"};
inline constexpr SettingsValue<QString> kShadowFolder{"Document", "Path2"};
inline constexpr SettingsValue<int> kApplicationLook{"Workspace", "ApplicationLook"};
inline constexpr int kApplicationLookDefault = 210;
}  // namespace Settings

// Application-wide services the document uses: the settings store and the
// edge blur (32 at every start, never stored).
struct CQuiltorServices {
  CSettingsStore settings;
  int edgeBlur = 32;
};
