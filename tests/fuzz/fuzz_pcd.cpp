// Feeds arbitrary bytes to the Pcd probe, reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "image/codecs/Pcd.h"

namespace {
std::unique_ptr<qimg::Source> Fresh(const uint8_t* data, size_t size) {
  return qimg::Source::FromMemory(data, size);
}

// A decoded picture must be exactly as large as it says; touching every byte
// lets the sanitizers see a short or uninitialised block.
void Touch(const qimg::Decoded& out) {
  if (!out.pixels) return;
  uint64_t bytes = qimg::BlockSize(out.width, out.height, out.bitsPerPixel);
  volatile uint8_t sum = 0;
  for (uint64_t i = 0; i < bytes; ++i) sum = uint8_t(sum + out.pixels[i]);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto s = Fresh(data, size);
  qimg::SniffPCD(data, size < 4096 ? size : 4096);
  qimg::Info info;
  qimg::GetPCDDims(*s, info);
  qimg::Decoded out;
  if (qimg::ReadPCD(*Fresh(data, size), out) == qimg::kOk) Touch(out);
  // Small inputs never reach the image data; also wrap them into a file of
  // the full size: first byte the orientation, the rest the start of the YCC data.
  constexpr size_t kBase = 0x30000, kFull = kBase + 768 * 512 * 3 / 2;
  if (size >= 1 && size < kFull - kBase) {
    std::vector<uint8_t> file(kFull, 0);
    std::memcpy(file.data() + 2048, "PCD_IPI", 7);
    file[0x0E02] = data[0];
    std::memcpy(file.data() + kBase, data + 1, size - 1);
    qimg::Decoded wrapped;
    if (qimg::ReadPCD(*Fresh(file.data(), file.size()), wrapped) == qimg::kOk) Touch(wrapped);
  }
  return 0;
}
