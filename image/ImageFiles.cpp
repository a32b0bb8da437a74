// Reading and writing image files: type detection by content and extension,
// decode paths by file type code, resolution records.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "image/ISImageEx.h"
#include "image/codecs/Bmp.h"
#include "image/codecs/Gif.h"
#include "image/codecs/Jpeg.h"
#include "image/codecs/Metafile.h"
#include "image/codecs/Pcd.h"
#include "image/codecs/Pcx.h"
#include "image/codecs/Png.h"
#include "image/codecs/Psd.h"
#include "image/codecs/Tga.h"
#include "image/codecs/Tiff.h"
#include "image/codecs/Wbmp.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Base code of a detected family (the code that stands when its probe fails).
uint32_t FamilyBaseCode(int family) {
  switch (family) {
    case qimg::kFamilyBMP: return kFileBMP;
    case qimg::kFamilyGIF: return kFileGIF;
    case qimg::kFamilyJPEG: return kFileJPEG;
    case qimg::kFamilyPNG: return kFilePNG;
    case qimg::kFamilyPCX: return kFilePCX;
    case qimg::kFamilyTIFF: return kFileTIFF;
    case qimg::kFamilyWMF: return kFileWMF;
    case qimg::kFamilyEMF: return kFileEMF;
    case qimg::kFamilyPSD: return kFilePSD;
    case qimg::kFamilyWBMP: return kFileWBMP;
    case qimg::kFamilyTGA: return kFileTGA;
    case qimg::kFamilyPCD: return kFilePCD;
    default: return kFileNone;
  }
}

bool IsWritableType(uint32_t code) {
  switch (code) {
    case kFileJPEG:
    case kFileBMP:
    case kFilePCX:
    case kFilePNG:
    case kFileTIFF:
    case kFileTGA:
    case kFileWMF:
    case kFileEMF:
    case kFilePSD:
    case kFileWBMP:
    case kFileGIF: return true;
    default: return false;
  }
}

// Requested depth of each decode path.
uint32_t DecodeDepth(uint32_t code) {
  switch (code) {
    case kFileJPEGGrey:
    case kFileBMP8:
    case kFilePCX8:
    case kFilePNG8:
    case kFileTIFF8:
    case kFileTGA8:
    case kFilePSD8:
    case kFileWBMP:
    case kFileGIF: return 8;
    case kFileTIFF32:
    case kFileTGA32: return 32;
    case kFileTIFF1:
    case kFilePNG1:
    case kFileBMP1: return 1;
    default: return 24;
  }
}

uint32_t Decode(qimg::Source& src, uint32_t code, qimg::Decoded& out) {
  uint32_t bpp = DecodeDepth(code);
  switch (code) {
    case kFileJPEG: qimg::SetJPGDCTScaleFactors(1, 1); return qimg::ReadJPG(src, bpp, out);
    case kFileJPEGGrey: return qimg::ReadJPG(src, bpp, out);
    case kFileBMP:
    case kFileBMP8:
    case kFileBMP1: return qimg::ReadBMP(src, bpp, out);
    case kFilePCX:
    case kFilePCX8: return qimg::ReadPCX(src, bpp, out);
    case kFilePNG:
    case kFilePNG8:
    case kFilePNG1: return qimg::ReadPNG(src, bpp, out);
    case kFileTIFF:
    case kFileTIFF8:
    case kFileTIFF32:
    case kFileTIFF1: {
      uint32_t r = qimg::ReadTIFF(src, bpp, out);
      if (r == qimg::kOk && code == kFileTIFF1) {
        // 1-bit TIFFs show bit 0 white and 1 black whatever the file says.
        out.palette.entries[0] = {255, 255, 255, 0};
        out.palette.entries[1] = {0, 0, 0, 0};
        out.palette.count = 2;
      }
      return r;
    }
    case kFileTGA:
    case kFileTGA8:
    case kFileTGA32: return qimg::ReadTGA(src, bpp, out);
    case kFilePSD:
    case kFilePSD8: return qimg::ReadPSD(src, bpp, out);
    case kFileWBMP: return qimg::ReadWBMP(src, bpp, out);
    case kFilePCD: return qimg::ReadPCD(src, out);
    case kFileGIF: return qimg::ReadGIF(src, bpp, out);
    default: return qimg::kErrUnsupported;
  }
}

}  // namespace

uint32_t CISImageEx::FileTypeFromExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return kFileNone;
  std::string ext = Lower(path.substr(dot));
  static const struct {
    const char* ext;
    uint32_t code;
  } kTable[] = {
      {".bmp", kFileBMP},   {".wbmp", kFileWBMP}, {".wbm", kFileWBMP}, {".tga", kFileTGA},
      {".jpeg", kFileJPEG}, {".jpg", kFileJPEG},  {".tif", kFileTIFF}, {".tiff", kFileTIFF},
      {".pcx", kFilePCX},   {".gif", kFileGIF},   {".png", kFilePNG},  {".wmf", kFileWMF},
      {".emf", kFileEMF},   {".psd", kFilePSD},
  };
  for (const auto& e : kTable)
    if (ext == e.ext) return e.code;
  return kFileNone;
}

uint32_t CISImageEx::DetectFileType(qimg::Source& source, const std::string& path) {
  source.Seek(0);
  int family = qimg::GuessFileType(source);
  uint32_t code = FamilyBaseCode(family);
  if (code == kFileNone) {
    code = FileTypeFromExtension(path);
    if (code == kFileWMF || code == kFileEMF || code == kFileNone) {
      source.Seek(0);
      return code;
    }
  }
  source.Seek(0);
  qimg::Info info;
  switch (code) {
    case kFileJPEG:
      if (qimg::GetJPGDims(source, info)) code = info.bitsPerPixel <= 8 ? kFileJPEGGrey : kFileJPEG;
      break;
    case kFileBMP:
      if (qimg::GetBMPDims(source, info) && info.bitsPerPixel <= 8)
        code = info.bitsPerPixel == 1 ? kFileBMP1 : kFileBMP8;
      break;
    case kFilePCX:
      if (qimg::GetPCXDims(source, info)) code = info.bitsPerPixel <= 8 ? kFilePCX8 : kFilePCX;
      break;
    case kFilePNG:
      if (qimg::GetPNGDims(source, info)) {
        if (info.bitsPerPixel == 1)
          code = kFilePNG1;
        else if (info.bitsPerPixel > 8)
          code = kFilePNG;
        else if (info.bitsPerPixel == 8 && info.colorType == 6)
          code = kFilePNG;
        else if (info.colorType == 3 || info.colorType == 0)
          code = kFilePNG8;
        else
          code = kFilePNG;
      }
      break;
    case kFileTIFF:
      if (qimg::GetTIFFDims(source, info)) {
        if (info.bitsPerPixel == 32)
          code = kFileTIFF32;
        else if (info.bitsPerPixel <= 8)
          code = info.bitsPerPixel == 1 ? kFileTIFF1 : kFileTIFF8;
      }
      break;
    case kFileTGA:
      if (qimg::GetTGADims(source, info)) {
        if (info.bitsPerPixel == 32)
          code = kFileTGA32;
        else if (info.bitsPerPixel <= 8)
          code = kFileTGA8;
      }
      break;
    case kFilePSD:
      if (qimg::GetPSDDims(source, info) && info.colorType <= 2) code = kFilePSD8;
      break;
    default: break;
  }
  source.Seek(0);
  return code;
}

void CISImageEx::ReadResolution(qimg::Source& source, uint32_t fileType) {
  double x = 300, y = 300;
  uint32_t unit = 1;
  qimg::Info info;
  source.Seek(0);
  switch (fileType) {
    case kFileJPEG:
    case kFileJPEGGrey:
      if (qimg::GetJPGDims(source, info)) {
        x = info.resX;
        y = info.resY;
        unit = info.resUnit == 1 ? 2 : info.resUnit == 2 ? 3 : 1;
      }
      break;
    case kFileBMP:
    case kFileBMP8:
    case kFileBMP1:
      if (qimg::GetBMPDims(source, info)) {
        x = info.resX;
        y = info.resY;
        if (info.resUnit == 2) x /= 100, y /= 100, unit = 3;
      }
      break;
    case kFilePNG:
    case kFilePNG8:
    case kFilePNG1:
      if (qimg::GetPNGDims(source, info)) {
        x = info.resX;
        y = info.resY;
        if (info.resUnit == 1) x /= 100, y /= 100, unit = 3;
      }
      break;
    case kFileTIFF:
    case kFileTIFF8:
    case kFileTIFF32:
    case kFileTIFF1:
      if (qimg::GetTIFFDims(source, info)) {
        x = info.resX;
        y = info.resY;
        unit = (info.resUnit >= 1 && info.resUnit <= 3) ? uint32_t(info.resUnit) : 1;
      }
      break;
    default: break;
  }
  source.Seek(0);
  // Values far out of range would make the truncation undefined.
  auto whole = [](double v) {
    return std::isfinite(v) && std::fabs(v) < 2e9 ? std::trunc(v) : 0.0;
  };
  m_resolutionX = whole(x);
  m_resolutionY = whole(y);
  m_resolutionUnit = unit;
  m_lastReadX = x;
  m_lastReadY = y;
}

qimg::ResolutionRecord CISImageEx::ResolutionForWriter(uint32_t fileType) const {
  double x = m_resolutionX, y = m_resolutionY;
  uint32_t unit = m_resolutionUnit;
  switch (fileType) {
    case kFileJPEG: return {x, y, unit == 2 ? 1 : unit == 3 ? 2 : 0};
    case kFileBMP:
      if (unit == 2) return {x * 39.37, y * 39.37, 0};
      if (unit == 3) return {x * 100, y * 100, 0};
      return {0, 0, 0};
    case kFilePNG:
      if (unit == 2) return {std::trunc(x * 39.37), std::trunc(y * 39.37), 1};
      if (unit == 3) return {std::trunc(x * 100), std::trunc(y * 100), 1};
      return {0, 0, 0};
    case kFileTIFF: return {x, y, unit == 2 ? 2 : unit == 3 ? 3 : 1};
    default: return {0, 0, 1};
  }
}

uint32_t CISImageEx::Load(const std::string& path) {
  Clear();
  if (path.empty()) return kISEmptyPath;
  auto source = qimg::Source::OpenFile(path);
  if (!source) return kISRefused;
  return Load(*source, path);
}

namespace {
// The pixel aspect correction stretches at most this far; beyond it the
// resolution tags are taken as broken and the file is refused.
constexpr double kMaxAspectRatio = 8;
// The decoders' budget for the delivered picture: beyond a floor, no more
// bytes than this many per byte of file.
constexpr uint64_t kCorrectedFloorBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxCorrectedPerFileByte = 4096;
}  // namespace

uint32_t CISImageEx::Load(qimg::Source& sourceRef, const std::string& path) {
  Clear();
  qimg::Source* source = &sourceRef;
  source->Seek(0);
  uint32_t code = DetectFileType(*source, path);
  if (code == kFileNone) return kISRefused;

  qimg::Decoded decoded;
  uint32_t result;
  if (code == kFileWMF || code == kFileEMF) {
    result = qimg::ReadMetafile(*source, decoded);
    if (result != qimg::kOk || !decoded.pixels) return result ? result : qimg::kErrFormat;
    AdoptDecoded(decoded);
    return result;
  }
  source->Seek(0);
  result = Decode(*source, code, decoded);
  if (result != qimg::kOk || !decoded.pixels) {
    Clear();
    return result ? result : qimg::kErrFormat;
  }
  ReadResolution(*source, code);
  AdoptDecoded(decoded);
  // The 24-bit picture Load delivers obeys the decoders' budget as well: a
  // tiny file must not grow into gigabytes through depth conversion or the
  // aspect correction below.
  const double budget = static_cast<double>(
      std::min(qimg::kMaxBlockBytes - 1,
               std::max(kCorrectedFloorBytes, kMaxCorrectedPerFileByte * source->Size())));
  auto refuse = [this] {
    Clear();
    qimg::SetLastError(qimg::kErrTooLarge);
    return static_cast<uint32_t>(qimg::kErrTooLarge);
  };
  if (m_bitsPerPixel != 24 && double(m_width) * m_height * 3 > budget) return refuse();

  // Pixel aspect correction for TIFFs with unequal resolutions. Bilevel and
  // grey TIFFs are included: fax pages (204 x 98 dpi, 1-bit) are the usual
  // case, and would otherwise show squashed to half their height. Palette
  // and bit depths are brought to RGB first, as indices cannot be resampled.
  if (code == kFileTIFF || code == kFileTIFF8 || code == kFileTIFF1 || code == kFileTIFF32) {
    double rx = m_lastReadX, ry = m_lastReadY;
    if (rx != ry && rx != 0) {
      double ratio = ry / rx;
      double h = ratio != 0 ? std::trunc(m_height / ratio) : 0;
      if (ratio != 0 && std::fabs(1 - ratio) > 0.25 && h >= 1) {
        // The stretch is capped, and the corrected picture must fit the budget.
        if (ratio > kMaxAspectRatio || ratio < 1 / kMaxAspectRatio || h * m_width * 3 > budget)
          return refuse();
        if (m_bitsPerPixel != 24 && m_bitsPerPixel != 32) {
          CISImageEx rgb;
          if (ConvertTo24(rgb) == kISOk) TakeOver(rgb);
        }
        CISImageEx temp;
        if (temp.ResizeFrom(*this, m_width, static_cast<uint32_t>(h), 0) == kISOk) TakeOver(temp);
      }
    }
  }
  if (m_bitsPerPixel != 24) {
    CISImageEx temp;
    if (ConvertTo24(temp) == kISOk) TakeOver(temp);
  }
  return result;
}

uint32_t CISImageEx::Save(qimg::Dest& destination, uint32_t fileType) {
  if (!HasPixels()) return kISRefused;
  const CISImageEx* src = this;
  CISImageEx temp;
  auto as24 = [&]() -> uint32_t {
    if (m_bitsPerPixel == 24) return kISOk;
    uint32_t r = ConvertTo24(temp);
    src = &temp;
    return r;
  };
  auto image = [](const CISImageEx& im) {
    qimg::WriteImage w;
    w.pixels = im.Pixels();
    w.width = im.m_width;
    w.height = im.m_height;
    w.rowBytes = im.RowBytes();
    w.bitsPerPixel = im.m_bitsPerPixel;
    return w;
  };
  uint32_t r;
  switch (fileType) {
    case kFileJPEG:
    case kFileBMP:
    case kFilePCX:
    case kFilePNG:
    case kFileTIFF:
    case kFileTGA:
    case kFileWMF:
    case kFileEMF:
    case kFilePSD: {
      if ((r = as24()) != kISOk) return r;
      qimg::WriteImage w = image(*src);
      switch (fileType) {
        case kFileJPEG:
          r = qimg::WriteJPG(destination, w, int(m_jpegQuality), m_jpegFlag ? 1 : 0,
                             ResolutionForWriter(kFileJPEG));
          break;
        case kFileBMP:
          r = qimg::WriteBMP(destination, w, 16777216, ResolutionForWriter(kFileBMP));
          break;
        case kFilePCX: r = qimg::WritePCX(destination, w, {0, 0, 1}); break;
        case kFilePNG: r = qimg::WritePNG(destination, w, ResolutionForWriter(kFilePNG)); break;
        case kFileTIFF:
          r = qimg::WriteTIFF(destination, w, m_tiffOption, ResolutionForWriter(kFileTIFF));
          break;
        case kFileTGA: r = qimg::WriteTGA(destination, w); break;
        case kFilePSD: r = qimg::WritePSD(destination, w); break;
        default: r = qimg::WriteRGBToMetafile(destination, w, fileType == kFileEMF); break;
      }
      break;
    }
    case kFileWBMP: {
      if ((r = as24()) != kISOk) return r;
      CISImageEx twoTone;
      if ((r = src->ConvertToTwoTone(twoTone, m_wbmpThreshold)) != kISOk) return r;
      qimg::Palette pal;
      pal.count = twoTone.m_paletteCount;
      std::copy(twoTone.m_palette, twoTone.m_palette + 256, pal.entries);
      qimg::WriteImage w = image(twoTone);
      w.palette = &pal;
      r = qimg::WriteWBMP(destination, w);
      break;
    }
    case kFileGIF: {
      CISImageEx eight;
      const CISImageEx* g = this;
      if (m_bitsPerPixel != 8) {
        if ((r = ConvertTo8(eight)) != kISOk) return r;
        g = &eight;
      }
      qimg::Palette pal;
      pal.count = std::min(256u, g->m_paletteCount);
      std::copy(g->m_palette, g->m_palette + 256, pal.entries);
      qimg::WriteImage w = image(*g);
      w.palette = &pal;
      r = qimg::WriteGIF(destination, w);
      break;
    }
    default: return kISOk;  // no format: nothing written
  }
  if (r == qimg::kOk && destination.Failed()) r = qimg::kErrWrite;
  return r;
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// So that a power loss right after the rename cannot lose the new name.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The file a chain of symbolic links at path ends in (path itself when it is
// none); a relative link is read from the link's own folder.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
    target.resize(static_cast<size_t>(n));
    path = target[0] == '/' ? target : FolderOf(path) + target;
  }
  return path;
}

bool CopyInto(const std::string& from, int to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::vector<char> buffer(size_t{1} << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n && ok;) {
      const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      done += w > 0 ? w : 0;
    }
    if (!ok) break;
  }
  ::close(in);
  return ok;
}

// Gives the complete file at temp the name target unless a file of that name
// exists at that moment; the check and the naming are one step.
uint32_t ClaimName(const std::string& temp, const std::string& target) {
  if (!qimg::NoAtomicClaim()) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
      return kISOk;
    if (errno == EEXIST) return qimg::kErrExists;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return qimg::kErrWrite;
    // File systems without the flag: a hard link fails just as atomically.
    if (::link(temp.c_str(), target.c_str()) == 0) {
      ::unlink(temp.c_str());
      return kISOk;
    }
    if (errno == EEXIST) return qimg::kErrExists;
  }
  // Neither (some FUSE and network mounts): creating the name exclusively
  // claims it; the picture is copied in and the name removed if that fails.
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? qimg::kErrExists : qimg::kErrOpen;
  const bool ok = CopyInto(temp, fd) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  ::unlink(temp.c_str());
  if (ok && closed) return kISOk;
  ::unlink(target.c_str());
  return qimg::kErrWrite;
}

}  // namespace

uint32_t CISImageEx::SaveTemporary(const std::string& folder, uint32_t fileType,
                                   std::string& temp) {
  if (!HasPixels()) return kISRefused;
  if (!IsWritableType(fileType)) return qimg::kErrParam;  // no format: no file at all
  // A short name beside the target, so that the rename is atomic and a long
  // target name cannot push it past the file system's limit.
  int fd = -1;
  std::random_device rd;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".quiltor-%08x.part", static_cast<unsigned>(rd()));
    temp = folder + name;
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) return qimg::kErrOpen;
  ::close(fd);
  uint32_t r;
  {
    auto dest = qimg::Dest::OpenFile(temp);
    if (!dest) {
      ::unlink(temp.c_str());
      return qimg::kErrOpen;
    }
    r = Save(*dest, fileType);
    bool closed = dest->Close();
    if (r == kISOk && !closed) r = qimg::kErrWrite;
    if (r == kISOk) {
      int sfd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
      if (sfd >= 0) {
        if (::fsync(sfd) != 0) r = qimg::kErrWrite;
        ::close(sfd);
      }
    }
  }
  if (r != kISOk) ::unlink(temp.c_str());
  return r;
}

uint32_t CISImageEx::SaveFile(const std::string& path, uint32_t fileType) {
  // Through a link, as editors do: the link stays and its target gets the picture.
  const std::string target = FollowLinks(path);
  const std::string folder = FolderOf(target);
  std::string temp;
  const uint32_t r = SaveTemporary(folder, fileType, temp);
  if (r != kISOk) return r;
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return qimg::kErrWrite;
  }
  SyncFolder(folder);
  return kISOk;
}

uint32_t CISImageEx::SaveFileNew(const std::string& path, uint32_t fileType) {
  const std::string folder = FolderOf(path);
  std::string temp;
  uint32_t r = SaveTemporary(folder, fileType, temp);
  if (r != kISOk) return r;
  r = ClaimName(temp, path);
  if (r != kISOk) {
    ::unlink(temp.c_str());
    return r;
  }
  SyncFolder(folder);
  return kISOk;
}
