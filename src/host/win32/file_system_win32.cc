// Windows implementation of the file seam, on the wide file functions: paths
// come and go in UTF-8.
// Handles are small numbers standing for Windows handles. Files are opened
// with every sharing mode, so that, as on POSIX, a file may be renamed or
// deleted while another handle has it open.
#include <mutex>
#include <vector>

#include "base/file_system.h"
#include "host/win32/windows_headers.h"
#include "host/win32/windows_text.h"

namespace vireo {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr uint32_t kOwnerWrite = 0200;

class HandleTable {
 public:
  FileHandle Add(HANDLE handle) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (size_t i = 0; i < handles_.size(); ++i) {
      if (handles_[i] == INVALID_HANDLE_VALUE) {
        handles_[i] = handle;
        return static_cast<FileHandle>(i);
      }
    }
    handles_.push_back(handle);
    return static_cast<FileHandle>(handles_.size() - 1);
  }
  HANDLE Get(FileHandle file) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (file < 0 || static_cast<size_t>(file) >= handles_.size()) return INVALID_HANDLE_VALUE;
    return handles_[static_cast<size_t>(file)];
  }
  HANDLE Take(FileHandle file) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (file < 0 || static_cast<size_t>(file) >= handles_.size()) return INVALID_HANDLE_VALUE;
    HANDLE handle = handles_[static_cast<size_t>(file)];
    handles_[static_cast<size_t>(file)] = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  std::mutex mutex_;
  std::vector<HANDLE> handles_;
};

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The volume and file index that name the file behind `path`; left 0 when
// the file cannot be opened to ask.
void ReadFileId(const std::string& path, PathStatus* status) {
  HANDLE handle = ::CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(handle, &info)) {
    status->device = info.dwVolumeSerialNumber;
    status->file_id = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status->links = info.nNumberOfLinks;
  }
  ::CloseHandle(handle);
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Moves the handle's file pointer and gives back where it was, so that the
// positioned reads and writes leave the sequential position alone, as
// pread and pwrite do.
class PositionKeeper {
 public:
  explicit PositionKeeper(HANDLE handle) : handle_(handle) {
    LARGE_INTEGER zero{};
    kept_ = ::SetFilePointerEx(handle_, zero, &saved_, FILE_CURRENT);
  }
  ~PositionKeeper() {
    if (kept_) ::SetFilePointerEx(handle_, saved_, nullptr, FILE_BEGIN);
  }
  PositionKeeper(const PositionKeeper&) = delete;
  PositionKeeper& operator=(const PositionKeeper&) = delete;

 private:
  HANDLE handle_;
  LARGE_INTEGER saved_{};
  BOOL kept_ = FALSE;
};

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// A name part no earlier attempt used, for new files beside an original.
std::string UniquePart() {
  static std::mutex mutex;
  static uint64_t state = 0;
  std::lock_guard<std::mutex> hold(mutex);
  if (state == 0) {
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    state = static_cast<uint64_t>(counter.QuadPart) ^
            (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^ 0x9E3779B97F4A7C15ull;
  }
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string part;
  uint64_t bits = state;
  for (int i = 0; i < 6; ++i, bits /= 36) part += kDigits[bits % 36];
  return part;
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::error_code Open(const std::string& path, OpenFor how, FileHandle* file) override {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (how) {
      case OpenFor::kRead:
        break;
      case OpenFor::kReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
      case OpenFor::kCreateExclusive:
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
      case OpenFor::kCreateOrTruncate:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    }
    HANDLE handle = ::CreateFileW(Wide(path).c_str(), access, kShareAll, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD code = ::GetLastError();
      if (code == ERROR_ACCESS_DENIED && IsDirectory(path))
        return std::make_error_code(std::errc::is_a_directory);
      return WindowsError(code);
    }
    // A pipe or a device opens like a file; only disk files are read here.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
      ::CloseHandle(handle);
      return NotARegularFile();
    }
    *file = handles_.Add(handle);
    return {};
  }

  std::error_code Read(FileHandle file, char* buffer, size_t size, size_t* got) override {
    DWORD n = 0;
    DWORD wanted = static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
    if (!::ReadFile(handles_.Get(file), buffer, wanted, &n, nullptr)) {
      DWORD code = ::GetLastError();
      if (code != ERROR_HANDLE_EOF && code != ERROR_BROKEN_PIPE) return WindowsError(code);
    }
    *got = n;
    return {};
  }

  std::error_code ReadAt(FileHandle file, uint64_t offset, char* buffer, size_t size,
                         size_t* got) override {
    HANDLE handle = handles_.Get(file);
    PositionKeeper keep(handle);
    size_t total = 0;
    while (total < size) {
      OVERLAPPED at = At(offset + total);
      DWORD n = 0;
      DWORD wanted = static_cast<DWORD>(size - total > 0x40000000u ? 0x40000000u : size - total);
      if (!::ReadFile(handle, buffer + total, wanted, &n, &at)) {
        DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF) break;
        return WindowsError(code);
      }
      if (n == 0) break;
      total += n;
    }
    *got = total;
    return {};
  }

  std::error_code Write(FileHandle file, const char* data, size_t size) override {
    HANDLE handle = handles_.Get(file);
    while (size > 0) {
      DWORD n = 0;
      DWORD wanted = static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
      if (!::WriteFile(handle, data, wanted, &n, nullptr)) return LastWindowsError();
      if (n == 0) return std::make_error_code(std::errc::io_error);
      data += n;
      size -= n;
    }
    return {};
  }

  std::error_code WriteAt(FileHandle file, uint64_t offset, const char* data,
                          size_t size) override {
    HANDLE handle = handles_.Get(file);
    PositionKeeper keep(handle);
    while (size > 0) {
      OVERLAPPED at = At(offset);
      DWORD n = 0;
      DWORD wanted = static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
      if (!::WriteFile(handle, data, wanted, &n, &at)) return LastWindowsError();
      if (n == 0) return std::make_error_code(std::errc::io_error);
      data += n;
      offset += n;
      size -= n;
    }
    return {};
  }

  std::error_code SizeOf(FileHandle file, uint64_t* size) override {
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(handles_.Get(file), &length)) return LastWindowsError();
    *size = static_cast<uint64_t>(length.QuadPart);
    return {};
  }

  std::error_code Resize(FileHandle file, uint64_t size) override {
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(handles_.Get(file), FileEndOfFileInfo, &end, sizeof end))
      return LastWindowsError();
    return {};
  }

  // Windows keeps one permission of the POSIX set: a file without the
  // owner's write bit gets the read-only attribute.
  std::error_code SetPermissions(FileHandle file, uint32_t permissions) override {
    HANDLE handle = handles_.Get(file);
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info))
      return LastWindowsError();
    DWORD attributes = info.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (!(permissions & kOwnerWrite)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    if (attributes == info.FileAttributes) return {};
    info.FileAttributes = attributes;
    if (!::SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info))
      return LastWindowsError();
    return {};
  }

  std::error_code Sync(FileHandle file) override {
    if (!::FlushFileBuffers(handles_.Get(file))) return LastWindowsError();
    return {};
  }

  std::error_code Close(FileHandle file) override {
    HANDLE handle = handles_.Take(file);
    if (handle == INVALID_HANDLE_VALUE) return std::make_error_code(std::errc::bad_file_descriptor);
    if (!::CloseHandle(handle)) return LastWindowsError();
    return {};
  }

  std::error_code Status(const std::string& path, PathStatus* status) override {
    *status = PathStatus{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
      DWORD code = ::GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
          code == ERROR_INVALID_NAME || code == ERROR_INVALID_DRIVE)
        return {};
      return WindowsError(code);
    }
    status->exists = true;
    status->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // The read-only attribute of a folder does not keep files from being
    // made in it, so only files can be read-only here.
    bool read_only = !status->is_directory && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    status->permissions = status->is_directory ? 0755 : read_only ? 0444 : 0644;
    status->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status->is_regular = !status->is_directory;
    ReadFileId(path, status);
    return {};
  }

  std::error_code ListDirectory(const std::string& directory,
                                std::vector<std::string>* names) override {
    names->clear();
    std::wstring wide_pattern = directory.empty() ? std::wstring(L".") : Wide(directory);
    if (wide_pattern.back() != L'\\' && wide_pattern.back() != L'/') wide_pattern += L'\\';
    wide_pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(wide_pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return LastWindowsError();
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names->push_back(Narrow(name));
    } while (::FindNextFileW(search, &found));
    DWORD code = ::GetLastError();
    ::FindClose(search);
    if (code != ERROR_NO_MORE_FILES) return WindowsError(code);
    return {};
  }

  // Replaces the target in one step, and returns only when the move is on
  // the disk: the folder needs no sync of its own after it.
  // Over an existing file, ReplaceFileW keeps that file's attributes, ACL
  // and creation time on the replacement. Where it cannot (FAT, some shares)
  // or stops half-way (the replaced file gone, the replacement still under
  // its own name), a plain move does the rest. Either way the replaced
  // file's attributes are put on the replacement (not every ReplaceFileW
  // carries them).
  std::error_code Rename(const std::string& from, const std::string& to) override {
    constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    std::wstring source = Wide(from), target = Wide(to);
    DWORD attributes = ::GetFileAttributesW(target.c_str());
    bool over_file =
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    bool replaced =
        over_file && ::ReplaceFileW(target.c_str(), source.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                                    nullptr, nullptr);
    if (!replaced && !::MoveFileExW(source.c_str(), target.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return LastWindowsError();
    if (over_file && (attributes & kKeptAttributes)) {
      DWORD now = ::GetFileAttributesW(target.c_str());
      // "Normal" stands only alone.
      DWORD others = now & ~(kKeptAttributes | FILE_ATTRIBUTE_NORMAL);
      if (now != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(target.c_str(), others | (attributes & kKeptAttributes));
    }
    return {};
  }

  std::error_code Remove(const std::string& path) override {
    if (!::DeleteFileW(Wide(path).c_str())) return LastWindowsError();
    return {};
  }

  std::error_code Link(const std::string& existing, const std::string& link) override {
    if (!::CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr))
      return LastWindowsError();
    return {};
  }

  std::error_code RealPath(const std::string& path, std::string* real) override {
    HANDLE handle = ::CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastWindowsError();
    std::wstring buffer(32768, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), 0);
    DWORD code = ::GetLastError();
    ::CloseHandle(handle);
    if (length == 0 || length >= buffer.size()) return WindowsError(code);
    buffer.resize(length);
    // "\\?\C:\..." for a drive, "\\?\UNC\server\..." for a share.
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0)
      buffer = L"\\\\" + buffer.substr(8);
    else if (buffer.rfind(L"\\\\?\\", 0) == 0)
      buffer = buffer.substr(4);
    *real = Narrow(buffer);
    return {};
  }

  // The replacement is made by this process in the original's folder and
  // takes the folder's inherited ACL; owners stay with the administrator.
  std::error_code CopyOwnership(const std::string&, FileHandle) override { return {}; }

  // A folder cannot be flushed on Windows; renames are written through.
  std::error_code SyncDirectory(const std::string&) override { return {}; }

  std::error_code TempDirectory(std::string* directory) override {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return LastWindowsError();
    *directory = Narrow(buffer, length);
    return {};
  }

  // Windows takes the first three characters of `prefix` and makes the file.
  std::error_code CreateTempFile(const std::string& directory, const std::string& prefix,
                                 std::string* path, FileHandle* file) override {
    std::string folder = directory;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return CreateUnique(folder + prefix, ".tmp", path, file);
  }

  // The lock is the file itself, opened with no sharing at all; Windows
  // deletes it when its handle closes, also when the process dies.
  std::error_code Lock(const std::string& path, FileHandle* lock) override {
    std::wstring name = Wide(path);
    for (int attempt = 0;; ++attempt) {
      HANDLE handle =
          ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        *lock = handles_.Add(handle);
        return {};
      }
      DWORD code = ::GetLastError();
      if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        return std::make_error_code(std::errc::resource_unavailable_try_again);
      // A lock file whose holder just let go is being deleted for a moment.
      if (code != ERROR_ACCESS_DENIED || attempt == 20) return WindowsError(code);
      ::Sleep(10);
    }
  }

  void Unlock(const std::string&, FileHandle lock) override {
    HANDLE handle = handles_.Take(lock);
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }

  // A lock on one byte far past any end of file: it keeps other holders off
  // and never stands in the way of reading the file.
  std::error_code Hold(const std::string& path, FileHandle* hold) override {
    HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastWindowsError();
    OVERLAPPED far_byte = {};
    far_byte.Offset = 0xFFFFFFFE;
    far_byte.OffsetHigh = 0x7FFFFFFF;
    std::error_code error;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
      error = NotARegularFile();
    } else if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &far_byte)) {
      DWORD code = ::GetLastError();
      error = code == ERROR_LOCK_VIOLATION
                  ? std::make_error_code(std::errc::resource_unavailable_try_again)
                  : WindowsError(code);
    }
    // Another holder may have replaced the file while this one waited for it.
    BY_HANDLE_FILE_INFORMATION info;
    PathStatus current;
    if (!error && (!::GetFileInformationByHandle(handle, &info) || Status(path, &current) ||
                   current.device != info.dwVolumeSerialNumber ||
                   current.file_id != ((static_cast<uint64_t>(info.nFileIndexHigh) << 32) |
                                       info.nFileIndexLow)))
      error = std::make_error_code(std::errc::resource_unavailable_try_again);
    if (error) {
      ::CloseHandle(handle);
      return error;
    }
    *hold = handles_.Add(handle);
    return {};
  }

  std::error_code CreateSiblingFile(const std::string& original, const std::string& tag,
                                    std::string* path, FileHandle* file) override {
    return CreateUnique(DirectoryOf(original) + "\\." + BaseNameOf(original) + "." + tag, "", path,
                        file);
  }

 private:
  // A new file named `base`, a unique part and `suffix`, made with CREATE_NEW
  // so that an existing file of that name is never opened.
  std::error_code CreateUnique(const std::string& base, const std::string& suffix,
                               std::string* path, FileHandle* file) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = base + UniquePart() + suffix;
      HANDLE handle = ::CreateFileW(Wide(candidate).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    kShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        *path = candidate;
        *file = handles_.Add(handle);
        return {};
      }
      DWORD code = ::GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return WindowsError(code);
    }
    return std::make_error_code(std::errc::file_exists);
  }

  HandleTable handles_;
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static WindowsFileSystem instance;
  return instance;
}

}  // namespace vireo
