// quiltor-cli info and convert, run as a user would run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/ISImageEx.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;

int Cli(const std::string& arguments, std::string* out, bool errors = false) {
  return testing_support::Run(
      std::string(QUILTOR_CLI) + " " + arguments + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null"),
      out);
}

bool Magick(const std::string& arguments) {
  return testing_support::Run("convert " + arguments + " 2>/dev/null") == 0;
}

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
  return n;
}

TEST(InfoCommand, ReportsTypeSizeAndWriteResolution) {
  if (!testing_support::HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  const std::string dir = TempDir();
  const struct {
    const char* file;
    const char* options;
    const char* want;
  } cases[] = {
      {"a.jpg", "-units PixelsPerInch -density 72", "type=0 size=40x30 resolution=72x72 unit=2\n"},
      {"b.png", "-units PixelsPerCentimeter -density 28.35",
       "type=6 size=40x30 resolution=28x28 unit=3\n"},
      {"c.bmp", "-type Palette -colors 16", "type=3 size=40x30 resolution=0x0 unit=1\n"},
      {"d.tif", "-units PixelsPerInch -density 150",
       "type=10 size=40x30 resolution=150x150 unit=2\n"},
      {"e.gif", "", "type=26 size=40x30 resolution=300x300 unit=1\n"},
  };
  for (const auto& c : cases) {
    const std::string path = dir + "/" + c.file;
    ASSERT_TRUE(
        Magick("-size 40x30 gradient:red-blue " + std::string(c.options) + " " + ShellQuote(path)))
        << c.file;
    std::string out;
    EXPECT_EQ(Cli("info " + ShellQuote(path), &out), 0) << c.file;
    EXPECT_EQ(out, c.want) << c.file;
  }
}

TEST(InfoCommand, UnreadableFileIsOneErrorLine) {
  const std::string path = TempDir() + "/notes.txt";
  ASSERT_TRUE(testing_support::WriteFileBytes(path, {'h', 'e', 'l', 'l', 'o'}));
  std::string errors;
  EXPECT_EQ(Cli("info " + ShellQuote(path), &errors, true), 1);
  EXPECT_NE(errors.find(path), std::string::npos) << errors;
  EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
}

TEST(ConvertCommand, WritesTheTypeTheExtensionNames) {
  const std::string dir = TempDir();
  CISImageEx picture;
  testing_support::MakeTestPicture(picture, 64, 48, 3);
  ASSERT_EQ(picture.SaveFile(dir + "/in.png", kFilePNG), kISOk);
  for (const char* name : {"out.bmp", "out.TGA", "out.tiff", "out.psd", "out.pcx"}) {
    std::string out;
    ASSERT_EQ(
        Cli("convert " + ShellQuote(dir + "/in.png") + " " + ShellQuote(dir + "/" + name), &out), 0)
        << name;
    CISImageEx back;
    ASSERT_EQ(back.Load(dir + "/" + name), kISOk) << name;
    EXPECT_EQ(testing_support::MaxDifference(picture, back), 0) << name;
  }
  std::string type;
  ASSERT_EQ(Cli("info " + ShellQuote(dir + "/out.TGA"), &type), 0);
  EXPECT_EQ(type.rfind("type=14 ", 0), 0u) << type;
}

TEST(ConvertCommand, FailuresLeaveNoFileBehind) {
  const std::string dir = TempDir();
  CISImageEx picture;
  testing_support::MakeTestPicture(picture, 16, 16, 4);
  ASSERT_EQ(picture.SaveFile(dir + "/in.png", kFilePNG), kISOk);
  const std::string in = ShellQuote(dir + "/in.png");
  const std::string cases[] = {
      in + " " + ShellQuote(dir + "/out.webp"),                               // no type (27)
      in + " " + ShellQuote(dir + "/noextension"),                            // no type
      ShellQuote(dir + "/missing.png") + " " + ShellQuote(dir + "/out.png"),  // no input
      in + " " + ShellQuote(dir + "/missing/out.png"),                        // cannot write
  };
  for (const std::string& args : cases) {
    std::string errors;
    EXPECT_EQ(Cli("convert " + args, &errors, true), 1) << args;
    EXPECT_EQ(errors.rfind("error: ", 0), 0u) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
  }
  EXPECT_EQ(FilesIn(dir), 1u);  // only the input
}

}  // namespace
