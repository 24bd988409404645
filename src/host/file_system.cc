#include "host/file_system.h"

namespace vireo {
namespace {
FileSystem* current = nullptr;
}

FileSystem& Files() { return current ? *current : PlatformFileSystem(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement) : previous_(current) {
  current = &replacement;
}

ScopedFileSystem::~ScopedFileSystem() { current = previous_; }

}  // namespace vireo
