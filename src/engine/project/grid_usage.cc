#include "engine/project/grid_usage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/code/rewrite_rules.h"
#include "engine/forms/form_file.h"
#include "engine/project/project.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

using Rows = std::set<int16_t>;

// What the files say. A reference line or a GUID names one row; a class or
// library name may be shared by several rows (a family), which convert its
// text alike.
struct Evidence {
  Rows exact;
  std::set<Rows> families;
};

int16_t RowCount() { return static_cast<int16_t>(GridCatalogue().Count()); }

template <typename Matches>
Rows RowsWhere(Matches matches) {
  Rows rows;
  for (int16_t p = 1; p <= RowCount(); ++p) {
    if (matches(GridCatalogue().Item(p))) rows.insert(p);
  }
  return rows;
}

bool IsWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The rows a Begin line's class names: a grid by its full name, a drop-down
// by its library's.
Rows BlockClassRows(std::string_view line) {
  for (int16_t p = 1; p <= RowCount(); ++p) {
    const GridVersion& row = GridCatalogue().Item(p);
    if (ContainsNoCase(line, row.FullName))
      return RowsWhere([&](const GridVersion& r) { return r.FullName == row.FullName; });
    if (ContainsNoCase(line, row.GridLibName() + ".VireoDropDown"))
      return RowsWhere([&](const GridVersion& r) { return r.GridLibName() == row.GridLibName(); });
  }
  return {};
}

void AddDeclarations(std::string_view line, Evidence& evidence) {
  if (IsCommentLine(line)) return;
  for (int16_t p = 1; p <= RowCount(); ++p) {
    std::string library = GridCatalogue().Item(p).GridLibName();
    if (DeclaresTypeOf(line, library))
      evidence.families.insert(
          RowsWhere([&](const GridVersion& r) { return r.GridLibName() == library; }));
  }
}

void ScanForm(const std::string& path, Evidence& evidence) {
  LineReader reader;
  if (reader.Open(path)) return;
  std::string line;
  bool above_first_begin = true;
  while (reader.ReadLine(&line)) {
    if (IsBeginLine(line)) {
      above_first_begin = false;
      if (Rows rows = BlockClassRows(line); !rows.empty()) evidence.families.insert(rows);
      continue;
    }
    if (above_first_begin) {
      for (int16_t p = 1; p <= RowCount(); ++p) {
        if (IsFormObjectLineFor(line, p)) evidence.exact.insert(p);
      }
    }
    AddDeclarations(line, evidence);
  }
}

void ScanCode(const std::string& path, Evidence& evidence) {
  LineReader reader;
  if (reader.Open(path)) return;
  std::string line;
  while (reader.ReadLine(&line)) AddDeclarations(line, evidence);
}

// Reads in pieces that overlap by a GUID's length less one, so that no GUID
// falls between two pieces.
void ScanBinary(const std::string& path, Evidence& evidence) {
  constexpr size_t kPiece = 256 * 1024, kOverlap = 15;
  FileHandle file;
  if (Files().Open(path, OpenFor::kRead, &file)) return;
  std::string window;
  std::vector<char> buffer(kPiece);
  size_t got = 0;
  while (!Files().Read(file, buffer.data(), buffer.size(), &got) && got > 0) {
    window.append(buffer.data(), got);
    Rows found = TypesOfGuidsIn(window);
    evidence.exact.insert(found.begin(), found.end());
    window.erase(0, window.size() > kOverlap ? window.size() - kOverlap : 0);
  }
  Files().Close(file);
}

bool IsRegularFile(const std::string& path) {
  PathStatus status;
  return !Files().Status(path, &status) && status.exists && status.is_regular;
}

Evidence ScanListedFiles(const Project& project) {
  Evidence evidence;
  for (const ListedFile& file : ListProjectFiles(project)) {
    if (!IsRegularFile(file.path)) continue;
    switch (file.kind) {
      case ListedFile::Kind::kForm:
        ScanForm(file.path, evidence);
        break;
      case ListedFile::Kind::kSideFile:
        ScanBinary(file.path, evidence);
        break;
      case ListedFile::Kind::kCode:
        ScanCode(file.path, evidence);
        break;
      case ListedFile::Kind::kProject:
        break;
    }
  }
  return evidence;
}

SourceChoice Decide(const Rows& old_rows) {
  SourceChoice choice;
  choice.candidates.assign(old_rows.begin(), old_rows.end());
  if (old_rows.size() == 1) {
    choice.finding = SourceFinding::kFound;
    choice.source = *old_rows.begin();
  } else {
    choice.finding = old_rows.empty() ? SourceFinding::kUnknown : SourceFinding::kSeveral;
  }
  return choice;
}

// A family that holds the target may be the target's own words, and one that
// holds a row named exactly is explained by it; any other stands for its
// first row.
SourceChoice Decide(const Evidence& evidence, int16_t target) {
  Rows old_rows = evidence.exact;
  old_rows.erase(target);
  bool target_seen = evidence.exact.count(target) > 0;
  Rows from_families;
  for (const Rows& family : evidence.families) {
    if (family.count(target)) {
      target_seen = true;
      continue;
    }
    bool explained =
        std::any_of(family.begin(), family.end(), [&](int16_t p) { return old_rows.count(p) > 0; });
    if (!explained) from_families.insert(*family.begin());
  }
  old_rows.insert(from_families.begin(), from_families.end());
  SourceChoice choice = Decide(old_rows);
  if (old_rows.empty() && target_seen) choice.finding = SourceFinding::kAlreadyConverted;
  return choice;
}

}  // namespace

SourceChoice ChooseSource(const std::string& project_file, int16_t target,
                          const PathResolver& resolver) {
  // A project file that cannot be read tells nothing.
  Project project;
  std::string ignored;
  ReadProject(project_file, resolver, &project, &ignored);
  const Rows& referenced = project.references;
  Rows old_rows = referenced;
  old_rows.erase(target);
  if (!old_rows.empty()) {
    SourceChoice choice = Decide(old_rows);
    choice.from_project_file = true;
    return choice;
  }
  Evidence evidence = ScanListedFiles(project);
  evidence.exact.insert(referenced.begin(), referenced.end());
  return Decide(evidence, target);
}

bool DeclaresTypeOf(std::string_view line, std::string_view library) {
  std::string qualified = std::string(library) + ".";
  for (size_t at = FindNoCase(line, qualified); at != kNotFound;
       at = FindNoCase(line, qualified, at + 1)) {
    if (at == 0 || IsWordCharacter(line[at - 1])) continue;
    std::string_view before = TrimTrailingSpaces(line.substr(0, at));
    if (before.size() == at) continue;  // no space between the keyword and the name
    size_t start = before.size();
    while (start > 0 && IsWordCharacter(before[start - 1])) --start;
    std::string_view keyword = before.substr(start);
    if (EqualsNoCase(keyword, "As") || EqualsNoCase(keyword, "New")) return true;
  }
  return false;
}

std::set<int16_t> TypesOfGuidsIn(std::string_view bytes) {
  // Every catalogue GUID by its 16 bytes. The rows of a family share the
  // last 12 bytes of theirs, so those are searched for and the 4 before
  // them looked up.
  struct Table {
    std::map<std::string, int16_t, std::less<>> rows;
    std::set<std::string> tails;
  };
  static const Table kTable = [] {
    Table table;
    for (int16_t p = 1; p <= RowCount(); ++p) {
      for (const GUID& guid : GridCatalogue().Item(p).Items()) {
        std::array<uint8_t, 16> raw;
        guid.ToBytes(raw);
        std::string text(raw.begin(), raw.end());
        table.tails.insert(text.substr(4));
        table.rows.emplace(std::move(text), p);
      }
    }
    return table;
  }();
  Rows rows;
  for (const std::string& tail : kTable.tails) {
    for (size_t at = bytes.find(tail, 4); at != std::string_view::npos;
         at = bytes.find(tail, at + 1)) {
      auto found = kTable.rows.find(bytes.substr(at - 4, 16));
      if (found != kTable.rows.end()) rows.insert(found->second);
    }
  }
  return rows;
}

}  // namespace vireo
