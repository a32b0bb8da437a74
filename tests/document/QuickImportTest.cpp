// Quick Import's newest PNG and the search for the newest subfolder.
#include <dirent.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

#include "document/QuickImport.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;

namespace {

class QuickImportTest : public DocTest {
 protected:
  void SetUp() override {
    DocTest::SetUp();
    out = dir + "/img2img";
    std::filesystem::create_directories(out);
  }
  // A file with the given modification time in seconds.
  static void Touch(const std::string& path, time_t when, bool png = false, uint32_t seed = 1) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (png) {
      CISImageEx p;
      MakeTestPicture(p, 64, 48, seed);
      ASSERT_EQ(p.SaveFile(path, kFilePNG), 0u);
    } else {
      std::ofstream(path) << "x";
    }
    utimbuf t{when, when};
    ASSERT_EQ(utime(path.c_str(), &t), 0);
  }
  static void TouchFolder(const std::string& path, time_t when) {
    utimbuf t{when, when};
    utime(path.c_str(), &t);
  }
  // Names of a folder in the order the file system lists them.
  static std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
          names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }
  std::string out;
  const time_t base = 1700000000;
};

TEST_F(QuickImportTest, ImportsTheNewestPngDirectlyInTheFolder) {
  Touch(out + "/old.png", base, true, 1);
  Touch(out + "/new.png", base + 5, true, 2);
  Touch(out + "/newer.txt", base + 50);
  Touch(out + "/sub/newest.png", base + 90, true, 3);
  const QString imported = QuickImport(*doc, services.settings, Q(out));
  EXPECT_EQ(imported, Q(out + "/new.png"));
  EXPECT_EQ(host.log.first(), QStringLiteral("Load BG: %1 (64,48)").arg(Q(out + "/new.png")));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportPath), Q(out + "/"));
}

TEST_F(QuickImportTest, TiesWithinOneSecondKeepTheFirstListed) {
  Touch(out + "/a.png", base + 7, true, 1);
  Touch(out + "/b.png", base + 7, true, 2);
  Touch(out + "/c.png", base + 7, true, 3);
  const std::vector<std::string> order = Listing(out);
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(QuickImport(*doc, services.settings, Q(out + "/")), Q(out + "/" + order[0]));
}

TEST_F(QuickImportTest, MissingFolderShowsTheMessageOnly) {
  WriteSetting(services.settings, Settings::kImportPath, QStringLiteral("before"));
  EXPECT_TRUE(QuickImport(*doc, services.settings, Q(dir + "/nowhere")).isEmpty());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, QStringLiteral("Path does not exist"));
  EXPECT_EQ(host.boxes[0].buttons, IDocumentHost::Buttons::Ok);
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportPath), QStringLiteral("before"));
}

TEST_F(QuickImportTest, FolderWithoutPngDoesNothing) {
  Touch(out + "/notes.txt", base);
  EXPECT_TRUE(QuickImport(*doc, services.settings, Q(out)).isEmpty());
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_FALSE(doc->m_mainImage.HasPixels());
}

TEST_F(QuickImportTest, FindsTheFolderOfTheNewestFileOfAnyType) {
  const std::string root = dir + "/out";
  Touch(root + "/a/x.png", base + 10, true);
  Touch(root + "/b/c/log.txt", base + 20);
  Touch(root + "/b/older.png", base + 15, true);
  EXPECT_EQ(FindMostRecentSubfolder(services.settings, Q(root + "/")), Q(root + "/b/c"));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportRoot), Q(root));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportPath), Q(root + "/b/c"));
}

TEST_F(QuickImportTest, FindKeepsTheFirstOfEqualTimes) {
  const std::string root = dir + "/ties";
  Touch(root + "/p/one.txt", base + 3);
  Touch(root + "/q/two.txt", base + 3);
  const std::vector<std::string> order = Listing(root);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(FindMostRecentSubfolder(services.settings, Q(root)), Q(root + "/" + order[0]));
}

TEST_F(QuickImportTest, FindWithEmptyOrMissingRoot) {
  WriteSetting(services.settings, Settings::kImportPath, QStringLiteral("keep"));
  EXPECT_TRUE(FindMostRecentSubfolder(services.settings, QString()).isEmpty());
  EXPECT_TRUE(FindMostRecentSubfolder(services.settings, Q(dir + "/none/")).isEmpty());
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportRoot), Q(dir + "/none"));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kImportPath), QStringLiteral("keep"));
  // A link back up the tree does not make the search run forever.
  const std::string root = dir + "/loop";
  Touch(root + "/f.txt", base);
  std::filesystem::create_directory_symlink(root, root + "/again");
  EXPECT_EQ(FindMostRecentSubfolder(services.settings, Q(root)), Q(root));
}

}  // namespace
