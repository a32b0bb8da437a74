#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "image/Formats.h"
#include "image/SaveFile.h"
#include "support/TestSupport.h"

namespace {

// The table's own consistency: every code belongs to one format, every
// extension names a format that is written under it, every family is one entry.
TEST(Formats, EachCodeFamilyAndExtensionHasOneOwner) {
  std::set<uint32_t> codes;
  std::set<int> families;
  for (const qimg::Format& f : qimg::Formats()) {
    EXPECT_TRUE(families.insert(f.family).second) << f.family;
    EXPECT_EQ(qimg::FormatOfFamily(f.family), &f);
    ASSERT_NE(f.sniff, nullptr);
    ASSERT_NE(f.read, nullptr);
    EXPECT_EQ(f.write != nullptr, f.writeInput != qimg::WriteInput::kNone) << f.family;
    EXPECT_TRUE(!f.pathOf || f.probe) << f.family;
    EXPECT_TRUE(!f.resolutionIn || f.probe) << f.family;
    for (const qimg::DecodePath& p : f.paths) {
      if (p.code == kFileNone) continue;
      EXPECT_TRUE(codes.insert(p.code).second) << p.code;
      EXPECT_EQ(qimg::FormatOfCode(p.code), &f);
      EXPECT_EQ(qimg::DecodeDepth(f, p.code), p.depth);
    }
    for (const char* e : f.extensions) {
      if (!e) continue;
      EXPECT_EQ(qimg::FileTypeOfExtension(std::string("name") + e), f.paths[0].code) << e;
    }
  }
  for (uint32_t code = 0; code < kFileNone; ++code)
    EXPECT_EQ(codes.count(code) == 1, qimg::FormatOfCode(code) != nullptr) << code;
  EXPECT_EQ(qimg::FormatOfCode(kFileNone), nullptr);
  EXPECT_FALSE(qimg::IsWritable(kFilePNG8));  // only base codes are written
  EXPECT_FALSE(qimg::IsWritable(kFilePCD));
  EXPECT_TRUE(qimg::IsWritable(kFileWBMP));
}

// The file-level save: the writer's failure is passed on and leaves nothing;
// no-replace keeps an existing file; replace writes through a link.
TEST(SaveFile, ModesAndWriterFailure) {
  namespace fs = std::filesystem;
  const std::string dir = testing_support::TempDir();
  auto bytes = [](const char* text) {
    return [text](qimg::Dest& d) { return d.Write(text, 3) ? qimg::kOk : qimg::kErrWrite; };
  };
  const std::string file = dir + "/a.bin";
  EXPECT_EQ(qimg::SaveFile(file, qimg::SaveMode::kReplace,
                           [](qimg::Dest&) { return uint32_t{qimg::kErrFormat}; }),
            qimg::kErrFormat);
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_EQ(qimg::SaveFile(file, qimg::SaveMode::kNoReplace, bytes("one")), qimg::kOk);
  EXPECT_EQ(qimg::SaveFile(file, qimg::SaveMode::kNoReplace, bytes("two")), qimg::kErrExists);
  fs::create_symlink("a.bin", dir + "/link");
  EXPECT_EQ(qimg::SaveFile(dir + "/link", qimg::SaveMode::kReplace, bytes("new")), qimg::kOk);
  EXPECT_TRUE(fs::is_symlink(dir + "/link"));
  const std::vector<uint8_t> want{'n', 'e', 'w'};
  EXPECT_EQ(testing_support::ReadFileBytes(file), want);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

}  // namespace
