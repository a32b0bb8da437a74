#include "image/SaveFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

namespace qimg {

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
  if (!NoAtomicClaim()) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
      return kOk;
    if (errno == EEXIST) return kErrExists;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return kErrWrite;
    // File systems without the flag: a hard link fails just as atomically.
    if (::link(temp.c_str(), target.c_str()) == 0) {
      ::unlink(temp.c_str());
      return kOk;
    }
    if (errno == EEXIST) return kErrExists;
  }
  // Neither (some FUSE and network mounts): creating the name exclusively
  // claims it; the picture is copied in and the name removed if that fails.
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? kErrExists : kErrOpen;
  const bool ok = CopyInto(temp, fd) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  ::unlink(temp.c_str());
  if (ok && closed) return kOk;
  ::unlink(target.c_str());
  return kErrWrite;
}

// Runs write into a fresh temporary file in folder and fsyncs it; temp is
// its name. A short name beside the target, so that the rename is atomic and
// a long target name cannot push it past the file system's limit.
uint32_t WriteTemporary(const std::string& folder, const FileWriter& write, std::string& temp) {
  int fd = -1;
  std::random_device rd;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".quiltor-%08x.part", static_cast<unsigned>(rd()));
    temp = folder + name;
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) return kErrOpen;
  ::close(fd);
  uint32_t r;
  {
    auto dest = Dest::OpenFile(temp);
    if (!dest) {
      ::unlink(temp.c_str());
      return kErrOpen;
    }
    r = write(*dest);
    const bool closed = dest->Close();
    if (r == kOk && !closed) r = kErrWrite;
    if (r == kOk) {
      const int sfd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
      if (sfd >= 0) {
        if (::fsync(sfd) != 0) r = kErrWrite;
        ::close(sfd);
      }
    }
  }
  if (r != kOk) ::unlink(temp.c_str());
  return r;
}

}  // namespace

uint32_t SaveFile(const std::string& path, SaveMode mode, const FileWriter& write,
                  const NextName& nextName) {
  const std::string target = mode == SaveMode::kReplace ? FollowLinks(path) : path;
  const std::string folder = FolderOf(target);
  std::string temp;
  uint32_t r = WriteTemporary(folder, write, temp);
  if (r != kOk) return r;
  if (mode == SaveMode::kReplace) {
    r = ::rename(temp.c_str(), target.c_str()) == 0 ? kOk : kErrWrite;
  } else {
    r = ClaimName(temp, target);
    while (r == kErrExists && nextName) r = ClaimName(temp, nextName());
  }
  if (r != kOk) {
    ::unlink(temp.c_str());
    return r;
  }
  SyncFolder(folder);
  return kOk;
}

}  // namespace qimg
