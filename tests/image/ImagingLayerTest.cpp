// The imaging layer's plumbing: sources, destinations, blocks, conversions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <numeric>

#include "image/ISImageEx.h"
#include "image/lib/Imaging.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 31 + (i >> 8));
  return v;
}

TEST(Source, FileAndMemoryReadTheSameBytes) {
  // larger than the read-ahead so that buffered and direct reads both happen
  std::vector<uint8_t> data = Pattern(700000);
  std::string path = TempDir() + "/data.bin";
  ASSERT_TRUE(testing_support::WriteFileBytes(path, data));
  auto file = qimg::Source::OpenFile(path);
  auto mem = qimg::Source::FromMemory(data.data(), data.size());
  ASSERT_TRUE(file && mem);
  EXPECT_EQ(file->Size(), data.size());
  for (qimg::Source* s : {file.get(), mem.get()}) {
    std::vector<uint8_t> got(data.size());
    size_t pos = 0;
    for (size_t chunk : {1u, 7u, 4096u, 300000u, 123u}) {
      ASSERT_EQ(s->Read(got.data() + pos, chunk), chunk);
      pos += chunk;
    }
    ASSERT_EQ(s->Read(got.data() + pos, data.size()), data.size() - pos);  // short at the end
    EXPECT_EQ(got, data);
    EXPECT_EQ(s->Read(got.data(), 1), 0u);
    ASSERT_TRUE(s->Seek(500000));
    uint8_t b[3];
    ASSERT_TRUE(s->ReadExact(b, 3));
    EXPECT_EQ(b[0], data[500000]);
    EXPECT_EQ(b[2], data[500002]);
    EXPECT_FALSE(s->Seek(data.size() + 1));
    EXPECT_TRUE(s->Seek(0));
    EXPECT_TRUE(s->ReadExact(b, 1));
    EXPECT_EQ(b[0], data[0]);
  }
}

TEST(Source, RefusesMissingFilesAndFolders) {
  EXPECT_EQ(qimg::Source::OpenFile("/nonexistent/x.png"), nullptr);
  EXPECT_EQ(qimg::Source::OpenFile(TempDir()), nullptr);
}

TEST(Dest, MemoryAndFileWithHeaderPatch) {
  std::vector<uint8_t> data = Pattern(3u << 20);
  std::string path = TempDir() + "/out.bin";
  auto file = qimg::Dest::OpenFile(path);
  auto mem = qimg::Dest::ToMemory();
  ASSERT_TRUE(file && mem);
  for (qimg::Dest* d : {file.get(), mem.get()}) {
    ASSERT_TRUE(d->Write("HDR!", 4));
    ASSERT_TRUE(d->Write(data.data(), 10));
    ASSERT_TRUE(d->Write(data.data() + 10, data.size() - 10));  // larger than the buffer
    EXPECT_EQ(d->Tell(), data.size() + 4);
    ASSERT_TRUE(d->Seek(0));
    ASSERT_TRUE(d->Write("head", 4));
    EXPECT_TRUE(d->Close());
  }
  std::vector<uint8_t> want(4);
  std::memcpy(want.data(), "head", 4);
  want.insert(want.end(), data.begin(), data.end());
  EXPECT_EQ(testing_support::ReadFileBytes(path), want);
  EXPECT_EQ(std::vector<uint8_t>(mem->Memory().begin(), mem->Memory().end()), want);
}

TEST(Dest, CannotCreateInMissingFolder) {
  EXPECT_EQ(qimg::Dest::OpenFile("/nonexistent/folder/x.png"), nullptr);
}

TEST(Block, SizesStayBelowTheLimit) {
  EXPECT_EQ(qimg::BlockSize(3, 2, 1), 2u);
  EXPECT_EQ(qimg::BlockSize(10, 10, 24), 300u);
  EXPECT_EQ(qimg::BlockSize(0, 10, 24), 0u);
  EXPECT_EQ(qimg::BlockSize(65536, 65536, 8), 1ull << 32);  // 4 GiB and beyond are pictures too
  EXPECT_EQ(qimg::BlockSize(65535, 65535, 8), 65535ull * 65535);
  EXPECT_EQ(qimg::BlockSize(0xFFFFFFFF, 0xFFFFFFFF, 32), 0u);
  EXPECT_EQ(qimg::BlockSize(40000, 40000, 24), 4'800'000'000ull);
  EXPECT_EQ(qimg::BlockSize(1u << 20, 1u << 20, 8), 0u);  // exactly the limit
  EXPECT_EQ(qimg::BlockSize(0x7FFFFFFF, 1, 8), 0x7FFFFFFFull);
  EXPECT_EQ(qimg::BlockSize(0x80000000, 1, 8), 0u);  // a row past 2^31 - 1 bytes
  EXPECT_EQ(qimg::BlockSize(0x2AAAAAAB, 1, 24), 0u);
  EXPECT_EQ(qimg::AllocBlock(0), nullptr);
  EXPECT_EQ(qimg::AllocBlock(qimg::kMaxBlockBytes), nullptr);
  qimg::Block big(qimg::AllocBlock(5u << 20));
  ASSERT_TRUE(big);
  big[0] = 1;
  big[(5u << 20) - 1] = 2;
}

TEST(Conversions, ColorCompareSeparatesDarkFromLight) {
  const uint32_t tol = 3 * 128 * 128;
  EXPECT_FALSE(qimg::ColorCompare(0x000000, 0, tol));
  EXPECT_FALSE(qimg::ColorCompare(0x7F7F7F, 0, tol));
  EXPECT_TRUE(qimg::ColorCompare(0x808080, 0, tol));
  EXPECT_TRUE(qimg::ColorCompare(0xFFFFFF, 0, tol));
  EXPECT_TRUE(qimg::ColorCompare(0x0000FF, 0, 255 * 255));  // pure red, at the tolerance
}

TEST(Conversions, EightBitIndexPastPaletteIsBlack) {
  qimg::Palette pal;
  pal.count = 1;
  pal.entries[0] = {10, 20, 30, 0};
  const uint8_t src[2] = {0, 200};
  uint8_t dst[6];
  qimg::EightBitToRGB(src, 2, 1, 2, dst, 6, pal);
  const uint8_t want[6] = {30, 20, 10, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(dst, want, 6));
}

TEST(SaveFile, LeavesNothingBehindOnFailure) {
  CISImageEx im;
  ASSERT_EQ(im.Create(4, 4, 24), kISOk);
  std::memset(im.Pixels(), 90, 48);
  std::string dir = TempDir();
  // no type: no file at all
  EXPECT_NE(im.SaveFile(dir + "/x.webp", kFileNone), kISOk);
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.webp"));
  // missing folder: an error, not success
  EXPECT_NE(im.SaveFile(dir + "/missing/x.png", kFilePNG), kISOk);
  // read-only folder (skipped for root, who may write anyway)
  if (geteuid() != 0) {
    std::string ro = dir + "/ro";
    std::filesystem::create_directory(ro);
    chmod(ro.c_str(), 0555);
    EXPECT_NE(im.SaveFile(ro + "/x.png", kFilePNG), kISOk);
    chmod(ro.c_str(), 0755);
  }
  size_t leftovers = 0;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir))
    leftovers += e.path().extension() == ".part";
  EXPECT_EQ(leftovers, 0u);
  // a file name at the file system's limit still saves
  std::string longName = dir + "/" + std::string(251, 'n') + ".bmp";
  EXPECT_EQ(im.SaveFile(longName, kFileBMP), kISOk);
  EXPECT_TRUE(std::filesystem::exists(longName));
  CISImageEx empty;
  EXPECT_EQ(empty.SaveFile(dir + "/e.png", kFilePNG), kISRefused);
  EXPECT_FALSE(std::filesystem::exists(dir + "/e.png"));
}

}  // namespace
