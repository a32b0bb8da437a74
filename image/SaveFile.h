// The one way a file is written: through a temporary file beside it that
// takes the name only when complete, so that a crash or a full disk never
// leaves a half-written picture under the name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "image/lib/Imaging.h"

namespace qimg {

enum class SaveMode {
  // A symbolic link at the path is written through, as editors do: the link
  // stays and its target gets the new file.
  kReplace,
  // Never replaces a file: kErrExists when one of that name exists or appears
  // meanwhile. The name is claimed in one step (renameat2 with
  // RENAME_NOREPLACE, else a hard link, else creating it with O_EXCL and
  // copying into it).
  kNoReplace,
};

// Writes the file's bytes into the destination it is given; its result is
// kOk or an error code.
using FileWriter = std::function<uint32_t(Dest& dest)>;

// Another name to try when a name is taken (kNoReplace), in the first one's
// folder; never empty.
using NextName = std::function<std::string()>;

// Runs write on a fresh temporary file in path's folder, fsyncs it, gives it
// the name and fsyncs the folder. With kNoReplace and nextName, a taken name
// moves on to the next one with the same written file. Returns write's
// result, or kErrOpen / kErrWrite / kErrExists; nothing is left behind on
// failure.
uint32_t SaveFile(const std::string& path, SaveMode mode, const FileWriter& write,
                  const NextName& nextName = {});

}  // namespace qimg
