// Shared set-up of the document tests: a private home, documents and
// settings location for the whole test program, and small helpers.
#pragma once

#include <QString>
#include <string>

#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"

namespace doc_testing {

// The home folder the test program runs with (a temporary folder).
QString Home();
// The documents folder the document's user folders resolve to.
QString DocumentsFolder();
// Empties the settings store.
void ClearSettings();
// A fresh temporary folder.
QString TempFolder();
// Writes a 24-bit test picture as PNG; false on failure.
bool WritePicture(const QString& path, uint32_t width, uint32_t height, uint32_t seed = 1);
std::string Local(const QString& path);
bool Exists(const QString& path);
// Loads path as 24-bit RGB with our reader.
bool LoadPicture(const QString& path, CISImageEx& image);
// Whether the rotated cut is the real one (not the link placeholder).
bool RotatedCutAvailable();

// A document on a recording host with an empty settings store.
struct DocFixture {
  DocFixture() : doc((ClearSettings(), host), services) {}
  RecordingHost host;
  CQuiltorServices services;
  CQuiltorDoc doc;
};

}  // namespace doc_testing
