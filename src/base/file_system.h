// The one seam through which every file operation of the program passes.
// Production code uses the platform implementation; tests swap in a wrapper
// that fails or stops at a chosen operation (see ScopedFileSystem).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace vireo {

using FileHandle = int;

// Reading and read-write opens accept regular files only (a FIFO, device or
// folder is refused without blocking); read-write and exclusive creation
// never follow a symbolic link at the last component.
enum class OpenFor {
  kRead,             // existing regular file, read only
  kReadWrite,        // existing regular file, read and write in place
  kCreateExclusive,  // a new file that must not exist yet (mode 0600)
  kCreateOrTruncate  // created, or emptied when it exists: only for files the user named
};

struct PathStatus {
  bool exists = false;
  bool is_directory = false;
  bool is_regular = false;
  uint32_t permissions = 0;  // platform permission bits
  uint64_t size = 0;
  // Which file this is: two paths with equal (device, file_id) name one file.
  uint64_t device = 0;
  uint64_t file_id = 0;
  // How many names the file has (hard links).
  uint32_t links = 1;
  // Whether a new file this process makes can be given this file's owner
  // and group.
  bool owner_transferable = true;
};

bool SameFile(const PathStatus& a, const PathStatus& b);

// Which file an existing path names, as a key: (device, file id), the same
// for every name of one file.
using FileIdentity = std::pair<uint64_t, uint64_t>;
inline FileIdentity FileIdentityOf(const PathStatus& status) {
  return {status.device, status.file_id};
}

// The error of opening something that is not a regular file for reading.
std::error_code NotARegularFile();
// The error of a no-follow open that met a symbolic link.
std::error_code IsASymbolicLink();

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::error_code Open(const std::string& path, OpenFor how, FileHandle* file) = 0;
  // Reads up to `size` bytes; `*got` is 0 at the end of the file.
  virtual std::error_code Read(FileHandle file, char* buffer, size_t size, size_t* got) = 0;
  virtual std::error_code ReadAt(FileHandle file, uint64_t offset, char* buffer, size_t size,
                                 size_t* got) = 0;
  // Writes all `size` bytes or fails.
  virtual std::error_code Write(FileHandle file, const char* data, size_t size) = 0;
  virtual std::error_code WriteAt(FileHandle file, uint64_t offset, const char* data,
                                  size_t size) = 0;
  virtual std::error_code SizeOf(FileHandle file, uint64_t* size) = 0;
  // Cuts the file to `size` bytes (or extends it with zeros).
  virtual std::error_code Resize(FileHandle file, uint64_t size) = 0;
  virtual std::error_code SetPermissions(FileHandle file, uint32_t permissions) = 0;
  virtual std::error_code Sync(FileHandle file) = 0;
  virtual std::error_code Close(FileHandle file) = 0;

  virtual std::error_code Status(const std::string& path, PathStatus* status) = 0;
  virtual std::error_code ListDirectory(const std::string& directory,
                                        std::vector<std::string>* names) = 0;
  // Replaces `to` by `from` in one step when both are in one directory.
  virtual std::error_code Rename(const std::string& from, const std::string& to) = 0;
  virtual std::error_code Remove(const std::string& path) = 0;
  // Gives the file `existing` the further name `link` (a hard link; `link`
  // must not exist). Fails where the file system has no hard links.
  virtual std::error_code Link(const std::string& existing, const std::string& link) = 0;
  virtual std::error_code SyncDirectory(const std::string& directory) = 0;
  // Asks the system to begin writing the file's data to disk now, without
  // waiting, so that a later Sync has less left to do. Only a hint: where
  // it is not supported, or fails, nothing happens.
  virtual void StartWriteback(const std::string& /*path*/) {}
  // Writes the open file's data to disk and waits for it, without its
  // metadata or flushing the disk's cache: not durable, but a later Sync
  // then has only those left. Only a hint, like StartWriteback.
  virtual void WriteBack(FileHandle /*file*/) {}
  // The path of the file `path` reaches, with every symbolic link on the way
  // (in its folders too) resolved.
  virtual std::error_code RealPath(const std::string& path, std::string* real) = 0;
  // Gives the open file `to` the owner, group and extended attributes (ACLs
  // among them) of the file at `from`, as far as the process may set them.
  virtual std::error_code CopyOwnership(const std::string& from, FileHandle to) = 0;

  // The directory for temporary files, and a new empty file in it whose
  // name begins with `prefix` (never an existing file), open for writing.
  virtual std::error_code TempDirectory(std::string* directory) = 0;
  virtual std::error_code CreateTempFile(const std::string& directory, const std::string& prefix,
                                         std::string* path, FileHandle* file) = 0;
  // Takes an exclusive lock on `path` (created when missing) without waiting:
  // errc::resource_unavailable_try_again while another process holds it. A
  // lock dies with its process.
  virtual std::error_code Lock(const std::string& path, FileHandle* lock) = 0;
  // Removes the lock's file and releases the lock.
  virtual void Unlock(const std::string& path, FileHandle lock) = 0;
  // Holds the existing regular file at `path` for this process alone among
  // those that ask the same, without waiting:
  // errc::resource_unavailable_try_again while another holder has it, or when
  // the file at `path` changed while it was being taken. Reading and renaming
  // are not blocked. Closing `hold` lets go; so does the end of the process.
  virtual std::error_code Hold(const std::string& path, FileHandle* hold) = 0;
  // A new empty file beside `near` (same directory), open for writing, for
  // atomic replacement.
  virtual std::error_code CreateSiblingFile(const std::string& near, const std::string& tag,
                                            std::string* path, FileHandle* file) = 0;
};

// The file system in force for this process.
FileSystem& Files();

// Whether the platform's reads and folder listings leave access times as
// they were, where it allows that (O_NOATIME on Linux: for the file's owner,
// or root). Off unless a run that must touch nothing turns it on.
void SetReadsKeepAccessTimes(bool keep);
bool ReadsKeepAccessTimes();

// Puts `replacement` in force for the lifetime of this object.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& replacement);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

// The platform's own file system (defined per platform).
FileSystem& PlatformFileSystem();

}  // namespace vireo
