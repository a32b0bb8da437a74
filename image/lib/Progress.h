// Progress of a long read or write, reported to whoever started it.
#pragma once

#include <functional>

namespace qimg {

// Called with the share of the work done so far, 0 to 1. A read stops, and
// fails with kErrCancelled, when it returns false; a write goes on to the end
// whatever it returns (its temporary file is dropped by the caller).
using Progress = std::function<bool(double done)>;

}  // namespace qimg
