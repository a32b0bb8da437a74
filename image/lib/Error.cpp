#include "image/lib/Imaging.h"

namespace qimg {

namespace {
// The layer is used from one thread at a time (the user-interface thread);
// thread_local keeps tests and fuzzers that run decoders in parallel honest.
thread_local uint32_t lastError = kOk;
}  // namespace

uint32_t GetLastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

const char* ErrorText(uint32_t code) {
  switch (code) {
    case kOk: return "no error";
    case kErrNoMemory: return "out of memory";
    case kErrOpen: return "cannot open file";
    case kErrRead: return "read error";
    case kErrWrite: return "write error";
    case kErrFormat: return "corrupt or unrecognised data";
    case kErrUnsupported: return "unsupported variant of the format";
    case kErrTooLarge: return "picture too large";
    case kErrParam: return "bad parameter";
    case kErrTruncated: return "file ends early";
    default: return "unknown error";
  }
}

}  // namespace qimg
