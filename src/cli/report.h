// The JSON report of one run, written for --report: which grid types, what
// happened to each file, the outcome, the exit status and how long it took.
// Also the one JSON writer every report of the command line goes through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/project/convert_project.h"

namespace vireo {

// What the report needs besides the run's result.
struct ReportInfo {
  std::string tool;
  std::string version;
  bool dry_run = false;
  int exit_status = 0;
  double duration_seconds = 0;
  // A grid type's name by catalogue position; without it, TypeName's.
  std::function<std::string(int)> type_name;
  // Files outside the project's folder that the run changes (or would).
  std::vector<std::string> outside_project;
  // Listed forms that are missing and were skipped; reported among the
  // files with the result "missing".
  std::vector<std::string> missing_forms;
};

// "converted", "nothing-to-convert", "failed", "unsaved", "cancelled", "busy",
// "interrupted" or "refused".
const char* OutcomeName(RunOutcome outcome);
// "changed", "unchanged" or "failed" for a converter's result code.
const char* FileResultName(int16_t result);

// The length of the well-formed UTF-8 sequence of two to four bytes that
// starts at `at`, or 0 when there is none (overlong forms, surrogates and
// code points above U+10FFFF are not well formed).
size_t Utf8SequenceAt(std::string_view text, size_t at);

// `bytes` as a JSON string, quotes included.
std::string JsonString(std::string_view bytes);

// A JSON document in the making; its strings are bytes, not necessarily UTF-8.
using JsonDocument = nlohmann::ordered_json;
// `document` as every report is written: indented by two, strings by
// JsonString, a number that is not whole with three decimals, ending in LF.
std::string JsonText(const JsonDocument& document);

// The report as a document, to be written alone or within another.
JsonDocument ReportDocument(const RunResult& result, const ReportInfo& info);
// The whole report, indented, ending in LF.
std::string ReportJson(const RunResult& result, const ReportInfo& info);
// `path` "-" writes to `standard_output`.
std::error_code WriteReportFile(const std::string& path, const RunResult& result,
                                const ReportInfo& info, std::FILE* standard_output = stdout);

// A report's destination: "-" for standard output, else a file. Checked
// before a run changes anything: "" when the file can be written (its folder
// exists and takes a new file, or the file exists and opens for writing),
// else why not, naming it.
std::string ReportDestinationProblem(const std::string& path);
// Writes a whole report to its destination.
std::error_code WriteReportText(const std::string& path, const std::string& text,
                                std::FILE* standard_output = stdout);

}  // namespace vireo
