// Shared helpers for the tests: temporary folders, fixture files, running
// programs, pixel comparisons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/ISImageEx.h"

namespace testing_support {

// Folder of the real-world test images (read-only).
std::string CorpusDir();
// A file of that folder by its relative name; a missing or unreadable one is
// a test failure naming it (the path is returned all the same).
std::string CorpusFile(const std::string& relative);
// The files of one corpus folder with the given extension (".png"), sorted;
// none is a test failure.
std::vector<std::string> CorpusFiles(const std::string& folder, const std::string& extension);
// A fresh, empty temporary folder removed at process exit.
std::string TempDir();
// Runs a shell command; returns its exit status and captures standard output.
int Run(const std::string& command, std::string* output = nullptr);
bool HaveProgram(const std::string& name);
// A fixture's bytes; one that cannot be read is a test failure naming it.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Decodes any file with ImageMagick into 8-bit RGB (alpha dropped, not blended).
bool MagickDecode(const std::string& path, CISImageEx& out, const std::string& extraOptions = "");
// A 24-bit test picture with smooth areas, edges and noise.
void MakeTestPicture(CISImageEx& image, uint32_t width, uint32_t height, uint32_t seed = 1);
// Largest channel difference of two 24-bit images (-1 when the sizes differ).
int MaxDifference(const CISImageEx& a, const CISImageEx& b);
std::string ShellQuote(const std::string& s);

}  // namespace testing_support
