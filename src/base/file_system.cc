#include "base/file_system.h"

#include <atomic>

namespace vireo {
namespace {

FileSystem* current = nullptr;
std::atomic<bool> keep_access_times{false};

enum FileError { kNotRegular = 1, kSymbolicLink = 2 };

class FileErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "vireo-file"; }
  std::string message(int code) const override {
    return code == kSymbolicLink ? "is a symbolic link, which is not followed here"
                                 : "not a regular file (a FIFO, device, socket or folder)";
  }
};

std::error_code FileErrorCode(FileError code) {
  static const FileErrorCategory category;
  return std::error_code(code, category);
}

}  // namespace

bool SameFile(const PathStatus& a, const PathStatus& b) {
  return a.exists && b.exists && a.device == b.device && a.file_id == b.file_id;
}

std::error_code NotARegularFile() { return FileErrorCode(kNotRegular); }
std::error_code IsASymbolicLink() { return FileErrorCode(kSymbolicLink); }

void SetReadsKeepAccessTimes(bool keep) { keep_access_times = keep; }
bool ReadsKeepAccessTimes() { return keep_access_times; }

FileSystem& Files() { return current ? *current : PlatformFileSystem(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement) : previous_(current) {
  current = &replacement;
}

ScopedFileSystem::~ScopedFileSystem() { current = previous_; }

}  // namespace vireo
