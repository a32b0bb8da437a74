// Start-up time of the desktop application: process start to the first
// painted window, empty and with an 8000 x 6000 PNG on the command line,
// against `quiltor-cli info` decoding the same file. Offscreen platform.
//   bench_startup [PICTURE.png] [RUNS]
// Without a picture, bench/make-photo.sh's /tmp/quiltor-bench/photo.png is
// used (made when missing).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {
double RunOnce(const std::vector<std::string>& argv, bool waitForPaint) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return -1;
  close(out[1]);
  double elapsed = -1;
  std::string seen;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
    seen.append(buffer, static_cast<size_t>(n));
    if (waitForPaint && seen.find("first-paint") != std::string::npos && elapsed < 0)
      elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!waitForPaint)
    elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

double Median(const std::vector<std::string>& argv, bool waitForPaint, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double t = RunOnce(argv, waitForPaint);
    if (t < 0) {
      std::fprintf(stderr, "run failed: %s\n", argv[0].c_str());
      std::exit(1);
    }
    times.push_back(t);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  std::string picture = argc > 1 && *argv[1] ? argv[1] : "/tmp/quiltor-bench/photo.png";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  if (access(picture.c_str(), R_OK) != 0) {
    const std::string make =
        std::string("bash ") + QUILTOR_SOURCE_DIR + "/bench/make-photo.sh >/dev/null";
    if (std::system(make.c_str()) != 0) return 1;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // a private settings folder, so stored pane layouts do not change the run
  char home[] = "/tmp/quiltor-startup-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("XDG_CONFIG_HOME", home, 1);
  setenv("HOME", home, 1);

  const double empty = Median({QUILTOR_APP_EXE}, true, runs);
  const double withPicture = Median({QUILTOR_APP_EXE, picture}, true, runs);
  const double decode = Median({QUILTOR_CLI, "info", picture}, false, runs);
  std::printf("runs: %d (median)\n", runs);
  std::printf("empty start to first paint:        %8.1f ms  (target <= 300 ms)\n", empty);
  std::printf("start with picture to first paint: %8.1f ms\n", withPicture);
  std::printf("quiltor-cli info (full decode):    %8.1f ms\n", decode);
  std::printf("picture start / decode:            %8.2f    (target <= 1.20)\n",
              withPicture / decode);
  return 0;
}
