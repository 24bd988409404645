#include "cli/report.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "engine/catalogue/grid_catalogue.h"
#include "base/file_io.h"

namespace vireo {
namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes that
// starts at `at`, or 0 when there is none (overlong forms, surrogates and
// code points above U+10FFFF are not well formed).
size_t Utf8SequenceAt(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscapedByte(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

// Builds indented JSON; keys and values are appended in the order given.
class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(std::string_view key) {
    NextItem();
    out_ += JsonString(key);
    out_ += ": ";
    after_key_ = true;
  }
  void String(std::string_view value) { Value(JsonString(value)); }
  void Number(int64_t value) { Value(std::to_string(value)); }
  void Bool(bool value) { Value(value ? "true" : "false"); }
  void Null() { Value("null"); }
  void Seconds(double value) {
    if (!std::isfinite(value)) value = 0;
    char buffer[64];
    auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    Value(std::string(buffer, written.ptr));
  }
  std::string Take() { return std::move(out_) + "\n"; }

 private:
  void NextItem() {
    if (after_key_) return;
    if (!first_.empty()) {
      if (!first_.back()) out_ += ',';
      first_.back() = false;
      out_ += '\n';
      out_.append(2 * first_.size(), ' ');
    }
  }
  void Value(const std::string& text) {
    NextItem();
    after_key_ = false;
    out_ += text;
  }
  void Open(char bracket) {
    Value(std::string(1, bracket));
    first_.push_back(true);
  }
  void Close(char bracket) {
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) {
      out_ += '\n';
      out_.append(2 * first_.size(), ' ');
    }
    out_ += bracket;
  }

  std::string out_;
  std::vector<bool> first_;  // per open bracket: nothing written inside yet
  bool after_key_ = false;
};

void WriteType(JsonWriter& json, int position, const ReportInfo& info, const std::string& plain) {
  const GridVersions& catalogue = GridCatalogue();
  bool known = position >= 1 && position <= catalogue.Count();
  if (position == 0) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.Key("position");
  json.Number(position);
  json.Key("name");
  if (info.type_name) {
    json.String(info.type_name(position));
  } else if (!plain.empty()) {
    json.String(plain);
  } else if (known) {
    json.String(catalogue.Item(position).FullName);
  } else {
    json.Null();
  }
  json.Key("control_file");
  if (known) {
    json.String(catalogue.Item(position).OCXFileName());
  } else {
    json.Null();
  }
  json.EndObject();
}

void WriteGuid(JsonWriter& json, const GuidReplacement& guid) {
  json.BeginObject();
  json.Key("file");
  json.String(guid.file);
  json.Key("record_offset");
  json.Number(guid.record_offset);
  json.Key("offset");
  json.Number(guid.byte_offset);
  json.Key("role");
  json.String(guid.role);
  json.Key("old");
  json.String(guid.old_text);
  json.Key("new");
  json.String(guid.new_text);
  json.EndObject();
}

void WriteFileEntry(JsonWriter& json, const FileOutcome& file, const RunResult& result) {
  json.BeginObject();
  json.Key("kind");
  json.String(file.kind);
  json.Key("path");
  json.String(file.path);
  if (!file.binary_path.empty()) {
    json.Key("binary_path");
    json.String(file.binary_path);
  }
  json.Key("result");
  json.String(FileResultName(file.result));
  if (!file.reason.empty()) {
    json.Key("reason");
    json.String(file.reason);
  }
  json.Key("lines_changed");
  auto lines = result.changed_lines.find(file.path);
  json.Number(lines == result.changed_lines.end() ? 0 : lines->second);
  json.Key("guids_replaced");
  json.BeginArray();
  for (const GuidReplacement& guid : result.guid_replacements) {
    bool own =
        guid.file == file.path || (!file.binary_path.empty() && guid.file == file.binary_path);
    if (own) WriteGuid(json, guid);
  }
  json.EndArray();
  json.EndObject();
}

// The same keys as a converted file's, so readers need no special case.
void WriteMissingForm(JsonWriter& json, const std::string& path) {
  json.BeginObject();
  json.Key("kind");
  json.String("form");
  json.Key("path");
  json.String(path);
  json.Key("result");
  json.String("missing");
  json.Key("lines_changed");
  json.Number(0);
  json.Key("guids_replaced");
  json.BeginArray();
  json.EndArray();
  json.EndObject();
}

}  // namespace

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kConverted:
      return "converted";
    case RunOutcome::kNothingToConvert:
      return "nothing-to-convert";
    case RunOutcome::kFailed:
      return "failed";
    case RunOutcome::kUnsaved:
      return "unsaved";
    case RunOutcome::kCancelled:
      return "cancelled";
    case RunOutcome::kBusy:
      return "busy";
    case RunOutcome::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

const char* FileResultName(int16_t result) {
  if (result == kChanged) return "changed";
  if (result == kUnchanged) return "unchanged";
  return "failed";
}

// Paths and messages are bytes in whatever code page the project used, not
// necessarily UTF-8. Well-formed UTF-8 passes through; every other byte from
// 0x80 up is read as Latin-1 and written as \u00XX of its value, so the
// report is always valid JSON. Control characters are written as \u00XX too.
std::string JsonString(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      AppendEscapedByte(out, c);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (size_t length = Utf8SequenceAt(bytes, i)) {
      out.append(bytes.substr(i, length));
      i += length;
    } else {
      AppendEscapedByte(out, c);
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string ReportJson(const RunResult& result, const ReportInfo& info) {
  JsonWriter json;
  json.BeginObject();
  json.Key("tool");
  json.String(info.tool);
  json.Key("version");
  json.String(info.version);
  json.Key("dry_run");
  json.Bool(info.dry_run);
  json.Key("source");
  WriteType(json, result.from_type, info, info.from_name);
  json.Key("target");
  WriteType(json, result.to_type, info, info.to_name);
  json.Key("files");
  json.BeginArray();
  for (const std::string& form : info.missing_forms) WriteMissingForm(json, form);
  for (const FileOutcome& file : result.files) WriteFileEntry(json, file, result);
  json.EndArray();
  json.Key("outcome");
  json.String(OutcomeName(result.outcome));
  json.Key("message");
  json.String(result.message);
  json.Key("failure_reason");
  json.String(result.failure_reason);
  json.Key("exit_status");
  json.Number(info.exit_status);
  json.Key("replaced");
  json.Number(result.replaced);
  json.Key("unchanged");
  json.Number(result.unchanged);
  json.Key("leftovers");
  json.BeginArray();
  for (const std::string& leftover : result.leftovers) json.String(leftover);
  json.EndArray();
  json.Key("outside_project");
  json.BeginArray();
  for (const std::string& file : info.outside_project) json.String(file);
  json.EndArray();
  json.Key("duration_seconds");
  json.Seconds(info.duration_seconds);
  json.EndObject();
  return json.Take();
}

std::error_code WriteReportFile(const std::string& path, const RunResult& result,
                                const ReportInfo& info) {
  return WriteWholeFile(path, ReportJson(result, info));
}

}  // namespace vireo
