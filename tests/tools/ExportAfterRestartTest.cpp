// Two runs of the console front end export the same square into one slice
// folder: the second moves past the first run's files instead of replacing
// them, and an export short of memory writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace {

TEST(ExportAfterRestart, TheSecondRunNeverReplacesTheFirstRunsFiles) {
  const std::string d = testing_support::TempDir();
  CISImageEx picture;
  testing_support::MakeTestPicture(picture, 200, 100, 5);
  ASSERT_EQ(picture.SaveFile(d + "/castle.png", kFilePNG), 0u);
  const std::string start = "open castle.png\nfolder " + d + "/slices\nslice 64\nshadow-copy\n";
  std::ofstream(d + "/first.script") << start << "export\n";
  std::ofstream(d + "/second.script") << start << "fail-alloc 0\nexport\nexport\n";
  const std::string q = testing_support::ShellQuote(d);
  const std::string prefix = "cd " + q + " && HOME=" + q + " XDG_CONFIG_HOME=" + q +
                             "/config XDG_DATA_HOME=" + q + "/data " +
                             testing_support::ShellQuote(QUILTOR_CLI) + " run ";
  ASSERT_EQ(testing_support::Run(prefix + "first.script"), 0);
  const std::string first = d + "/slices/slice_001_(68,18,64,64).png";
  const std::string shadow = d + "/slices/ControlNet_Slice_001.png";
  const auto firstBytes = testing_support::ReadFileBytes(first);
  const auto shadowBytes = testing_support::ReadFileBytes(shadow);
  ASSERT_FALSE(firstBytes.empty());

  std::string second;
  ASSERT_EQ(testing_support::Run(prefix + "second.script", &second), 0);
  const std::string next = d + "/slices/slice_002_(68,18,64,64).png";
  EXPECT_NE(second.find("Error: Not enough memory to export " + next + "\n"), std::string::npos)
      << second;
  EXPECT_NE(second.find("Exported Slice: " + next + "\n"), std::string::npos) << second;
  EXPECT_NE(second.find("Exported CN: " + d + "/slices/ControlNet_Slice_002.png\n"),
            std::string::npos)
      << second;
  EXPECT_EQ(testing_support::ReadFileBytes(first), firstBytes);
  EXPECT_EQ(testing_support::ReadFileBytes(shadow), shadowBytes);
}

}  // namespace
