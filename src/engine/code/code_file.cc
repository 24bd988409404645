#include "engine/code/code_file.h"

#include "engine/code/rewrite_rules.h"
#include "engine/project/text_conversion.h"
#include "base/text.h"

namespace vireo {

namespace {

// Source files never hold a NUL byte; one that does is no text file.
bool HoldsNul(const std::string& line, const LineReader& in, std::string* problem) {
  if (!in.line_may_hold_nul() || line.find('\0') == std::string::npos) return false;
  *problem = "line " + std::to_string(in.lines_read()) + " holds a NUL byte: not a text file";
  return true;
}

}  // namespace

bool ReadLogicalLine(LineReader& in, FileWork& run, std::string* line, std::string* problem) {
  if (!in.ReadLine(line)) {
    run.RawLines.clear();
    *problem = in.error() ? "cannot be read (" + Describe(in.error()) + ")"
                          : "has no further line to read";
    return false;
  }
  if (HoldsNul(*line, in, problem)) {
    run.RawLines.clear();
    return false;
  }
  // The first physical line reuses the string of the line before.
  run.RawLines.resize(1);
  run.RawLines[0] = *line;
  if ((!line->empty() && (*line)[0] == '\'') || line->compare(0, 3, "Rem") == 0) return true;
  std::string next;
  while (true) {
    size_t kept = TrimTrailingSpaces(*line).size();
    if (kept == 0 || (*line)[kept - 1] != '_') return true;
    if (!in.ReadLine(&next)) {
      *problem = in.error() ? "cannot be read (" + Describe(in.error()) + ")"
                            : "ends inside the continued line that begins at line " +
                                  std::to_string(in.lines_read() + 1 - run.RawLines.size());
      return false;
    }
    if (HoldsNul(next, in, problem)) return false;
    run.RawLines.push_back(next);
    line->resize(TrimTrailingSpaces(std::string_view(*line).substr(0, kept - 1)).size());
    *line += ' ';
    *line += TrimLeadingSpaces(next);
  }
}

void MarkChange(FileWork& run, LineWriter& out, const std::string& original) {
  out.WriteLine(kChangeMarker);
  for (const std::string& raw : run.RawLines) out.WriteLine("'" + raw);
  run.WriteJoined = true;
  run.result.changed_lines[original] += 1;
}

void WriteCurrentLine(FileWork& run, LineWriter& out, const std::string& line) {
  if (run.WriteJoined) {
    out.WriteLine(line);
    run.WriteJoined = false;
    return;
  }
  for (const std::string& raw : run.RawLines) out.WriteLine(raw);
}

int16_t ConvertCodeFile(FileWork& run, const std::string& path, int16_t from_type,
                        int16_t to_type) {
  return ConvertTextFile(run, path, [&](LineReader& in, LineWriter& out) {
    run.WriteJoined = false;
    bool changed = false;
    std::string line, problem;
    while (!in.AtEnd()) {
      if (!ReadLogicalLine(in, run, &line, &problem)) {
        run.Fail(path + ": " + problem);
        return kFailed;
      }
      if (RewriteDeclarations(line, from_type, to_type)) {
        changed = true;
        ++run.result.counts.declarations;
        MarkChange(run, out, path);
      }
      WriteCurrentLine(run, out, line);
    }
    return changed ? kChanged : kUnchanged;
  });
}

}  // namespace vireo
