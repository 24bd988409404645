#include "base/checksum.h"

#include <vector>

#include "base/file_system.h"

// Inlined: no library to link, on Linux or in the Windows build.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace vireo {
namespace {

constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

}  // namespace

struct Checksummer::Xxh3State {
  XXH3_state_t state;
};

Checksummer::Checksummer(ChecksumKind kind) : kind_(kind), fnv_(kFnvStart) {
  if (kind_ == ChecksumKind::kXxh3) {
    xxh3_ = std::make_unique<Xxh3State>();
    XXH3_64bits_reset(&xxh3_->state);
  }
}

Checksummer::~Checksummer() = default;

void Checksummer::Update(const char* data, size_t size) {
  if (kind_ == ChecksumKind::kXxh3) {
    XXH3_64bits_update(&xxh3_->state, data, size);
    return;
  }
  for (size_t i = 0; i < size; ++i) {
    fnv_ ^= static_cast<unsigned char>(data[i]);
    fnv_ *= kFnvPrime;
  }
}

uint64_t Checksummer::Digest() const {
  return kind_ == ChecksumKind::kXxh3 ? XXH3_64bits_digest(&xxh3_->state) : fnv_;
}

void Checksummer::CopyFrom(const Checksummer& other) {
  if (kind_ == ChecksumKind::kXxh3) {
    XXH3_copyState(&xxh3_->state, &other.xxh3_->state);
  } else {
    fnv_ = other.fnv_;
  }
}

uint64_t ChecksumOf(ChecksumKind kind, const char* data, size_t size) {
  Checksummer sum(kind);
  sum.Update(data, size);
  return sum.Digest();
}

std::error_code FileChecksum(const std::string& path, ChecksumKind kind, uint64_t* checksum) {
  FileHandle file;
  if (auto error = Files().Open(path, OpenFor::kRead, &file)) return error;
  std::vector<char> buffer(256 * 1024);
  Checksummer sum(kind);
  std::error_code error;
  while (true) {
    size_t got = 0;
    if ((error = Files().Read(file, buffer.data(), buffer.size(), &got)) || got == 0) break;
    sum.Update(buffer.data(), got);
  }
  Files().Close(file);
  *checksum = sum.Digest();
  return error;
}

}  // namespace vireo
