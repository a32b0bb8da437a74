// The settings store and the application's typed values.
#include <gtest/gtest.h>

#include "document/DocTestSupport.h"
#include "document/SettingsStore.h"

using namespace doc_testing;

namespace {

TEST(Settings, EmptyStoreGivesTheDefaults) {
  ClearSettings();
  CQuiltorServices services;
  const CSettingsStore& s = services.settings;
  EXPECT_EQ(ReadSetting(s, Settings::kAutoSendToClipboard, Settings::kAutoSendToClipboardDefault),
            1);
  EXPECT_EQ(ReadSetting(s, Settings::kApplicationLook, Settings::kApplicationLookDefault), 210);
  for (const auto* value :
       {&Settings::kSlicePath, &Settings::kImportPath, &Settings::kImportRoot,
        &Settings::kOpenFolder, &Settings::kSaveFolder, &Settings::kShadowFolder})
    EXPECT_TRUE(ReadSetting(s, *value).isNull()) << value->entry;
  EXPECT_EQ(ReadSetting(s, Settings::kSlicePath, QStringLiteral("dflt")), QStringLiteral("dflt"));
}

TEST(Settings, ValuesRoundTripBySectionAndEntry) {
  ClearSettings();
  CSettingsStore store;
  WriteSetting(store, Settings::kOpenFolder, QStringLiteral("/pictures"));
  WriteSetting(store, Settings::kSlicePath, QStringLiteral("/slices/"));
  WriteSetting(store, Settings::kAutoSendToClipboard, 0);
  // The same entry name in two sections stays two values.
  EXPECT_EQ(store.GetProfileString(QStringLiteral("Document"), QStringLiteral("Path"), {}),
            QStringLiteral("/pictures"));
  EXPECT_EQ(store.GetProfileString(QStringLiteral("Settings"), QStringLiteral("Path"), {}),
            QStringLiteral("/slices/"));
  EXPECT_EQ(
      store.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("AutoSendToClipboard"), 1), 0);
  // Another store object sees the same values.
  CSettingsStore other;
  EXPECT_EQ(ReadSetting(other, Settings::kSlicePath), QStringLiteral("/slices/"));
  store.WriteProfileString(QStringLiteral("Workspace"), QStringLiteral("ApplicationLook"),
                           QStringLiteral("dark"));
  EXPECT_EQ(ReadSetting(other, Settings::kApplicationLook, 210), 210);  // not a number
  WriteSetting(store, Settings::kImportPath, QString());
  EXPECT_TRUE(ReadSetting(store, Settings::kImportPath, QStringLiteral("d")).isEmpty());
}

TEST(Settings, FractionsAndBytesRoundTripAndBadTextReadsAsTheDefault) {
  ClearSettings();
  CSettingsStore store;
  constexpr SettingsValue<double> fraction{"Test", "Fraction", 0.25};
  EXPECT_EQ(ReadSetting(store, fraction), 0.25);
  WriteSetting(store, fraction, 0.4);
  EXPECT_EQ(store.GetProfileString(QStringLiteral("Test"), QStringLiteral("Fraction"), {}),
            QStringLiteral("0.4"));
  EXPECT_EQ(ReadSetting(store, fraction), 0.4);
  for (const char* bad : {"abc", "inf", "nan"}) {
    store.WriteProfileString(QStringLiteral("Test"), QStringLiteral("Fraction"),
                             QString::fromLatin1(bad));
    EXPECT_EQ(ReadSetting(store, fraction, 7.0), 7.0) << bad;
  }
  EXPECT_TRUE(ReadSetting(store, Settings::kWindowState).isEmpty());
  const QByteArray bytes("\0\x01\xff layout", 10);
  WriteSetting(store, Settings::kWindowState, bytes);
  EXPECT_EQ(ReadSetting(CSettingsStore(), Settings::kWindowState), bytes);
  EXPECT_EQ(ReadSetting(store, Settings::kUndoBudgetMB), 1024);
}

TEST(Settings, EdgeBlurStartsAt32AndIsNotStored) {
  ClearSettings();
  {
    CQuiltorServices services;
    EXPECT_EQ(services.edgeBlur, 32);
    services.edgeBlur = 100;
  }
  CQuiltorServices next;
  EXPECT_EQ(next.edgeBlur, 32);
}

}  // namespace
