// Checksums of file contents, for the commit journal and its recovery:
// XXH3 (64-bit) for what this version writes, and the FNV-1a (64-bit) that
// journals of earlier versions recorded, so those are still recovered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace vireo {

enum class ChecksumKind { kFnv1a64, kXxh3 };

// A checksum computed piece by piece, as bytes stream through.
class Checksummer {
 public:
  explicit Checksummer(ChecksumKind kind);
  ~Checksummer();
  Checksummer(const Checksummer&) = delete;
  Checksummer& operator=(const Checksummer&) = delete;

  void Update(const char* data, size_t size);
  uint64_t Digest() const;
  ChecksumKind kind() const { return kind_; }
  // Takes on what `other`, of the same kind, has been fed so far.
  void CopyFrom(const Checksummer& other);

 private:
  struct Xxh3State;
  ChecksumKind kind_;
  uint64_t fnv_;
  std::unique_ptr<Xxh3State> xxh3_;
};

uint64_t ChecksumOf(ChecksumKind kind, const char* data, size_t size);
std::error_code FileChecksum(const std::string& path, ChecksumKind kind, uint64_t* checksum);

}  // namespace vireo
