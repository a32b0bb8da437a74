// Recovery after the console front end is killed: a script applies two
// merges and undoes and redoes, then waits; SIGKILL ends it, and a second
// run recovers the journal and must hold the same pixels.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;
using testing_support::ShellQuote;

namespace {

TEST(RecoveryAfterKill, TheSecondRunRecoversThePixelsBeforeTheKill) {
  const fs::path dir = testing_support::TempDir();
  const std::string d = dir.string();
  CISImageEx picture, slice;
  testing_support::MakeTestPicture(picture, 1200, 900, 5);
  testing_support::MakeTestPicture(slice, 512, 512, 6);
  ASSERT_EQ(picture.SaveFile(d + "/castle.png", kFilePNG), 0u);
  ASSERT_EQ(slice.SaveFile(d + "/returned.png", kFilePNG), 0u);
  std::ofstream(d + "/first.script") << "open castle.png\n"
                                        "folder "
                                     << d
                                     << "/slices\n"
                                        "slice 512\nexport\nimport returned.png\n"
                                        "paint 400 300 600 500\napply\n"
                                        "place 20 30 512 512\nexport\nimport returned.png\n"
                                        "invert\napply\nundo\nredo\n"
                                        "write-main before-kill.png\nwait\n";
  std::ofstream(d + "/second.script") << "answer yes\nrecover\nstate\nwrite-main recovered.png\n";
  // Both runs in the folder, with home, settings and state folder there.
  const std::string q = ShellQuote(d);
  const std::string prefix = "cd " + q + " && HOME=" + q + " XDG_CONFIG_HOME=" + q +
                             "/config XDG_DATA_HOME=" + q + "/data exec " +
                             ShellQuote(QUILTOR_CLI) + " run ";

  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string command = prefix + "first.script";
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>(command.c_str()), nullptr};
  pid_t child = 0;  // the shell execs the front end: the same process
  ASSERT_EQ(posix_spawn(&child, "/bin/sh", &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);

  // Everything up to the wait, which comes only after the last apply returned.
  std::string log;
  char buffer[4096];
  while (log.find("# waiting") == std::string::npos) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    log.append(buffer, static_cast<size_t>(n));
  }
  ASSERT_NE(log.find("# waiting"), std::string::npos) << log;
  EXPECT_NE(log.find("Redo: Apply Merge"), std::string::npos) << log;
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  close(in[1]);
  close(out[0]);

  std::string second;
  ASSERT_EQ(testing_support::Run(prefix + "second.script", &second), 0);
  EXPECT_NE(second.find("# box: Quiltor closed without saving. Recover the unsaved work on "
                        "castle.png? -> yes"),
            std::string::npos)
      << second;
  EXPECT_NE(second.find("modified=1"), std::string::npos) << second;
  EXPECT_NE(second.find("counter=3"), std::string::npos) << second;
  CISImageEx before, after;
  ASSERT_EQ(before.Load(d + "/before-kill.png"), 0u);
  ASSERT_EQ(after.Load(d + "/recovered.png"), 0u);
  EXPECT_EQ(testing_support::MaxDifference(before, after), 0);
  EXPECT_GT(testing_support::MaxDifference(before, picture), 0);
  // The second run ended cleanly: its journal is gone.
  EXPECT_TRUE(fs::is_empty(dir / "data/Orvandel/Quiltor/recovery"));
}

// The console front end run in folder d, with home, settings and state there.
int RunIn(const std::string& d, const std::string& script, std::string* out = nullptr) {
  const std::string q = ShellQuote(d);
  return testing_support::Run("cd " + q + " && HOME=" + q + " XDG_CONFIG_HOME=" + q +
                                  "/config XDG_DATA_HOME=" + q + "/data exec " +
                                  ShellQuote(QUILTOR_CLI) + " run " + script,
                              out);
}

// A folder with castle.png (w x h) and returned.png (n x n).
std::string Pictures(uint32_t w, uint32_t h, uint32_t n) {
  const std::string d = testing_support::TempDir();
  CISImageEx picture, slice;
  testing_support::MakeTestPicture(picture, w, h, 5);
  testing_support::MakeTestPicture(slice, n, n, 6);
  EXPECT_EQ(picture.SaveFile(d + "/castle.png", kFilePNG), 0u);
  EXPECT_EQ(slice.SaveFile(d + "/returned.png", kFilePNG), 0u);
  return d;
}

// Killed between writing the compacted journal and renaming it: the old
// journal is whole, and recovery gives the picture of the last apply.
TEST(RecoveryAfterKill, AKillDuringCompactionLeavesTheOldJournalUsable) {
  const int steps = 24;
  std::string work = "folder slices\n";
  for (int i = 0; i < steps; ++i)
    work += "place " + std::to_string((i * 37) % 112) + " " + std::to_string((i * 23) % 72) +
            " 48 48\nexport\nimport returned.png\napply\nwrite-main step-" + std::to_string(i) +
            ".png\n";
  // The same work twice: once to the end, once killed at the first compaction.
  const std::string whole = Pictures(160, 120, 48), killed = Pictures(160, 120, 48);
  std::ofstream(whole + "/work.script") << "open castle.png\n" << work;
  std::ofstream(killed + "/work.script") << "open castle.png\nkill-during-compaction\n" << work;
  std::ofstream(killed + "/recover.script") << "answer yes\nrecover\nwrite-main recovered.png\n";
  ASSERT_EQ(RunIn(whole, "work.script"), 0);
  RunIn(killed, "work.script");
  int killedAt = 0;
  while (killedAt < steps && fs::exists(killed + "/step-" + std::to_string(killedAt) + ".png"))
    ++killedAt;
  ASSERT_LT(killedAt, steps) << "no compaction happened";
  const fs::path recovery = fs::path(killed) / "data/Orvandel/Quiltor/recovery";
  EXPECT_EQ(testing_support::Run("ls " + ShellQuote(recovery.string()) + "/*.compact"), 0);

  ASSERT_EQ(RunIn(killed, "recover.script"), 0);
  CISImageEx expected, recovered;
  ASSERT_EQ(expected.Load(whole + "/step-" + std::to_string(killedAt) + ".png"), 0u);
  ASSERT_EQ(recovered.Load(killed + "/recovered.png"), 0u);
  EXPECT_EQ(testing_support::MaxDifference(expected, recovered), 0);
  EXPECT_TRUE(fs::is_empty(recovery));  // the half-written compaction went with it
}

// A second run exports the same square into the same folder: it moves past
// the first run's files, and short of memory it writes nothing.
TEST(ExportAfterRestart, TheSecondRunNeverReplacesTheFirstRunsFiles) {
  const std::string d = Pictures(200, 100, 8);
  const std::string start = "open castle.png\nfolder slices\nslice 64\nshadow-copy\n";
  std::ofstream(d + "/first.script") << start << "export\n";
  std::ofstream(d + "/second.script") << start << "fail-alloc 0\nexport\nexport\n";
  ASSERT_EQ(RunIn(d, "first.script"), 0);
  const std::string first = d + "/slices/slice_001_(68,18,64,64).png";
  const std::string shadow = d + "/slices/ControlNet_Slice_001.png";
  const auto firstBytes = testing_support::ReadFileBytes(first);
  const auto shadowBytes = testing_support::ReadFileBytes(shadow);
  std::string second;
  ASSERT_EQ(RunIn(d, "second.script", &second), 0);
  for (const char* line : {"Error: Not enough memory to export slices/slice_002_(68,18,64,64).png",
                           "Exported Slice: slices/slice_002_(68,18,64,64).png",
                           "Exported CN: slices/ControlNet_Slice_002.png"})
    EXPECT_NE(second.find(std::string(line) + "\n"), std::string::npos) << line << second;
  EXPECT_EQ(testing_support::ReadFileBytes(first), firstBytes);
  EXPECT_EQ(testing_support::ReadFileBytes(shadow), shadowBytes);
}

}  // namespace
