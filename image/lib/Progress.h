// Progress of long reads and writes, reported to whoever started them.
#pragma once

#include <functional>

namespace qimg {

// Called with the share of the work done so far, 0 to 1. Returning false asks
// a read to stop: the file then reads as ending there, so the decode fails
// and the caller learns from its scope that it was cancelled. A write goes on
// to the end whatever it returns.
using Progress = std::function<bool(double done)>;

// Sends the progress of what this thread reads and writes to fn while the
// scope lives; the innermost scope of a thread receives it. Reports come at
// most once per percent.
class ProgressScope {
 public:
  explicit ProgressScope(Progress fn);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  bool Cancelled() const { return cancelled_; }

 private:
  friend bool ReportProgress(double done);
  Progress fn_;
  ProgressScope* outer_;
  double last_ = -1;
  bool cancelled_ = false;
};

// Reports to this thread's scope (if any); false once the work is to stop.
bool ReportProgress(double done);

}  // namespace qimg
