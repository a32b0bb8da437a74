// quiltor-cli run: whole workflows as scripts whose standard output must match
// the expected log line by line. Each tests/tools/scripts/NAME.script runs in a
// fresh folder holding the pictures below, with home and settings there too;
// NAME.expected is its output with that folder written as $TMP, and
// NAME.files (optional) the files the folder holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

using testing_support::ShellQuote;

namespace {

const fs::path kScripts = fs::path(QUILTOR_SOURCE_DIR) / "tests/tools/scripts";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadText(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The pictures every script may use, written by ImageMagick.
void MakeInputs(const fs::path& dir) {
  const std::string d = dir.string() + "/";
  ASSERT_EQ(testing_support::Run("convert -size 600x400 gradient:red-blue PNG24:" +
                                 ShellQuote(d + "castle.png")),
            0);
  ASSERT_EQ(testing_support::Run("convert -size 1000x800 gradient:green-yellow PNG24:" +
                                 ShellQuote(d + "big.png")),
            0);
  ASSERT_EQ(
      testing_support::Run("convert -size 64x48 xc:orange PNG24:" + ShellQuote(d + "my_photo.png")),
      0);
  std::ofstream(d + "junk.png") << "not a picture\n";
  // Returned slices, as img2img would write them.
  ASSERT_EQ(testing_support::Run("convert -size 512x512 gradient:white-black PNG24:" +
                                 ShellQuote(d + "returned512.png")),
            0);
  fs::create_directories(dir / "outputs/img2img/day1");
  ASSERT_EQ(testing_support::Run("convert -size 512x512 xc:purple PNG24:" +
                                 ShellQuote(d + "outputs/img2img/day1/00001-result.png")),
            0);
}

std::vector<std::string> FilesUnder(const fs::path& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).string());
  std::sort(files.begin(), files.end());
  return files;
}

int ExpectedExit(const std::string& script) {
  const std::string tag = "# expect-exit: ";
  const size_t at = script.find(tag);
  return at == std::string::npos ? 0 : std::atoi(script.c_str() + at + tag.size());
}

class Script : public ::testing::TestWithParam<std::string> {};

TEST_P(Script, OutputMatchesTheExpectedLog) {
  if (!testing_support::HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  const std::string name = GetParam();
  const fs::path dir = testing_support::TempDir();
  MakeInputs(dir);
  const std::string d = ShellQuote(dir.string());
  const fs::path script = kScripts / (name + ".script");
  std::string out;
  const int status = testing_support::Run(
      "cd " + d + " && HOME=" + d + "/home XDG_CONFIG_HOME=" + d + "/config " +
          ShellQuote(QUILTOR_CLI) + " run " + ShellQuote(script.string()) + " 2>&1",
      &out);
  ReplaceAll(out, dir.string(), "$TMP");
  const auto actual = Lines(out);
  const auto expected = Lines(ReadText(kScripts / (name + ".expected")));
  for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    ASSERT_EQ(i < actual.size() ? actual[i] : "<end>", i < expected.size() ? expected[i] : "<end>")
        << "line " << i + 1 << " of the output of " << name;
  }
  EXPECT_EQ(status, ExpectedExit(ReadText(script)));

  const fs::path filesList = kScripts / (name + ".files");
  if (fs::exists(filesList)) {
    EXPECT_EQ(FilesUnder(dir), Lines(ReadText(filesList)));
  }
}

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kScripts))
    if (entry.path().extension() == ".script") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Run, Script, ::testing::ValuesIn(ScriptNames()), [](const auto& info) {
  std::string n = info.param;
  std::replace(n.begin(), n.end(), '-', '_');
  return n;
});

TEST(RunCommand, ReadsStandardInputAndCountsErrors) {
  const fs::path dir = testing_support::TempDir();
  const std::string d = ShellQuote(dir.string());
  std::string out;
  const int status = testing_support::Run(
      "cd " + d + " && printf '# a comment\\n\\n  \\nstate\\nfrobnicate 3\\nslice x\\n' | HOME=" +
          d + " XDG_CONFIG_HOME=" + d + " " + ShellQuote(QUILTOR_CLI) + " run",
      &out);
  ReplaceAll(out, dir.string(), "$TMP");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Lines(out),
            (std::vector<std::string>{
                "# state: mode=Empty slice=0,0,512,512 rotating=0 angle=0 zoom=1 counter=1 "
                "folder=$TMP/Documents/Quiltor/slices modified=0 merge=0 locked=0 shadow=none",
                "# error: line 5: unknown command: frobnicate",
                "# error: line 6: not a whole number: x"}));
}

// Progress lines only when asked for.
TEST(RunCommand, ProgressLinesOnRequest) {
  const fs::path dir = testing_support::TempDir();
  const std::string d = ShellQuote(dir.string());
  ASSERT_EQ(testing_support::Run("convert -size 64x48 xc:orange PNG24:" + d + "/x.png"), 0);
  for (const char* flag : {"", " --progress"}) {
    std::string out;
    ASSERT_EQ(testing_support::Run(
                  "cd " + d + " && printf 'open x.png\\nsave-as y.jpg\\n' | HOME=" + d +
                      " XDG_CONFIG_HOME=" + d + " " + ShellQuote(QUILTOR_CLI) + " run" + flag,
                  &out),
              0);
    std::vector<std::string> want = {"Load BG: x.png (64,48)", "Saved: y.jpg"};
    if (*flag)
      want = {"# opening 0%", want[0], "# saving 30%", "# saving 60%", "# saving 100%", want[1]};
    EXPECT_EQ(Lines(out), want) << flag;
  }
}

TEST(RunCommand, MissingScriptIsAnError) {
  std::string out;
  EXPECT_NE(testing_support::Run(ShellQuote(QUILTOR_CLI) + " run /nonexistent/script 2>&1", &out),
            0);
  EXPECT_NE(out.find("can't read script"), std::string::npos);
}

}  // namespace
