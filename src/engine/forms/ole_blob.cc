#include "engine/forms/ole_blob.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "base/file_io.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/forms/guid_replacement.h"

namespace vireo {
namespace {

constexpr int64_t kLbHeaderLength = 24;

// Payloads up to this size are read whole; larger ones are rewritten a
// window at a time, so that memory does not grow with any one record.
constexpr int64_t kWholePayloadLimit = int64_t{1} << 20;
constexpr size_t kGuidSize = 16;

struct Record {
  bool lb_layout = false;
  int64_t payload_offset = 0;
  int64_t payload_length = 0;
};

// The binary file a record is converted in: a copy, written in place, or
// (for a dry run that keeps no copies) the original, read only, with what
// would have been written kept aside and seen by every later read.
class RecordFile {
 public:
  RecordFile(FileHandle handle, bool writable, ByteWrites& set_aside)
      : handle_(handle), writable_(writable), set_aside_(set_aside) {}

  // Up to `size` bytes from `at` (fewer at the end of the file).
  std::string ReadUpTo(int64_t at, size_t size, std::string* bytes) const {
    bytes->resize(size);
    size_t got = 0;
    if (auto error = Files().ReadAt(handle_, static_cast<uint64_t>(at), bytes->data(), size, &got))
      return "cannot be read (" + Describe(error) + ")";
    bytes->resize(got);
    for (const auto& [where, written] : set_aside_) {
      int64_t from = std::max(where, at);
      int64_t to =
          std::min(where + static_cast<int64_t>(written.size()), at + static_cast<int64_t>(got));
      for (int64_t i = from; i < to; ++i) (*bytes)[i - at] = written[i - where];
    }
    return "";
  }
  // Exactly `size` bytes from `at`.
  std::string Read(int64_t at, size_t size, std::string* bytes) const {
    if (std::string problem = ReadUpTo(at, size, bytes); !problem.empty()) return problem;
    return bytes->size() == size ? "" : "its payload could not be read whole";
  }
  std::string Write(int64_t at, std::string_view bytes) {
    if (!writable_) {
      set_aside_.emplace_back(at, std::string(bytes));
      return "";
    }
    if (auto error =
            Files().WriteAt(handle_, static_cast<uint64_t>(at), bytes.data(), bytes.size()))
      return "cannot be written (" + Describe(error) + ")";
    return "";
  }
  FileHandle handle() const { return handle_; }

 private:
  FileHandle handle_;
  bool writable_;
  ByteWrites& set_aside_;
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

// Finds the record's payload, its header read as a copy would hold it; an
// empty string is returned in `problem` when all is well.
std::string LocateRecord(const RecordFile& file, int32_t offset, Record* record) {
  if (offset < 0) return "its offset " + std::to_string(offset) + " is negative";
  uint64_t size = 0;
  if (auto error = Files().SizeOf(file.handle(), &size))
    return "cannot be measured (" + Describe(error) + ")";
  std::string bytes;
  if (std::string problem = file.ReadUpTo(offset, 8, &bytes); !problem.empty()) return problem;
  const auto* header = reinterpret_cast<const unsigned char*>(bytes.data());
  int64_t header_length = 0, payload_length = 0;
  if (std::string problem = ReadHeader(header, bytes.size(), &header_length, &payload_length);
      !problem.empty())
    return problem;
  if (payload_length < 1)
    return "its payload length " + std::to_string(payload_length) + " is below 1";
  int64_t end = int64_t{offset} + header_length + payload_length;
  if (end > static_cast<int64_t>(size))
    return "its payload of " + std::to_string(payload_length) + " bytes ends at " +
           std::to_string(end) + ", past the end of the file (" + std::to_string(size) + " bytes)";
  record->lb_layout = header[0] == 'L' && header[1] == 'B';
  record->payload_offset = int64_t{offset} + header_length;
  record->payload_length = payload_length;
  return "";
}

// Reads `size` bytes of the payload from `at` into `bytes`.
std::string ReadPayload(const RecordFile& file, const Record& record, int64_t at, size_t size,
                        std::string* bytes) {
  return file.Read(record.payload_offset + at, size, bytes);
}

// What converting one record does to its file: each GUID's new bytes, where
// they go, in the order they were replaced.
struct Replacer {
  FileWork& run;
  int32_t offset;
  const Record& record;
  const GridVersion& source;
  const GridVersion& target;
  bool changed = false;

  // The counterpart of `guid`, or null (with `problem`) when the target lacks it.
  const GUID* CounterpartOf(const GUID& guid, std::string* problem) const {
    const GUID* counterpart = target.Find(guid.Name);
    if (!counterpart)
      *problem = "holds " + guid.Name + ", which the target grid type does not have";
    return counterpart;
  }
  void Log(const GUID& guid, const GUID& counterpart, int64_t at, bool same) {
    if (!same) run.result.records_changed = true;
    changed = true;
    run.result.guid_replacements.push_back({run.current_binary_original, offset,
                                            record.payload_offset + at, guid.Name, guid.ToString(),
                                            counterpart.ToString(),
                                            record.lb_layout ? "LB" : "VB4"});
  }
};

// Replaces the GUIDs in a payload held whole, one GUID after another, each
// searched in what the ones before it left.
bool ReplaceInWhole(Replacer& replacer, std::string& payload, std::string* problem) {
  const std::vector<GUID>& source = replacer.source.Items();
  std::vector<GuidToReplace> guids(source.size());
  std::vector<const GUID*> counterparts(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    source[i].ToBytes(guids[i].from);
    counterparts[i] = replacer.target.Find(source[i].Name);
    if (counterparts[i]) counterparts[i]->ToBytes(guids[i].to.emplace());
  }
  std::optional<size_t> missing;
  std::vector<GuidReplaced> made = ReplaceEachInTurn(payload, guids, &missing);
  if (missing) {
    replacer.CounterpartOf(source[*missing], problem);
    return false;
  }
  for (const GuidReplaced& replaced : made) {
    replacer.Log(source[replaced.guid], *counterparts[replaced.guid],
                 static_cast<int64_t>(replaced.at),
                 guids[replaced.guid].from == guids[replaced.guid].to);
  }
  return true;
}

// Writes back only the 16-byte windows the replacements touched.
std::string WriteWindows(RecordFile& file, const Record& record, const std::string& payload,
                         const std::vector<GuidReplacement>& log, size_t from) {
  for (size_t i = from; i < log.size(); ++i) {
    int64_t at = log[i].byte_offset - record.payload_offset;
    std::string_view window(payload.data() + at, kGuidSize);
    if (std::string problem = file.Write(log[i].byte_offset, window); !problem.empty())
      return problem;
  }
  return "";
}

// Calls `on_match` with each place `pattern` begins in a payload too large
// to hold, left to right, not overlapping the match before: the payload is
// read in overlapping windows, each after the writes `on_match` made before.
template <typename OnMatch>
std::string EachMatch(const RecordFile& file, const Record& record, std::string_view pattern,
                      OnMatch on_match) {
  constexpr int64_t kWindow = int64_t{1} << 16;
  const int64_t reach = kWindow + static_cast<int64_t>(kGuidSize) - 1;
  std::string bytes;
  int64_t next = 0;  // where the next match may begin
  for (int64_t start = 0; start + static_cast<int64_t>(kGuidSize) <= record.payload_length;
       start += kWindow) {
    size_t size = static_cast<size_t>(std::min(reach, record.payload_length - start));
    if (std::string problem = ReadPayload(file, record, start, size, &bytes); !problem.empty())
      return problem;
    size_t from = static_cast<size_t>(std::max<int64_t>(next - start, 0));
    for (size_t at = bytes.find(pattern, from); at != std::string::npos && at < kWindow;
         at = bytes.find(pattern, at + kGuidSize)) {
      next = start + static_cast<int64_t>(at);
      if (std::string problem = on_match(next); !problem.empty()) return problem;
      next += static_cast<int64_t>(kGuidSize);
    }
  }
  return "";
}

// The same replacements over a payload too large to hold, a GUID at a time,
// each pass seeing what the ones before it left, as when held whole. A GUID
// the target lacks is looked for first, so that the file stays untouched.
std::string ReplaceStreamed(Replacer& replacer, RecordFile& file) {
  std::array<uint8_t, 16> source_storage, target_storage;
  for (const GUID& guid : replacer.source.Items()) {
    std::string problem;
    if (replacer.CounterpartOf(guid, &problem)) continue;
    std::string found = EachMatch(file, replacer.record, GuidBytes(guid, source_storage),
                                  [&](int64_t) { return problem; });
    if (!found.empty()) return found;
  }
  for (const GUID& guid : replacer.source.Items()) {
    std::string_view pattern = GuidBytes(guid, source_storage);
    std::string problem = EachMatch(file, replacer.record, pattern, [&](int64_t where) {
      std::string missing;
      const GUID* counterpart = replacer.CounterpartOf(guid, &missing);
      if (!counterpart) return missing;
      std::string_view replacement = GuidBytes(*counterpart, target_storage);
      std::string written = file.Write(replacer.record.payload_offset + where, replacement);
      if (!written.empty()) return written;
      replacer.Log(guid, *counterpart, where, replacement == pattern);
      return std::string();
    });
    if (!problem.empty()) return problem;
  }
  return "";
}

// Rewrites the record's GUIDs in `file`; "" when all is well.
std::string ReplaceGuids(Replacer& replacer, RecordFile& file) {
  if (replacer.record.payload_length > kWholePayloadLimit) return ReplaceStreamed(replacer, file);
  std::string payload;
  if (std::string problem = ReadPayload(
          file, replacer.record, 0, static_cast<size_t>(replacer.record.payload_length), &payload);
      !problem.empty())
    return problem;
  size_t logged = replacer.run.result.guid_replacements.size();
  std::string problem;
  if (!ReplaceInWhole(replacer, payload, &problem)) return problem;
  return WriteWindows(file, replacer.record, payload, replacer.run.result.guid_replacements,
                      logged);
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
  // Records set aside are read from the original itself, which is only read.
  bool writable = run.staging.writes_copies() && !run.records_set_aside;
  FileHandle handle;
  if (auto error = Files().Open(file, writable ? OpenFor::kReadWrite : OpenFor::kRead, &handle))
    return fail("cannot be opened (" + Describe(error) + ")");
  struct Closer {
    FileHandle handle;
    ~Closer() { Files().Close(handle); }
  } closer{handle};

  Record record;
  RecordFile record_file(handle, writable, run.set_aside_writes);
  std::string problem = LocateRecord(record_file, offset, &record);
  if (!problem.empty()) return fail(problem);
  size_t logged = run.result.guid_replacements.size();
  Replacer replacer{run, offset, record, GridCatalogue().Item(from_type),
                    GridCatalogue().Item(to_type)};
  problem = ReplaceGuids(replacer, record_file);
  if (!problem.empty()) {
    run.result.guid_replacements.resize(logged);
    return fail(problem);
  }
  if (!replacer.changed) return kUnchanged;
  return kChanged;
}

}  // namespace vireo
