#include "cli/html_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "base/text.h"
#include "cli/report.h"

namespace vireo {
namespace {

constexpr char kMarker[] = "'*** ORYX Migration Utility Code Change ***";

constexpr const char* kKeywords[] = {
    "As",     "Attribute", "Begin",    "Boolean", "ByRef",    "ByVal",    "Call",   "Case",
    "Class",  "Const",     "Declare",  "Dim",     "Do",       "Double",   "Each",   "Else",
    "ElseIf", "End",       "Exit",     "False",   "For",      "Function", "Get",    "GoTo",
    "If",     "In",        "Integer",  "Is",      "Let",      "Long",     "Loop",   "Me",
    "Module", "New",       "Next",     "Not",     "Nothing",  "Object",   "On",     "Option",
    "Or",     "Private",   "Property", "Public",  "ReDim",    "Select",   "Set",    "Single",
    "Static", "String",    "Sub",      "Then",    "To",       "True",     "Type",   "Variant",
    "Wend",   "While",     "With",     "And",     "Explicit", "Error",    "Resume", "Optional"};

constexpr char kStyle[] = R"(
body{font:14px/1.45 system-ui,sans-serif;margin:1.5em auto;max-width:75em;padding:0 1em;color:#1d1d1f;background:#fff}
h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.15em;margin:1.2em 0 .4em}
.sub{color:#555}.note{background:#fff8e1;border-left:4px solid #f0b400;padding:.4em .8em;margin:.6em 0}
table{border-collapse:collapse}td,th{padding:.15em .6em;text-align:left;vertical-align:top}
.counts td.n{text-align:right;font-variant-numeric:tabular-nums}
.charts{display:flex;flex-wrap:wrap;gap:2em}svg text{font:12px system-ui,sans-serif}
details.project{border:1px solid #ccd;border-radius:4px;margin:.5em 0;padding:.3em .7em}
details.project>summary{cursor:pointer;font-weight:600}
.o-converted,.o-would-be-converted{color:#176f2c}.o-failed{color:#b3261e}.o-skipped,.o-blocked,.o-interrupted{color:#8a5a00}
.facts td:first-child{color:#555}.cmd{font-family:ui-monospace,monospace;background:#f3f3f6;padding:.2em .5em;display:inline-block;white-space:pre-wrap;word-break:break-all}
table.diff{font:12px/1.35 ui-monospace,monospace;width:100%;margin:.3em 0 1em}
table.diff td{padding:0 .5em;white-space:pre-wrap;word-break:break-all}
table.diff td.ln{color:#888;text-align:right;width:3.5em;user-select:none;border-right:1px solid #ddd}
tr.hunk td{background:#eef2fb;color:#456}tr.del td.t{background:#fde8e8}tr.add td.t{background:#e6f6e6}
tr.marker td.t{background:#fff1b8;font-weight:600}tr.old td.t{background:#f6ecd2;color:#6b5a2a}
tr.fold td{background:#f3f3f6;color:#555;font-style:italic}
.k{color:#0b4fb3;font-weight:600}.s{color:#a4410e}.c{color:#2f7a33}
table.guids{font-size:12px;margin:.3em 0 1em}table.guids th{border-bottom:1px solid #ccd}
table.guids td{font-family:ui-monospace,monospace}
@media print{details.project{break-inside:avoid-page}body{max-width:none}}
)";

std::string Number(size_t n) { return std::to_string(n); }

bool IsKeyword(std::string_view word) {
  for (const char* keyword : kKeywords) {
    if (EqualsNoCase(word, keyword)) return true;
  }
  return false;
}

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Span(const char* kind, std::string_view text) {
  return std::string("<span class=\"") + kind + "\">" + HtmlEscaped(text) + "</span>";
}

// One diff line as the table shows it.
struct DiffRow {
  enum class Kind { kContext, kRemoved, kAdded, kMarker, kOldText, kHunk } kind;
  size_t old_line = 0, new_line = 0;  // 0: none
  std::string_view text;
};

// The rows of a unified diff; the marker line and the old text under it
// (comment lines right after a marker) are told apart from other additions.
std::vector<DiffRow> DiffRows(std::string_view diff) {
  std::vector<DiffRow> rows;
  size_t old_line = 0, new_line = 0;
  bool after_marker = false;
  for (size_t start = 0; start < diff.size();) {
    size_t end = diff.find('\n', start);
    if (end == std::string_view::npos) end = diff.size();
    std::string_view line = diff.substr(start, end - start);
    start = end + 1;
    if (line.starts_with("--- ") || line.starts_with("+++ ") || line.empty()) continue;
    if (line.starts_with("@@")) {
      unsigned long a = 0, b = 0;
      std::sscanf(std::string(line).c_str(), "@@ -%lu%*[^+]+%lu", &a, &b);
      old_line = a ? a : 1;
      new_line = b ? b : 1;
      rows.push_back({DiffRow::Kind::kHunk, 0, 0, line});
      after_marker = false;
      continue;
    }
    std::string_view text = line.substr(1);
    if (line[0] == '+') {
      DiffRow::Kind kind = DiffRow::Kind::kAdded;
      if (text == kMarker) {
        kind = DiffRow::Kind::kMarker;
        after_marker = true;
      } else if (after_marker && text.starts_with("'")) {
        kind = DiffRow::Kind::kOldText;
      } else {
        after_marker = false;
      }
      rows.push_back({kind, 0, new_line++, text});
    } else if (line[0] == '-') {
      rows.push_back({DiffRow::Kind::kRemoved, old_line++, 0, text});
    } else if (line[0] == ' ') {
      after_marker = false;
      rows.push_back({DiffRow::Kind::kContext, old_line++, new_line++, text});
    }
  }
  return rows;
}

const char* RowClass(DiffRow::Kind kind) {
  switch (kind) {
    case DiffRow::Kind::kRemoved:
      return "del";
    case DiffRow::Kind::kAdded:
      return "add";
    case DiffRow::Kind::kMarker:
      return "marker";
    case DiffRow::Kind::kOldText:
      return "old";
    case DiffRow::Kind::kHunk:
      return "hunk";
    case DiffRow::Kind::kContext:
      break;
  }
  return "ctx";
}

const char* RowSign(DiffRow::Kind kind) {
  switch (kind) {
    case DiffRow::Kind::kRemoved:
      return "-";
    case DiffRow::Kind::kContext:
      return " ";
    case DiffRow::Kind::kHunk:
      return "";
    default:
      return "+";
  }
}

std::string LineNumber(size_t n) { return n ? Number(n) : ""; }

// What the page left out, said at its top.
struct LeftOut {
  size_t files_folded = 0;
  size_t lines = 0;
  size_t files_dropped = 0;  // past the page's budget: counts only
};

class PageWriter {
 public:
  explicit PageWriter(const ReviewPage& page) : page_(page) {}
  std::string Write();

 private:
  std::string Summary() const;
  std::string Project(const ReviewProject& project);
  std::string File(const PreviewFile& file);
  std::string Diff(const PreviewFile& file);
  std::string Records(const PreviewFile& file) const;
  std::string LeftOutNote() const;

  const ReviewPage& page_;
  size_t shown_lines_ = 0;
  LeftOut left_out_;
};

std::string Bars(const std::string& title, const std::vector<std::pair<std::string, size_t>>& items,
                 const std::string& id_prefix) {
  size_t most = 1;
  for (const auto& item : items) most = std::max(most, item.second);
  const size_t row = 22, label = 190, width = 260;
  std::string svg = "<figure><figcaption>" + HtmlEscaped(title) +
                    "</figcaption><svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" +
                    Number(label + width + 60) + "\" height=\"" + Number(row * items.size() + 4) +
                    "\">";
  for (size_t i = 0; i < items.size(); ++i) {
    size_t y = i * row;
    size_t bar = items[i].second * width / most;
    svg += "<text x=\"0\" y=\"" + Number(y + 15) + "\">" + HtmlEscaped(items[i].first) +
           "</text><rect x=\"" + Number(label) + "\" y=\"" + Number(y + 3) + "\" width=\"" +
           Number(std::max<size_t>(bar, 1)) + "\" height=\"16\" fill=\"#5b7fc7\"/><text x=\"" +
           Number(label + bar + 6) + "\" y=\"" + Number(y + 15) + "\">" + Number(items[i].second) +
           "</text>";
  }
  svg += "</svg></figure>";
  std::string table = "<table class=\"counts\" id=\"" + id_prefix + "s\">";
  for (const auto& [name, count] : items)
    table += "<tr><td>" + HtmlEscaped(name) + "</td><td class=\"n\" data-" + id_prefix + "=\"" +
             HtmlEscaped(name) + "\">" + Number(count) + "</td></tr>";
  return "<div>" + svg + table + "</table></div>";
}

std::string PageWriter::Summary() const {
  std::map<std::string, size_t> by_outcome, by_source;
  for (const ReviewProject& project : page_.projects) {
    ++by_outcome[project.outcome];
    ++by_source[project.source.empty() ? "(none told)" : project.source];
  }
  std::vector<std::pair<std::string, size_t>> outcomes(by_outcome.begin(), by_outcome.end());
  std::vector<std::pair<std::string, size_t>> sources(by_source.begin(), by_source.end());
  return "<section id=\"summary\"><h2>Summary: <span id=\"project-count\">" +
         Number(page_.projects.size()) + "</span> " +
         (page_.projects.size() == 1 ? "project" : "projects") + "</h2><div class=\"charts\">" +
         Bars("Projects by outcome", outcomes, "outcome") +
         Bars("Projects by source type", sources, "source") + "</div></section>";
}

std::string PageWriter::LeftOutNote() const {
  if (!left_out_.files_folded && !left_out_.files_dropped) return "";
  std::string text = "<p class=\"note\" id=\"left-out\">Left out of this page: ";
  if (left_out_.files_folded)
    text += Number(left_out_.lines) + " diff lines of " + Number(left_out_.files_folded) +
            " files longer than " + Number(page_.file_diff_lines) + " lines";
  if (left_out_.files_folded && left_out_.files_dropped) text += "; ";
  if (left_out_.files_dropped)
    text += "the diffs of " + Number(left_out_.files_dropped) + " files past the page's " +
            Number(page_.page_diff_lines) + " diff lines (their counts are shown)";
  return text + ". A dry run with --diff shows every line.</p>";
}

std::string PageWriter::Diff(const PreviewFile& file) {
  std::vector<DiffRow> rows = DiffRows(file.diff);
  if (shown_lines_ >= page_.page_diff_lines) {
    ++left_out_.files_dropped;
    return "<p class=\"note\">Diff left out (" + Number(rows.size()) +
           " lines): the page holds no more.</p>";
  }
  size_t limit = std::min(page_.file_diff_lines, page_.page_diff_lines - shown_lines_);
  std::string html = "<table class=\"diff\">";
  size_t shown = std::min(limit, rows.size());
  for (size_t i = 0; i < shown; ++i) {
    const DiffRow& row = rows[i];
    std::string text =
        row.kind == DiffRow::Kind::kHunk ? HtmlEscaped(row.text) : HighlightedVb(row.text);
    html += "<tr class=\"" + std::string(RowClass(row.kind)) + "\"><td class=\"ln\">" +
            LineNumber(row.old_line) + "</td><td class=\"ln\">" + LineNumber(row.new_line) +
            "</td><td class=\"t\">" + RowSign(row.kind) + text + "</td></tr>";
  }
  shown_lines_ += shown;
  if (shown < rows.size()) {
    ++left_out_.files_folded;
    left_out_.lines += rows.size() - shown;
    html += "<tr class=\"fold\"><td colspan=\"3\">" + Number(rows.size() - shown) +
            " more diff lines left out</td></tr>";
  }
  return html + "</table>";
}

std::string PageWriter::Records(const PreviewFile& file) const {
  std::string html =
      "<table class=\"guids\"><tr><th>Record</th><th>Layout</th><th>At</th><th>GUID</th>"
      "<th>Old</th><th></th><th>New</th></tr>";
  for (const GuidRecord& record : file.records) {
    for (const GuidReplacement& guid : record.replacements)
      html += "<tr><td>" + std::to_string(record.record_offset) + "</td><td>" +
              HtmlEscaped(guid.layout) + "</td><td>" + std::to_string(guid.byte_offset) +
              "</td><td>" + HtmlEscaped(guid.role) + "</td><td>" + HtmlEscaped(guid.old_text) +
              "</td><td>&rarr;</td><td>" + HtmlEscaped(guid.new_text) + "</td></tr>";
  }
  return html + "</table>";
}

std::string PageWriter::File(const PreviewFile& file) {
  std::string what;
  if (!file.error.empty()) {
    what = "cannot compare (" + file.error + ")";
  } else if (file.binary) {
    what =
        Number(file.GuidCount()) + " GUIDs replaced in " + Number(file.records.size()) + " records";
  } else {
    what = Number(file.lines_changed) + " lines changed";
  }
  std::string html = "<h3 class=\"file\"><code>" + HtmlEscaped(file.shown_path) +
                     "</code>: " + HtmlEscaped(what) + "</h3>";
  if (file.binary && !file.records.empty()) return html + Records(file);
  if (!file.diff.empty()) return html + Diff(file);
  return html;
}

std::string PageWriter::Project(const ReviewProject& project) {
  std::string html = "<details class=\"project\"" +
                     std::string(page_.projects.size() <= 20 ? " open" : "") + " data-outcome=\"" +
                     HtmlEscaped(project.outcome_key) + "\"><summary>" + HtmlEscaped(project.path) +
                     " &mdash; <span class=\"o-" + HtmlEscaped(project.outcome_key) + "\">" +
                     HtmlEscaped(project.outcome) + "</span></summary><table class=\"facts\">";
  std::vector<std::pair<std::string, std::string>> facts{{"Source type", project.source}};
  facts.insert(facts.end(), project.facts.begin(), project.facts.end());
  if (!project.reason.empty()) facts.push_back({"Reason", project.reason});
  for (const auto& [label, value] : facts) {
    if (!value.empty())
      html += "<tr><td>" + HtmlEscaped(label) + "</td><td>" + HtmlEscaped(value) + "</td></tr>";
  }
  html += "</table>";
  for (const std::string& note : project.notes)
    html += "<p class=\"note\">" + HtmlEscaped(note) + "</p>";
  if (!project.command.empty())
    html += "<p>Command: <span class=\"cmd\">" + HtmlEscaped(project.command) + "</span></p>";
  for (const PreviewFile& file : project.preview.files) {
    if (file.differs || !file.error.empty()) html += File(file);
  }
  return html + "</details>";
}

std::string PageWriter::Write() {
  std::string projects;
  for (const ReviewProject& project : page_.projects) projects += Project(project);
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; img-src data:\">"
         "<meta name=\"viewport\" content=\"width=device-width\"><title>" +
         HtmlEscaped(page_.title) + "</title><style>" + kStyle + "</style></head><body><h1>" +
         HtmlEscaped(page_.title) + "</h1><p class=\"sub\">" + HtmlEscaped(page_.subtitle) +
         "</p>" + Summary() + LeftOutNote() + "<section id=\"projects\"><h2>Projects</h2>" +
         projects + "</section></body></html>\n";
}

}  // namespace

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (c >= 0x80) {
          if (size_t length = Utf8SequenceAt(text, i)) {
            out.append(text.substr(i, length));
            i += length;
            continue;
          }
          char entity[16];
          std::snprintf(entity, sizeof entity, "&#x%X;", c);
          out += entity;
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
          out += "&#xFFFD;";
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

std::string HighlightedVb(std::string_view line) {
  std::string out;
  for (size_t i = 0; i < line.size();) {
    char c = line[i];
    if (c == '\'') return out + Span("c", line.substr(i));
    if (c == '"') {
      size_t end = line.find('"', i + 1);
      end = end == std::string_view::npos ? line.size() : end + 1;
      out += Span("s", line.substr(i, end - i));
      i = end;
      continue;
    }
    if (IsWordChar(c)) {
      size_t end = i;
      while (end < line.size() && IsWordChar(line[end])) ++end;
      std::string_view word = line.substr(i, end - i);
      bool rem = EqualsNoCase(word, "Rem") && out.find_first_not_of(" \t") == std::string::npos;
      if (rem) return out + Span("c", line.substr(i));
      out += IsKeyword(word) ? Span("k", word) : HtmlEscaped(word);
      i = end;
      continue;
    }
    size_t end = i + 1;
    while (end < line.size() && !IsWordChar(line[end]) && line[end] != '\'' && line[end] != '"')
      ++end;
    out += HtmlEscaped(line.substr(i, end - i));
    i = end;
  }
  return out;
}

std::string ReviewHtml(const ReviewPage& page) {
  PageWriter writer(page);
  return writer.Write();
}

std::error_code WriteReviewHtml(const std::string& path, const ReviewPage& page,
                                std::FILE* standard_output) {
  return WriteReportText(path, ReviewHtml(page), standard_output);
}

}  // namespace vireo
