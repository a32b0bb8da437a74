#include "document/RecoveryJournal.h"

#include <errno.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <atomic>
#include <cstring>

#include "image/kernels/MergeKernels.h"

namespace {

constexpr char kFileMagic[8] = {'Q', 'U', 'I', 'L', 'T', 'J', 'R', 'N'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kHeaderMagic = 0x44485251;  // "QRHD"
constexpr uint32_t kRecordMagic = 0x43455251;  // "QREC"
constexpr size_t kFrameBytes = 8;              // magic and payload length
constexpr size_t kMaxPayload = 0xF0000000u;

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Little-endian encoding into a growing buffer.
struct Out {
  std::vector<uint8_t>& b;
  void U8(uint8_t v) { b.push_back(v); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I32(int v) { U32(static_cast<uint32_t>(v)); }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Str(const QString& s) {
    const QByteArray u = s.toUtf8();
    U32(static_cast<uint32_t>(u.size()));
    b.insert(b.end(), u.begin(), u.end());
  }
};

struct In {
  const uint8_t* p;
  size_t n;
  size_t at = 0;
  bool ok = true;
  bool Need(size_t k) {
    if (!ok || n - at < k) ok = false;
    return ok;
  }
  uint8_t U8() { return Need(1) ? p[at++] : 0; }
  // A little-endian unsigned integer of sizeof(T) bytes; 0 past the end.
  template <class T>
  T Little() {
    if (!Need(sizeof(T))) return 0;
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= T{p[at + i]} << (8 * i);
    at += sizeof(T);
    return v;
  }
  uint32_t U32() { return Little<uint32_t>(); }
  int I32() { return static_cast<int>(U32()); }
  uint64_t U64() { return Little<uint64_t>(); }
  QString Str() {
    const uint32_t len = U32();
    if (!Need(len)) return {};
    QString s = QString::fromUtf8(reinterpret_cast<const char*>(p + at), len);
    at += len;
    return s;
  }
};

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void WriteSlice(Out& o, const JournalSlice& s) {
  o.Str(s.folder);
  for (int v : {s.counter, s.x, s.y, s.width, s.height, s.rotating, s.angle, s.zoom}) o.I32(v);
}

JournalSlice ReadSlice(In& in) {
  JournalSlice s;
  s.folder = in.Str();
  s.counter = in.I32();
  s.x = in.I32();
  s.y = in.I32();
  s.width = in.I32();
  s.height = in.I32();
  s.rotating = in.I32();
  s.angle = in.I32();
  s.zoom = in.I32();
  return s;
}

// Starts a frame at the end of b; FinishFrame fills its length and appends the CRC.
size_t BeginFrame(std::vector<uint8_t>& b, uint32_t magic) {
  const size_t start = b.size();
  Out o{b};
  o.U32(magic);
  o.U32(0);
  return start;
}

void FinishFrame(std::vector<uint8_t>& b, size_t start) {
  PutU32At(b, start + 4, static_cast<uint32_t>(b.size() - start - kFrameBytes));
  const uint32_t crc = libdeflate_crc32(0, b.data() + start, b.size() - start);
  Out o{b};
  o.U32(crc);
}

void SyncFolder(const QString& folder) {
  const int fd = ::open(Local(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::atomic<int> g_journalNumber{0};
void (*g_compactionHook)() = nullptr;

QString CompactPathOf(const QString& journalPath) {
  return journalPath + QStringLiteral(".compact");
}

}  // namespace

bool StatJournalFile(const QString& path, int64_t& size, int64_t& timeNs) {
  struct stat st;
  if (::stat(Local(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size;
  timeNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

void CRecoveryJournal::CompressorDeleter::operator()(void* c) const {
  libdeflate_free_compressor(static_cast<libdeflate_compressor*>(c));
}

CRecoveryJournal::CRecoveryJournal() = default;

CRecoveryJournal::~CRecoveryJournal() { CloseFiles(); }

QString CRecoveryJournal::DefaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
         QStringLiteral("/recovery");
}

QString CRecoveryJournal::Folder() const { return m_folder.isEmpty() ? DefaultFolder() : m_folder; }

QString CRecoveryJournal::LockPathOf(const QString& journalPath) {
  QString lock = journalPath;
  if (lock.endsWith(QStringLiteral(".journal"))) lock.chop(8);
  return lock + QStringLiteral(".lock");
}

void CRecoveryJournal::CloseFiles() {
  if (m_fd >= 0) ::close(m_fd);
  if (m_lockFd >= 0) ::close(m_lockFd);  // releases the flock
  m_fd = m_lockFd = -1;
  m_path.clear();
}

bool CRecoveryJournal::CreateLock(const QString& journalPath) {
  const std::string lock = Local(LockPathOf(journalPath));
  m_lockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (m_lockFd < 0) return false;
  if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(m_lockFd);
    m_lockFd = -1;
    return false;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::write(m_lockFd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) return false;
  ::fsync(m_lockFd);
  return true;
}

bool CRecoveryJournal::WriteAll(const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(m_fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CRecoveryJournal::Begin(const JournalBase& base) {
  End();
  const QString folder = Folder();
  if (!QDir().mkpath(folder)) return false;
  const QString path =
      folder +
      QStringLiteral("/%1-%2.journal").arg(::getpid()).arg(g_journalNumber.fetch_add(1) + 1);
  if (!CreateLock(path)) {
    CloseFiles();
    return false;
  }
  m_fd = ::open(Local(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (m_fd < 0) {
    CloseFiles();
    ::unlink(Local(LockPathOf(path)).c_str());
    return false;
  }
  m_path = path;
  EncodeHeader(base);
  if (!WriteAll(m_record.data(), m_record.size()) || ::fsync(m_fd) != 0) {
    End();
    return false;
  }
  SyncFolder(folder);
  return true;
}

void CRecoveryJournal::EncodeHeader(const JournalBase& base) {
  m_record.clear();
  m_record.insert(m_record.end(), kFileMagic, kFileMagic + sizeof kFileMagic);
  Out o{m_record};
  o.U32(kVersion);
  const size_t frame = BeginFrame(m_record, kHeaderMagic);
  o.Str(base.imagePath);
  o.Str(base.documentPath);
  o.U64(static_cast<uint64_t>(base.fileSize));
  o.U64(static_cast<uint64_t>(base.fileTimeNs));
  o.U32(base.width);
  o.U32(base.height);
  FinishFrame(m_record, frame);
}

bool CRecoveryJournal::EncodeRecord(uint8_t kind, int left, int top, int right, int bottom,
                                    const JournalSlice& slice, const uint8_t* picture,
                                    int pictureWidth) {
  if (!picture || right <= left || bottom <= top || left < 0 || top < 0 || right > pictureWidth)
    return false;
  if (!m_compressor) m_compressor.reset(libdeflate_alloc_compressor(1));
  auto* compressor = static_cast<libdeflate_compressor*>(m_compressor.get());
  if (!compressor) return false;
  const size_t rowBytes = size_t{3} * static_cast<size_t>(right - left);
  const size_t rawBytes = rowBytes * static_cast<size_t>(bottom - top);
  m_raw.resize(rawBytes);
  const qkern::ConstPixelView rows{
      picture + (static_cast<std::ptrdiff_t>(top) * pictureWidth + left) * 3, right - left,
      bottom - top, std::ptrdiff_t{3} * pictureWidth, 3};
  qkern::CopyPixels(rows, qkern::PixelView::Packed(m_raw.data(), right - left, bottom - top, 3));

  const size_t frame = BeginFrame(m_record, kRecordMagic);
  Out o{m_record};
  o.U8(kind);
  for (int v : {left, top, right, bottom}) o.I32(v);
  WriteSlice(o, slice);
  o.U64(rawBytes);
  const size_t at = m_record.size();
  const size_t bound = libdeflate_deflate_compress_bound(compressor, rawBytes);
  if (at - frame + bound > kMaxPayload) return false;
  m_record.resize(at + bound);
  const size_t packed =
      libdeflate_deflate_compress(compressor, m_raw.data(), rawBytes, m_record.data() + at, bound);
  if (packed == 0) return false;
  m_record.resize(at + packed);
  FinishFrame(m_record, frame);
  return true;
}

bool CRecoveryJournal::Append(uint8_t kind, int left, int top, int right, int bottom,
                              const JournalSlice& slice, const uint8_t* picture, int pictureWidth) {
  if (m_fd < 0) return false;
  m_record.clear();
  return EncodeRecord(kind, left, top, right, bottom, slice, picture, pictureWidth) &&
         WriteAll(m_record.data(), m_record.size()) && ::fsync(m_fd) == 0;
}

int64_t CRecoveryJournal::Size() const {
  struct stat st;
  return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

void CRecoveryJournal::SetCompactionHook(void (*hook)()) { g_compactionHook = hook; }

bool CRecoveryJournal::Compact(const JournalBase& base, int left, int top, int right, int bottom,
                               const JournalSlice& slice, const uint8_t* picture,
                               int pictureWidth) {
  if (m_fd < 0) return false;
  EncodeHeader(base);
  if (!EncodeRecord(JournalRecord::kCompact, left, top, right, bottom, slice, picture,
                    pictureWidth))
    return false;
  const QString temp = CompactPathOf(m_path);
  const int fd =
      ::open(Local(temp).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const int journal = m_fd;
  m_fd = fd;  // WriteAll writes to m_fd
  const bool written = WriteAll(m_record.data(), m_record.size()) && ::fsync(fd) == 0;
  m_fd = journal;
  if (written && g_compactionHook) g_compactionHook();
  if (!written || ::rename(Local(temp).c_str(), Local(m_path).c_str()) != 0) {
    ::close(fd);
    ::unlink(Local(temp).c_str());
    return false;
  }
  ::close(journal);
  m_fd = fd;
  SyncFolder(QFileInfo(m_path).absolutePath());
  return true;
}

void CRecoveryJournal::End() {
  if (m_path.isEmpty()) {
    CloseFiles();
    return;
  }
  Discard(m_path);
  CloseFiles();
}

void CRecoveryJournal::Abandon() { CloseFiles(); }

bool CRecoveryJournal::Adopt(const QString& orphan, int64_t goodEnd) {
  End();
  const QString folder = QFileInfo(orphan).absolutePath();
  const QString path =
      folder +
      QStringLiteral("/%1-%2.journal").arg(::getpid()).arg(g_journalNumber.fetch_add(1) + 1);
  if (!CreateLock(path)) {
    CloseFiles();
    return false;
  }
  const std::string from = Local(orphan);
  if (::truncate(from.c_str(), goodEnd) != 0 || ::rename(from.c_str(), Local(path).c_str()) != 0) {
    CloseFiles();
    ::unlink(Local(LockPathOf(path)).c_str());
    return false;
  }
  ::unlink(Local(LockPathOf(orphan)).c_str());
  ::unlink(Local(CompactPathOf(orphan)).c_str());  // a compaction the crash cut short
  m_fd = ::open(Local(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (m_fd < 0) {
    CloseFiles();
    Discard(path);
    return false;
  }
  m_path = path;
  ::fsync(m_fd);
  SyncFolder(folder);
  return true;
}

QStringList CRecoveryJournal::Orphans(const QString& folder) {
  QStringList orphans;
  const QFileInfoList journals =
      QDir(folder).entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);
  for (const QFileInfo& info : journals) {
    const QString path = info.absoluteFilePath();
    const int fd = ::open(Local(LockPathOf(path)).c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
      ::close(fd);
      if (held) continue;  // its program still runs
    }
    orphans.append(path);
  }
  return orphans;
}

void CRecoveryJournal::Discard(const QString& journalPath) {
  ::unlink(Local(journalPath).c_str());
  ::unlink(Local(CompactPathOf(journalPath)).c_str());
  ::unlink(Local(LockPathOf(journalPath)).c_str());
}

// --- reading

bool CJournalReader::ReadFrame(uint32_t magic, std::vector<uint8_t>& payload) {
  uint8_t frame[kFrameBytes];
  const qint64 got = m_file.read(reinterpret_cast<char*>(frame), kFrameBytes);
  if (got == 0 && m_file.atEnd()) return false;  // the clean end
  m_damaged = true;
  if (got != static_cast<qint64>(kFrameBytes)) return false;
  In in{frame, kFrameBytes};
  if (in.U32() != magic) return false;
  const uint32_t length = in.U32();
  if (length > kMaxPayload || int64_t{length} + 4 > m_file.size() - m_file.pos()) return false;
  payload.resize(size_t{length} + 4);
  if (m_file.read(reinterpret_cast<char*>(payload.data()), length + 4) != qint64{length} + 4)
    return false;
  uint32_t crc = libdeflate_crc32(0, frame, kFrameBytes);
  crc = libdeflate_crc32(crc, payload.data(), length);
  In tail{payload.data() + length, 4};
  if (tail.U32() != crc) return false;
  payload.resize(length);
  m_damaged = false;
  return true;
}

bool CJournalReader::Open(const QString& path) {
  m_file.close();
  m_file.setFileName(path);
  m_base = {};
  m_goodEnd = 0;
  m_damaged = false;
  if (!m_file.open(QIODevice::ReadOnly)) return false;
  char magic[sizeof kFileMagic];
  uint8_t version[4];
  if (m_file.read(magic, sizeof magic) != static_cast<qint64>(sizeof magic) ||
      std::memcmp(magic, kFileMagic, sizeof magic) != 0 ||
      m_file.read(reinterpret_cast<char*>(version), 4) != 4)
    return false;
  In v{version, 4};
  if (v.U32() != kVersion) return false;
  std::vector<uint8_t> payload;
  if (!ReadFrame(kHeaderMagic, payload)) return false;
  In in{payload.data(), payload.size()};
  m_base.imagePath = in.Str();
  m_base.documentPath = in.Str();
  m_base.fileSize = static_cast<int64_t>(in.U64());
  m_base.fileTimeNs = static_cast<int64_t>(in.U64());
  m_base.width = in.U32();
  m_base.height = in.U32();
  if (!in.ok || in.at != in.n) return false;
  m_goodEnd = m_file.pos();
  return true;
}

bool CJournalReader::Next(JournalRecord& record) {
  if (m_damaged || !m_file.isOpen()) return false;
  std::vector<uint8_t> payload;
  if (!ReadFrame(kRecordMagic, payload)) return false;
  m_damaged = true;
  In in{payload.data(), payload.size()};
  record.kind = in.U8();
  record.left = in.I32();
  record.top = in.I32();
  record.right = in.I32();
  record.bottom = in.I32();
  record.slice = ReadSlice(in);
  const uint64_t rawBytes = in.U64();
  if (!in.ok || record.left < 0 || record.top < 0 || record.right <= record.left ||
      record.bottom <= record.top || static_cast<uint32_t>(record.right) > m_base.width ||
      static_cast<uint32_t>(record.bottom) > m_base.height ||
      rawBytes != uint64_t{3} * static_cast<uint64_t>(record.right - record.left) *
                      static_cast<uint64_t>(record.bottom - record.top))
    return false;
  record.pixels.resize(rawBytes);
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
      libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  size_t actual = 0;
  if (!d ||
      libdeflate_deflate_decompress(d.get(), payload.data() + in.at, payload.size() - in.at,
                                    record.pixels.data(), rawBytes,
                                    &actual) != LIBDEFLATE_SUCCESS ||
      actual != rawBytes)
    return false;
  m_damaged = false;
  m_goodEnd = m_file.pos();
  return true;
}
