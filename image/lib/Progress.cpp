#include "image/lib/Progress.h"

#include <utility>

namespace qimg {

namespace {
thread_local ProgressScope* t_scope = nullptr;
}  // namespace

ProgressScope::ProgressScope(Progress fn) : fn_(std::move(fn)), outer_(t_scope) { t_scope = this; }

ProgressScope::~ProgressScope() { t_scope = outer_; }

bool ReportProgress(double done) {
  ProgressScope* s = t_scope;
  if (!s) return true;
  if (s->cancelled_) return false;
  if (done < s->last_ + 0.01 && done < 1) return true;
  s->last_ = done;
  if (s->fn_ && !s->fn_(done)) s->cancelled_ = true;
  return !s->cancelled_;
}

}  // namespace qimg
