#include "engine/forms/ole_blob.h"

#include <array>
#include <string_view>

#include "engine/catalogue/grid_catalogue.h"
#include "base/file_io.h"

namespace vireo {
namespace {

constexpr int64_t kLbHeaderLength = 24;

struct Record {
  int64_t payload_offset = 0;
  std::string payload;
};

std::string_view GuidBytes(const GUID& guid, std::array<uint8_t, 16>& storage) {
  guid.ToBytes(storage);
  return {reinterpret_cast<const char*>(storage.data()), storage.size()};
}

uint32_t LittleEndian(const unsigned char* bytes, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// The two layouts: VB4's (H at O, N at O + 2) and the "LB" one VB5 and VB6
// save an ActiveX control in ("LB", a 16-bit kind, N at O + 4, four 32-bit
// extents, then the payload at O + 24). Returns the problem, "" when none.
std::string ReadHeader(const unsigned char* header, size_t got, int64_t* header_length,
                       int64_t* payload_length) {
  if (got >= 2 && header[0] == 'L' && header[1] == 'B') {
    if (got < 8) return "its \"LB\" header lies past the end of the file";
    *header_length = kLbHeaderLength;
    *payload_length = LittleEndian(header + 4, 4);
    return "";
  }
  if (got < 6) return "its header lies past the end of the file";
  *header_length = static_cast<int16_t>(LittleEndian(header, 2));
  *payload_length = static_cast<int32_t>(LittleEndian(header + 2, 4));
  if (*header_length < 6)
    return "its header length " + std::to_string(*header_length) + " is below 6";
  return "";
}

// Reads the record's payload; an empty string is returned in `problem` when all is well.
std::string ReadRecord(FileHandle file, int32_t offset, Record* record) {
  if (offset < 0) return "its offset " + std::to_string(offset) + " is negative";
  uint64_t size = 0;
  if (auto error = Files().SizeOf(file, &size))
    return "cannot be measured (" + Describe(error) + ")";
  unsigned char header[8];
  size_t got = 0;
  if (auto error = Files().ReadAt(file, static_cast<uint64_t>(offset),
                                  reinterpret_cast<char*>(header), sizeof header, &got))
    return "cannot be read (" + Describe(error) + ")";
  int64_t header_length = 0, payload_length = 0;
  if (std::string problem = ReadHeader(header, got, &header_length, &payload_length);
      !problem.empty())
    return problem;
  if (payload_length < 1)
    return "its payload length " + std::to_string(payload_length) + " is below 1";
  int64_t end = int64_t{offset} + header_length + payload_length;
  if (end > static_cast<int64_t>(size))
    return "its payload of " + std::to_string(payload_length) + " bytes ends at " +
           std::to_string(end) + ", past the end of the file (" + std::to_string(size) + " bytes)";
  record->payload_offset = int64_t{offset} + header_length;
  record->payload.resize(static_cast<size_t>(payload_length));
  if (auto error = Files().ReadAt(file, static_cast<uint64_t>(record->payload_offset),
                                  record->payload.data(), record->payload.size(), &got))
    return "cannot be read (" + Describe(error) + ")";
  if (got != record->payload.size()) return "its payload could not be read whole";
  return "";
}

// Replaces the GUIDs in the payload; empty `problem` when all is well.
bool ReplaceGuids(FileWork& run, int32_t offset, Record& record, int16_t from_type, int16_t to_type,
                  std::string* problem) {
  const GridVersion& source = GridCatalogue().Item(from_type);
  const GridVersion& target = GridCatalogue().Item(to_type);
  bool changed = false;
  std::array<uint8_t, 16> source_storage, target_storage;
  for (const GUID& guid : source.Items()) {
    std::string_view pattern = GuidBytes(guid, source_storage);
    for (size_t at = record.payload.find(pattern); at != std::string::npos;
         at = record.payload.find(pattern, at + pattern.size())) {
      const GUID* counterpart = target.Find(guid.Name);
      if (!counterpart) {
        *problem = "holds " + guid.Name + ", which the target grid type does not have";
        return false;
      }
      std::string_view replacement = GuidBytes(*counterpart, target_storage);
      if (replacement != pattern) run.result.records_changed = true;
      record.payload.replace(at, pattern.size(), replacement);
      changed = true;
      run.result.guid_replacements.push_back({run.current_binary_original, offset,
                                              record.payload_offset + static_cast<int64_t>(at),
                                              guid.Name, guid.ToString(), counterpart->ToString()});
    }
  }
  return changed;
}

}  // namespace

int16_t ConvertOleObjectBlob(FileWork& run, const std::string& file, int32_t offset,
                             int16_t from_type, int16_t to_type) {
  const std::string& shown =
      run.current_binary_original.empty() ? file : run.current_binary_original;
  auto fail = [&](const std::string& problem) {
    run.Fail(shown + ": the record at offset " + std::to_string(offset) + ": " + problem);
    return kFailed;
  };
  FileHandle handle;
  if (auto error = Files().Open(file, OpenFor::kReadWrite, &handle))
    return fail("cannot be opened (" + Describe(error) + ")");
  struct Closer {
    FileHandle handle;
    ~Closer() { Files().Close(handle); }
  } closer{handle};

  Record record;
  std::string problem = ReadRecord(handle, offset, &record);
  if (!problem.empty()) return fail(problem);
  size_t logged = run.result.guid_replacements.size();
  bool changed = ReplaceGuids(run, offset, record, from_type, to_type, &problem);
  if (!problem.empty()) {
    run.result.guid_replacements.resize(logged);
    return fail(problem);
  }
  if (!changed) return kUnchanged;
  if (auto error = Files().WriteAt(handle, static_cast<uint64_t>(record.payload_offset),
                                   record.payload.data(), record.payload.size()))
    return fail("cannot be written (" + Describe(error) + ")");
  return kChanged;
}

}  // namespace vireo
