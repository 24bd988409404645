#include "cli/report.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/file_io.h"
#include "cli/type_choice.h"
#include "engine/catalogue/grid_catalogue.h"

namespace vireo {
namespace {

void AppendEscapedByte(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

using Json = JsonDocument;

// Writes `value` as nlohmann's dump(2) lays it out, but with strings escaped
// by JsonString: the library's serializer knows no way to write a byte that
// is not UTF-8 other than to fail, drop it or replace it, and the report
// keeps every name. A float is a duration and has three decimals.
void Write(const Json& value, int depth, std::string& out) {
  auto indent = [&out](int level) { out.append(2 * static_cast<size_t>(level), ' '); };
  switch (value.type()) {
    case Json::value_t::object:
    case Json::value_t::array: {
      bool object = value.is_object();
      if (value.empty()) {
        out += object ? "{}" : "[]";
        return;
      }
      out += object ? "{\n" : "[\n";
      bool first = true;
      for (auto item = value.begin(); item != value.end(); ++item) {
        if (!first) out += ",\n";
        first = false;
        indent(depth + 1);
        if (object) {
          out += JsonString(item.key());
          out += ": ";
        }
        Write(item.value(), depth + 1, out);
      }
      out += '\n';
      indent(depth);
      out += object ? '}' : ']';
      return;
    }
    case Json::value_t::string:
      out += JsonString(value.get_ref<const std::string&>());
      return;
    case Json::value_t::number_float: {
      double seconds = value.get<double>();
      if (!std::isfinite(seconds)) seconds = 0;
      char buffer[64];
      auto written =
          std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 3);
      out.append(buffer, written.ptr);
      return;
    }
    default:
      out += value.dump();
  }
}

Json TypeJson(int position, const ReportInfo& info) {
  if (position == 0) return nullptr;
  const GridVersions& catalogue = GridCatalogue();
  bool known = position >= 1 && position <= catalogue.Count();
  Json type;
  type["position"] = position;
  if (info.type_name) {
    type["name"] = info.type_name(position);
  } else {
    type["name"] = known ? Json(TypeName(static_cast<int16_t>(position))) : Json(nullptr);
  }
  type["control_file"] = known ? Json(catalogue.Item(position).OCXFileName()) : Json(nullptr);
  return type;
}

Json GuidJson(const GuidReplacement& guid) {
  return {{"file", guid.file},         {"record_offset", guid.record_offset},
          {"offset", guid.byte_offset}, {"role", guid.role},
          {"old", guid.old_text},       {"new", guid.new_text}};
}

Json FileJson(const FileOutcome& file, const RunResult& result) {
  Json entry;
  entry["kind"] = file.kind;
  entry["path"] = file.path;
  if (!file.binary_path.empty()) entry["binary_path"] = file.binary_path;
  entry["result"] = FileResultName(file.result);
  if (!file.reason.empty()) entry["reason"] = file.reason;
  auto lines = result.changed_lines.find(file.path);
  entry["lines_changed"] = lines == result.changed_lines.end() ? 0 : lines->second;
  Json guids = Json::array();
  for (const GuidReplacement& guid : result.guid_replacements) {
    bool own =
        guid.file == file.path || (!file.binary_path.empty() && guid.file == file.binary_path);
    if (own) guids.push_back(GuidJson(guid));
  }
  entry["guids_replaced"] = std::move(guids);
  return entry;
}

// The same keys as a converted file's, so readers need no special case.
Json MissingFormJson(const std::string& path) {
  return {{"kind", "form"},
          {"path", path},
          {"result", "missing"},
          {"lines_changed", 0},
          {"guids_replaced", Json::array()}};
}

}  // namespace

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
    case RunOutcome::kRefused:
      return "refused";
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

std::string JsonText(const JsonDocument& document) {
  std::string out;
  Write(document, 0, out);
  return out + "\n";
}

JsonDocument ReportDocument(const RunResult& result, const ReportInfo& info) {
  Json files = Json::array();
  for (const std::string& form : info.missing_forms) files.push_back(MissingFormJson(form));
  for (const FileOutcome& file : result.files) files.push_back(FileJson(file, result));
  Json report;
  report["tool"] = info.tool;
  report["version"] = info.version;
  report["dry_run"] = info.dry_run;
  report["source"] = TypeJson(result.from_type, info);
  report["target"] = TypeJson(result.to_type, info);
  report["files"] = std::move(files);
  report["outcome"] = OutcomeName(result.outcome);
  report["message"] = result.message;
  report["failure_reason"] = result.failure_reason;
  report["exit_status"] = info.exit_status;
  report["replaced"] = result.replaced;
  report["unchanged"] = result.unchanged;
  report["leftovers"] = result.leftovers;
  report["outside_project"] = info.outside_project;
  report["duration_seconds"] = info.duration_seconds;
  return report;
}

std::string ReportJson(const RunResult& result, const ReportInfo& info) {
  return JsonText(ReportDocument(result, info));
}

std::error_code WriteReportFile(const std::string& path, const RunResult& result,
                                const ReportInfo& info, std::FILE* standard_output) {
  return WriteReportText(path, ReportJson(result, info), standard_output);
}

std::string ReportDestinationProblem(const std::string& path) {
  if (path == "-") return "";
  PathStatus status;
  if (!Files().Status(path, &status) && status.exists) {
    if (status.is_directory) return path + ": is a folder";
    if (!status.is_regular) return "";  // a device or a pipe named on purpose
    FileHandle file;
    if (auto error = Files().Open(path, OpenFor::kReadWrite, &file))
      return path + ": cannot be written (" + Describe(error) + ")";
    Files().Close(file);
    return "";
  }
  std::string folder = ParentDirectory(path);
  PathStatus folder_status;
  if (Files().Status(folder, &folder_status) || !folder_status.exists)
    return path + ": its folder " + folder + " does not exist";
  if (!folder_status.is_directory) return path + ": " + folder + " is not a folder";
  std::string probe;
  FileHandle file;
  if (auto error = Files().CreateTempFile(folder, "vr5", &probe, &file))
    return path + ": its folder " + folder + " takes no new file (" + Describe(error) + ")";
  Files().Close(file);
  Files().Remove(probe);
  return "";
}

std::error_code WriteReportText(const std::string& path, const std::string& text,
                                std::FILE* standard_output) {
  if (path != "-") return WriteWholeFile(path, text);
  if (std::fputs(text.c_str(), standard_output) < 0 || std::fflush(standard_output) != 0)
    return std::error_code(errno, std::generic_category());
  return {};
}

}  // namespace vireo
