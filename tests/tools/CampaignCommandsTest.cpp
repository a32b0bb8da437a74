// A whole-picture round trip through quiltor-cli: a slice grid out, the
// slices reworked by ImageMagick, and the batch laid back by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/ISImageEx.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testing_support::ShellQuote;

namespace {

// Runs the script's lines in dir with its own home and settings; the output.
std::string RunScript(const fs::path& dir, const std::string& lines) {
  const fs::path script = dir / "script.txt";
  std::ofstream(script) << lines;
  const std::string d = ShellQuote(dir.string());
  std::string out;
  testing_support::Run("cd " + d + " && HOME=" + d + "/home XDG_CONFIG_HOME=" + d + "/config " +
                           ShellQuote(QUILTOR_CLI) + " run " + ShellQuote(script.string()) +
                           " 2>&1",
                       &out);
  return out;
}

bool Magick(const std::string& arguments) {
  return testing_support::Run("convert " + arguments + " 2>/dev/null") == 0;
}

bool SamePixels(const fs::path& a, const fs::path& b) {
  CISImageEx x, y;
  return x.Load(a.string()) == kISOk && y.Load(b.string()) == kISOk && x.m_width == y.m_width &&
         x.m_height == y.m_height && testing_support::MaxDifference(x, y) == 0;
}

bool Has(const std::string& out, const std::string& line) {
  return out.find(line + "\n") != std::string::npos;
}

class Campaign : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::HaveProgram("convert"))
      FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
    ASSERT_TRUE(Magick("-size 600x400 gradient:red-blue -swirl 120 PNG24:" +
                       ShellQuote((dir / "castle.png").string())));
  }
  const fs::path dir = testing_support::TempDir();
};

TEST_F(Campaign, GridBatchGivesThePixelsOfOneByOneImports) {
  // 256 squares go out enlarged twice, so the batch also scales them back.
  const std::string grid = RunScript(dir, "open castle.png\nfolder slices\nexport-grid 256 32\n");
  ASSERT_TRUE(Has(grid, "Exported grid: 6 slices 256\u00d7256 into slices")) << grid;
  fs::create_directories(dir / "returned");
  struct Back {
    int number, x, y;
    std::string path;
  };
  std::vector<Back> back;
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir / "slices")) {
    const std::string name = e.path().filename().string();
    const std::string out =
        "000" + std::to_string(10 + n++) + "-" + name.substr(0, name.size() - 4) + "-1.png";
    ASSERT_TRUE(Magick(ShellQuote(e.path().string()) + " -modulate 80,140,90 -blur 0x2 PNG24:" +
                       ShellQuote((dir / "returned" / out).string())));
    Back b{0, 0, 0, "returned/" + out};
    ASSERT_EQ(std::sscanf(name.c_str(), "slice_%d_(%d,%d,", &b.number, &b.x, &b.y), 3);
    back.push_back(b);
  }
  ASSERT_EQ(back.size(), 6u);
  // An older file for the first square loses to the reworked one.
  const std::string stale = "returned/old-" + back[0].path.substr(9);
  ASSERT_TRUE(Magick("-size 512x512 xc:black PNG24:" + ShellQuote((dir / stale).string())));
  fs::last_write_time(dir / stale, fs::last_write_time(dir / back[0].path) - std::chrono::hours(1));

  const std::string batch =
      RunScript(dir,
                "open castle.png\nimport-batch returned\nwrite-main batch.png\n"
                "undo\nundo\nundo\nundo\nundo\nundo\nwrite-main undone.png\n");
  EXPECT_TRUE(Has(batch, "Imported 6 slices, skipped 1")) << batch;
  EXPECT_TRUE(Has(batch, "Skipped: returned/" + stale.substr(9) +
                             " (a newer file for its square: " + back[0].path + ")"))
      << batch;

  std::sort(back.begin(), back.end(),
            [](const Back& a, const Back& b) { return a.number < b.number; });
  std::string single = "open castle.png\n";
  for (const Back& b : back)
    single += "place " + std::to_string(b.x) + " " + std::to_string(b.y) + " 256 256\nimport " +
              b.path + "\napply\n";
  RunScript(dir, single + "write-main single.png\n");
  EXPECT_TRUE(SamePixels(dir / "batch.png", dir / "single.png"));
  EXPECT_FALSE(SamePixels(dir / "batch.png", dir / "castle.png"));
  EXPECT_TRUE(SamePixels(dir / "undone.png", dir / "castle.png"));  // one step per slice
}

TEST_F(Campaign, SkippedFilesLeaveThePictureExact) {
  const fs::path in = dir / "in";
  fs::create_directories(in);
  ASSERT_TRUE(Magick("-size 512x512 xc:purple PNG24:" + ShellQuote((in / "result.png").string())));
  ASSERT_TRUE(Magick("-size 500x512 xc:purple PNG24:" +
                     ShellQuote((in / "slice_001_(10,0,512,512).png").string())));
  ASSERT_TRUE(Magick("-size 512x512 xc:purple PNG24:" +
                     ShellQuote((in / "slice_002_(0,0,512,512.png").string())));
  ASSERT_TRUE(Magick("-size 512x512 xc:purple PNG24:" +
                     ShellQuote((in / "slice_003_(9000,0,512,512).png").string())));
  std::ofstream(in / "slice_004_(0,0,512,512).png") << "not a picture\n";

  const std::string out =
      RunScript(dir,
                "open castle.png\nlock\nimport-batch in\ncancel-lock\nimport-batch in\n"
                "write-main out.png\nstate\n");
  EXPECT_TRUE(Has(out,
                  "Error: Import Returned Slices refused: apply or cancel the merge or lock "
                  "first"))
      << out;
  EXPECT_TRUE(Has(out,
                  "Skipped: in/slice_001_(10,0,512,512).png (its width 500 does not fit the "
                  "square's 512)"))
      << out;
  EXPECT_TRUE(Has(out, "Skipped: in/slice_002_(0,0,512,512.png (no slice name)")) << out;
  EXPECT_TRUE(Has(out,
                  "Skipped: in/slice_003_(9000,0,512,512).png (its square lies outside the "
                  "picture)"))
      << out;
  EXPECT_TRUE(Has(out, "Skipped: in/slice_004_(0,0,512,512).png (can't read it)")) << out;
  EXPECT_TRUE(Has(out, "Imported 0 slices, skipped 5")) << out;
  EXPECT_NE(out.find("mode=Free slice=0,0,512,512"), std::string::npos) << out;
  EXPECT_NE(out.find("modified=0"), std::string::npos) << out;
  EXPECT_TRUE(SamePixels(dir / "out.png", dir / "castle.png"));
}

}  // namespace

namespace {

TEST_F(Campaign, LedgerSurvivesAKillAndABrokenOneIsSetAside) {
  // The first run is killed while it waits, after two exports and one merge.
  const std::string first =
      "open castle.png\nfolder slices\nplace 0 0 256 256\nexport\n"
      "import slices/slice_001_(0,0,256,256).png\napply\nplace 300 100 256 256\nexport\nwait\n";
  std::ofstream(dir / "first.txt") << first;
  const std::string d = ShellQuote(dir.string());
  ASSERT_EQ(
      testing_support::Run(
          "cd " + d + " && mkfifo hold && (HOME=" + d + " XDG_CONFIG_HOME=" + d + "/config " +
          ShellQuote(QUILTOR_CLI) +
          " run first.txt <hold >first.out & echo $! >pid; exec 3>hold; "
          "while ! grep -q \"^# waiting\" first.out; do sleep 0.05; done; kill -9 $(cat pid))"),
      0);
  fs::copy_file(dir / "castle.png", dir / "castle_0003.png");
  fs::copy_file(dir / "castle.png", dir / "other.png");
  std::ofstream(dir / "other.quiltor.json") << "{\"version\": 1, \"slices\": [";
  const std::string out = RunScript(
      dir, "open castle_0003.png\nopen other.png\nfolder slices\nplace 0 0 256 256\nexport\n");
  EXPECT_TRUE(Has(out, "# history: slice_001_(0,0,256,256).png \u2713")) << out;
  EXPECT_TRUE(Has(out, "# history: slice_002_(300,100,256,256).png")) << out;
  EXPECT_TRUE(Has(out, "Ledger can't be read, set aside: other.quiltor.json.broken")) << out;
  EXPECT_TRUE(fs::exists(dir / "other.quiltor.json.broken"));
  std::ifstream fresh(dir / "other.quiltor.json");
  const std::string text((std::istreambuf_iterator<char>(fresh)), {});
  EXPECT_NE(text.find("\"file\": \"slice_002_(0,0,256,256).png\""), std::string::npos) << text;
}

}  // namespace
