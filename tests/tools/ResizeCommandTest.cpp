#include <gtest/gtest.h>

#include <string>

#include "image/ISImageEx.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;

// Runs quiltor-cli resize; returns the exit status and its standard error.
int Resize(const std::string& arguments, std::string* errors) {
  return testing_support::Run(
      std::string(QUILTOR_CLI) + " resize " + arguments + " 2>&1 >/dev/null", errors);
}

TEST(ResizeCommand, BadArgumentsGiveOneErrorLine) {
  const std::string dir = TempDir();
  const std::string missing = ShellQuote(dir + "/missing.png");
  const std::string out = ShellQuote(dir + "/out.png");
  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {missing + " " + out + " 10 10", 1},
      {missing + " " + out + " 0 10", 1},
      {missing + " " + out + " 10 -4", 1},
      {missing + " " + out + " 10 1x", 1},
      {missing + " " + out + " 10 10 5", 1},
      {missing + " " + ShellQuote(dir + "/out.unknown") + " 10 10", 1},
      {missing + " " + out + " 10", 2},
  };
  for (const auto& c : cases) {
    std::string errors;
    EXPECT_EQ(Resize(c.arguments, &errors), c.status) << c.arguments;
    if (c.status == 1) {
      EXPECT_EQ(errors.rfind("error: ", 0), 0u) << errors;
      EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    }
  }
}

// End to end through the PNG codec: the file written holds exactly what the
// in-process resamplers produce from the decoded input.
TEST(ResizeCommand, WritesWhatTheResamplersProduce) {
  const std::string dir = TempDir();
  const std::string in = dir + "/in.png";
  ASSERT_EQ(testing_support::Run(
                "convert -size 97x64 -seed 3 gradient:red-blue -attenuate 0.5 +noise Gaussian "
                "-depth 8 -type TrueColor " +
                ShellQuote(in)),
            0);
  CISImageEx source;
  ASSERT_EQ(source.Load(in), kISOk);
  for (const std::string method : {"bilinear", "0", "16", "17"}) {
    const std::string out = dir + "/out_" + method + ".png";
    std::string errors;
    ASSERT_EQ(Resize(ShellQuote(in) + " " + ShellQuote(out) + " 40 150 " + method, &errors), 0)
        << errors;
    CISImageEx want, got;
    ASSERT_EQ(want.CopyFrom(source), kISOk);
    ASSERT_EQ(method == "bilinear" ? want.ResizeBilinear(40, 150)
                                   : want.Resize(40, 150, uint32_t(std::stoul(method))),
              kISOk);
    ASSERT_TRUE(testing_support::MagickDecode(out, got));
    EXPECT_EQ(testing_support::MaxDifference(want, got), 0) << method;
  }
}

}  // namespace
