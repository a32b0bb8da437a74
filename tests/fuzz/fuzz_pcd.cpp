// Feeds arbitrary bytes to the Pcd probe, reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "image/codecs/Pcd.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffPCD, qimg::GetPCDDims, nullptr,
                [](qimg::Source& s, uint32_t, qimg::Decoded& out) { return qimg::ReadPCD(s, out); },
                {24u});
  // Small inputs never reach the image data; also wrap them into a file of
  // the full size: first byte the orientation, the rest the start of the YCC data.
  constexpr size_t kBase = 0x30000, kFull = kBase + 768 * 512 * 3 / 2;
  if (size >= 1 && size < kFull - kBase) {
    std::vector<uint8_t> file(kFull, 0);
    std::memcpy(file.data() + 2048, "PCD_IPI", 7);
    file[0x0E02] = data[0];
    std::memcpy(file.data() + kBase, data + 1, size - 1);
    qimg::Decoded wrapped;
    if (qimg::ReadPCD(*fuzz::Fresh(file.data(), file.size()), wrapped) == qimg::kOk)
      fuzz::Touch(wrapped);
  }
  return 0;
}
