// Helpers shared by the tests of our own codecs: fixtures written by
// ImageMagick, decoding from memory, the standard bad-input sweep.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "image/ISImageEx.h"
#include "image/codecs/ByteReader.h"
#include "support/TestSupport.h"

namespace codec_test {

using testing_support::MagickDecode;
using testing_support::MaxDifference;
// Runs a shell command (gtest's Test::Run hides the support one inside tests).
inline int Sh(const std::string& command, std::string* output = nullptr) {
  return testing_support::Run(command, output);
}
using testing_support::ShellQuote;

#define REQUIRE_CONVERT()                                                              \
  do {                                                                                 \
    if (!testing_support::HaveProgram("convert"))                                      \
      FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)"; \
  } while (0)

// Raw R,G,B bytes of a picture as ImageMagick's rgb: input.
inline std::string RawPicture(const std::string& dir, uint32_t w, uint32_t h, uint32_t seed,
                              CISImageEx* keep = nullptr) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, w, h, seed);
  std::string path = dir + "/in" + std::to_string(w) + "x" + std::to_string(h) + "_" +
                     std::to_string(seed) + ".rgb";
  std::vector<uint8_t> bytes(im.Pixels(), im.Pixels() + size_t{im.RowBytes()} * h);
  testing_support::WriteFileBytes(path, bytes);
  if (keep) keep->CopyFrom(im);
  return "-size " + std::to_string(w) + "x" + std::to_string(h) +
         " -depth 8 rgb:" + ShellQuote(path);
}

// Runs `convert INPUT OPTIONS OUT`; true on success.
inline bool Convert(const std::string& input, const std::string& options, const std::string& out) {
  return Sh("convert " + input + " " + options + " " + ShellQuote(out) + " 2>/dev/null") == 0;
}

// Loads through the image buffer and compares with ImageMagick's decoding.
inline void ExpectLoadsLikeMagick(const std::string& path, int tolerance,
                                  const std::string& magickOptions = "") {
  SCOPED_TRACE(path);
  CISImageEx ours, theirs;
  ASSERT_EQ(ours.Load(path), 0u);
  ASSERT_TRUE(MagickDecode(path, theirs, magickOptions));
  EXPECT_EQ(ours.m_bitsPerPixel, 24u);
  EXPECT_LE(MaxDifference(ours, theirs), tolerance);
  EXPECT_GE(MaxDifference(ours, theirs), 0);
}

inline uint32_t DetectBytesFile(const std::string& path) {
  auto src = qimg::Source::OpenFile(path);
  CISImageEx im;
  return src ? im.DetectFileType(*src, path) : kFileNone;
}

using Reader = std::function<uint32_t(qimg::Source&, uint32_t, qimg::Decoded&)>;

inline uint32_t DecodeBytes(const Reader& read, const std::vector<uint8_t>& bytes, uint32_t bpp,
                            qimg::Decoded& out) {
  auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  return read(*src, bpp, out);
}

// Every prefix cut at the given offsets (and a sweep through the pixel data)
// must fail with an empty picture.
inline void ExpectTruncationsFail(const Reader& read, const std::vector<uint8_t>& file,
                                  const std::vector<size_t>& cuts, uint32_t bpp) {
  std::vector<size_t> all = cuts;
  for (size_t c = 1; c < 16; ++c) all.push_back(file.size() * c / 16);
  all.push_back(file.size() - 1);
  for (size_t cut : all) {
    if (cut >= file.size()) continue;
    std::vector<uint8_t> part(file.begin(), file.begin() + long(cut));
    qimg::Decoded out;
    uint32_t r = DecodeBytes(read, part, bpp, out);
    EXPECT_NE(r, 0u) << "cut at " << cut;
    EXPECT_FALSE(out.pixels) << "cut at " << cut;
  }
}

inline std::vector<uint8_t> Saved(CISImageEx& im, uint32_t code) {
  auto dest = qimg::Dest::ToMemory();
  EXPECT_EQ(im.Save(*dest, code), 0u);
  const std::string& m = dest->Memory();
  return std::vector<uint8_t>(m.begin(), m.end());
}

inline void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
inline void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutLe16(b, at, v & 0xFFFF), PutLe16(b, at + 2, v >> 16);
}
inline void PutBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace codec_test
