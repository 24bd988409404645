// POSIX implementation of the file seam.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/file_system.h"

namespace vireo {
namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// `path` made absolute against the current folder, with "." and ".." taken
// away and slashes single: its real path when no component is a symbolic
// link. Empty when the current folder is unknown.
std::string Lexically(const std::string& path) {
  std::string full;
  if (path.empty() || path[0] != '/') {
    char* folder = ::getcwd(nullptr, 0);
    if (!folder) return "";
    full = folder;
    std::free(folder);
    if (full == "/") full.clear();
  }
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!full.empty()) full.erase(full.rfind('/'));
      continue;
    }
    full.append("/").append(part);
  }
  return full.empty() ? "/" : full;
}

// The real path in one walk: where the kernel finds no symbolic link on the
// way, the path's own components are its real path. False when it meets
// one, the path is not there, or the kernel cannot tell (then realpath()
// walks it, and says why it fails).
bool RealPathWithoutLinks(const std::string& path, std::string* real) {
#if defined(__linux__) && defined(SYS_openat2)
  struct open_how how {};
  how.flags = O_PATH | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
  if (fd < 0) return false;
  ::close(static_cast<int>(fd));
  *real = Lexically(path);
  return !real->empty();
#else
  (void)path;
  (void)real;
  return false;
#endif
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp creates the file with O_EXCL: never an existing file or link.
std::error_code MakeUnique(std::string pattern, std::string* path, FileHandle* file) {
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return LastError();
  *path = buffer.data();
  *file = fd;
  return {};
}

// Every extended attribute of `from` that the file system lets `to` have;
// a file system without them has nothing to copy.
std::error_code CopyAttributes(const std::string& from, int to) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP ? std::error_code() : LastError();
  if (size == 0) return {};
  std::vector<char> names(static_cast<size_t>(size));
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return LastError();
  for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
    ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
    if (length < 0) continue;
    std::vector<char> value(static_cast<size_t>(length));
    length = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (length < 0) continue;
    if (::fsetxattr(to, name, value.data(), static_cast<size_t>(length), 0) != 0 &&
        errno != EPERM && errno != ENOTSUP)
      return LastError();
  }
  return {};
}

// Refuses what is not a regular file; a folder says so in its own words.
std::error_code CheckRegular(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(st.st_mode)) return NotARegularFile();
  return {};
}

int NoAccessTime() { return ReadsKeepAccessTimes() ? O_NOATIME : 0; }

// Opens `path`; where O_NOATIME is not the process's to ask (a file it does
// not own), without it.
int OpenKeepingAccessTime(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == EPERM && (flags & O_NOATIME))
    return OpenKeepingAccessTime(path, flags & ~O_NOATIME);
  return fd;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::error_code Open(const std::string& path, OpenFor how, FileHandle* file) override {
    // O_NONBLOCK keeps a FIFO or device from blocking the open; regular
    // files ignore it.
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (how) {
      case OpenFor::kRead:
        flags |= O_RDONLY | O_NONBLOCK;
        break;
      case OpenFor::kReadWrite:
        flags |= O_RDWR | O_NONBLOCK | O_NOFOLLOW;
        break;
      case OpenFor::kCreateExclusive:
        flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
      case OpenFor::kCreateOrTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    }
    int fd = OpenKeepingAccessTime(path, flags | (how == OpenFor::kRead ? NoAccessTime() : 0));
    if (fd < 0) return errno == ELOOP && how != OpenFor::kRead ? IsASymbolicLink() : LastError();
    if (auto error = CheckRegular(fd)) {
      ::close(fd);
      return error;
    }
    *file = fd;
    return {};
  }

  std::error_code Read(FileHandle file, char* buffer, size_t size, size_t* got) override {
    ssize_t n;
    do {
      n = ::read(file, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return LastError();
    *got = static_cast<size_t>(n);
    return {};
  }

  std::error_code ReadAt(FileHandle file, uint64_t offset, char* buffer, size_t size,
                         size_t* got) override {
    size_t total = 0;
    while (total < size) {
      ssize_t n = ::pread(file, buffer + total, size - total, static_cast<off_t>(offset + total));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastError();
      if (n == 0) break;
      total += static_cast<size_t>(n);
    }
    *got = total;
    return {};
  }

  std::error_code Write(FileHandle file, const char* data, size_t size) override {
    while (size > 0) {
      ssize_t n = ::write(file, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastError();
      data += n;
      size -= static_cast<size_t>(n);
    }
    return {};
  }

  std::error_code WriteAt(FileHandle file, uint64_t offset, const char* data,
                          size_t size) override {
    while (size > 0) {
      ssize_t n = ::pwrite(file, data, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return LastError();
      data += n;
      offset += static_cast<uint64_t>(n);
      size -= static_cast<size_t>(n);
    }
    return {};
  }

  std::error_code SizeOf(FileHandle file, uint64_t* size) override {
    struct stat st;
    if (::fstat(file, &st) != 0) return LastError();
    *size = static_cast<uint64_t>(st.st_size);
    return {};
  }

  std::error_code Resize(FileHandle file, uint64_t size) override {
    if (::ftruncate(file, static_cast<off_t>(size)) != 0) return LastError();
    return {};
  }

  std::error_code SetPermissions(FileHandle file, uint32_t permissions) override {
    if (::fchmod(file, static_cast<mode_t>(permissions & 07777)) != 0) return LastError();
    return {};
  }

  std::error_code Sync(FileHandle file) override {
    if (::fsync(file) != 0) return LastError();
    return {};
  }

  std::error_code Close(FileHandle file) override {
    if (::close(file) != 0 && errno != EINTR) return LastError();
    return {};
  }

  std::error_code Status(const std::string& path, PathStatus* status) override {
    struct stat st;
    *status = PathStatus{};
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return {};
      return LastError();
    }
    status->exists = true;
    status->is_directory = S_ISDIR(st.st_mode);
    status->is_regular = S_ISREG(st.st_mode);
    status->device = static_cast<uint64_t>(st.st_dev);
    status->file_id = static_cast<uint64_t>(st.st_ino);
    status->permissions = static_cast<uint32_t>(st.st_mode & 07777);
    status->size = static_cast<uint64_t>(st.st_size);
    status->links = static_cast<uint32_t>(st.st_nlink);
    // The process never changes who it runs as.
    static const uid_t self = ::geteuid();
    static const gid_t group = ::getegid();
    status->owner_transferable =
        self == 0 || (st.st_uid == self && (st.st_gid == group || ::group_member(st.st_gid)));
    return {};
  }

  std::error_code ListDirectory(const std::string& directory,
                                std::vector<std::string>* names) override {
    names->clear();
    int fd = OpenKeepingAccessTime(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC | NoAccessTime());
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
      std::error_code error = LastError();
      if (fd >= 0) ::close(fd);
      return error;
    }
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    ::closedir(dir);
    return {};
  }

  std::error_code Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
    return {};
  }

  std::error_code Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return LastError();
    return {};
  }

  std::error_code Link(const std::string& existing, const std::string& link) override {
    if (::link(existing.c_str(), link.c_str()) != 0) return LastError();
    return {};
  }

  std::error_code SyncDirectory(const std::string& directory) override {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    std::error_code result;
    if (::fsync(fd) != 0 && errno != EINVAL) result = LastError();
    ::close(fd);
    return result;
  }

  void StartWriteback(const std::string& path) override {
#ifdef __linux__
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    ::close(fd);
#else
    (void)path;
#endif
  }

  void WriteBack(FileHandle file) override {
#ifdef __linux__
    ::sync_file_range(
        file, 0, 0,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
#else
    (void)file;
#endif
  }

  std::error_code RealPath(const std::string& path, std::string* real) override {
    if (RealPathWithoutLinks(path, real)) return {};
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return LastError();
    *real = resolved;
    std::free(resolved);
    return {};
  }

  std::error_code CopyOwnership(const std::string& from, FileHandle to) override {
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) return LastError();
    // Only root may give a file away; others keep what they may.
    if (::fchown(to, st.st_uid, st.st_gid) != 0 && errno != EPERM) return LastError();
    return CopyAttributes(from, to);
  }

  std::error_code TempDirectory(std::string* directory) override {
    const char* tmpdir = std::getenv("TMPDIR");
    *directory = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
    return {};
  }

  std::error_code CreateTempFile(const std::string& directory, const std::string& prefix,
                                 std::string* path, FileHandle* file) override {
    std::string dir = directory;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return MakeUnique(dir + "/" + prefix + "XXXXXX", path, file);
  }

  std::error_code Lock(const std::string& path, FileHandle* lock) override {
    // The file may be removed by its last holder between open and flock:
    // only a lock on the file that is still at `path` counts.
    for (int attempt = 0; attempt < 100; ++attempt) {
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
      if (fd < 0) return errno == ELOOP ? IsASymbolicLink() : LastError();
      if (auto error = CheckRegular(fd)) {
        ::close(fd);
        return error;
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::error_code error =
            errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                 : LastError();
        ::close(fd);
        return error;
      }
      struct stat held, current;
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 &&
          held.st_ino == current.st_ino && held.st_dev == current.st_dev) {
        *lock = fd;
        return {};
      }
      ::close(fd);
    }
    return std::make_error_code(std::errc::resource_unavailable_try_again);
  }

  void Unlock(const std::string& path, FileHandle lock) override {
    ::unlink(path.c_str());
    ::close(lock);
  }

  std::error_code Hold(const std::string& path, FileHandle* hold) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ELOOP ? IsASymbolicLink() : LastError();
    std::error_code error = CheckRegular(fd);
    if (!error && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
      error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                   : LastError();
    // Another holder may have replaced the file while this one waited for it.
    struct stat held, current;
    if (!error && (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &current) != 0 ||
                   held.st_ino != current.st_ino || held.st_dev != current.st_dev))
      error = std::make_error_code(std::errc::resource_unavailable_try_again);
    if (error) {
      ::close(fd);
      return error;
    }
    *hold = fd;
    return {};
  }

  std::error_code CreateSiblingFile(const std::string& near, const std::string& tag,
                                    std::string* path, FileHandle* file) override {
    return MakeUnique(DirectoryOf(near) + "/." + BaseNameOf(near) + "." + tag + "XXXXXX", path,
                      file);
  }
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace vireo
