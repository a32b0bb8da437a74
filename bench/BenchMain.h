// The main of the document benchmarks: settings, HOME and the documents
// folder live in a folder of their own for the run, so that a benchmark
// neither reads nor changes the user's.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QSettings>
#include <QString>
#include <filesystem>
#include <string>

// Runs the registered benchmarks; `root`, when given, learns the folder
// (removed afterwards).
inline int RunBenchmarksInPrivateHome(int argc, char** argv, std::string* root = nullptr) {
  char tmpl[] = "/tmp/quiltor-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string home = tmpl;
  if (root) *root = home;
  setenv("HOME", tmpl, 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(home + "/.config"));
  benchmark::Initialize(&argc, argv);
  int status = 0;
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    status = 1;
  } else {
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return status;
}
