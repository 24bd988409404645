#include "engine/code/rewrite_rules.h"

#include "engine/catalogue/grid_catalogue.h"
#include "base/text.h"

namespace vireo {
namespace {

std::string LibraryName(int16_t position) { return GridCatalogue().Item(position).GridLibName(); }

// The guard line for a FirstRowChange header: the last recorded grid whose
// name the line contains.
std::string GuardLine(const FileWork& run, std::string_view line) {
  std::string guard;
  for (const std::string& name : run.GridControlNames) {
    if (ContainsNoCase(line, name)) guard = "If SplitIndex <> " + name + ".Split Then Exit Sub";
  }
  return guard;
}

struct Rewrite {
  std::string old_text;
  std::string new_text;
};

bool ChooseEventRewrite(const FileWork& run, std::string_view line, const std::string& src,
                        const std::string& dst, Rewrite* rewrite) {
  auto pick = [&](std::string old_text, std::string new_text) {
    *rewrite = {std::move(old_text), std::move(new_text)};
    return true;
  };
  if (ContainsNoCase(line, "_FetchCellStyle")) {
    const std::string style = "As " + dst + ".StyleDisp";
    if (ContainsNoCase(line, "As Object")) return pick("As Object", style);
    if (ContainsNoCase(line, "As StyleDisp")) return pick("As StyleDisp", style);
    if (ContainsNoCase(line, "As " + src + ".StyleDisp"))
      return pick("As " + src + ".StyleDisp", style);
    return false;
  }
  if (ContainsNoCase(line, "_Unbound")) {
    const std::string buffer = "As " + dst + ".RowBuffer";
    if (ContainsNoCase(line, "As RowBuffer")) return pick("As RowBuffer", buffer);
    if (ContainsNoCase(line, "As " + src + ".RowBuffer"))
      return pick("As " + src + ".RowBuffer", buffer);
    return false;
  }
  if (ContainsNoCase(line, "_LeftColChange()"))
    return pick("_LeftColChange()", "_LeftColChange(ByVal SplitIndex as Integer)");
  if (ContainsNoCase(line, "_FirstRowChange()"))
    return pick("_FirstRowChange()",
                "_FirstRowChange(ByVal SplitIndex as Integer)\r\n" + GuardLine(run, line));
  return false;
}

// Replaces every occurrence of `old_text` left to right, never looking at
// inserted text again. Returns the number replaced.
int ReplaceEachOnce(std::string& line, const std::string& old_text, const std::string& new_text) {
  int count = 0;
  std::string result;
  size_t from = 0;
  for (size_t at = FindNoCase(line, old_text); at != kNotFound;
       at = FindNoCase(line, old_text, from)) {
    result.append(line, from, at - from);
    result += new_text;
    from = at + old_text.size();
    ++count;
  }
  if (count > 0) {
    result.append(line, from, std::string::npos);
    line = std::move(result);
  }
  return count;
}

}  // namespace

bool IsCommentLine(std::string_view line) {
  std::string_view text = TrimLeadingSpaces(line);
  return (!text.empty() && text[0] == '\'') || text.substr(0, 3) == "Rem";
}

EventProcedureIndex::EventProcedureIndex(const FileWork& run) {
  auto fill = [this](Family& family, const std::vector<std::string>& names,
                     const std::vector<std::string>& suffixes) {
    for (const std::string& name : names) {
      family.names.insert(AsciiLowerCopy(name));
      longest_name_ = std::max(longest_name_, name.size());
    }
    family.suffixes = suffixes;
  };
  fill(grids_, run.GridControlNames, run.GridEventNames);
  fill(drop_downs_, run.DropDownControlNames, run.DropDownEventNames);
}

bool EventProcedureIndex::FamilyMatches(const Family& family, const std::string& name,
                                        std::string_view after) const {
  if (!family.names.count(name)) return false;
  for (const std::string& suffix : family.suffixes) {
    if (StartsWithNoCase(after, suffix)) return true;
  }
  return false;
}

bool EventProcedureIndex::MatchesAt(std::string_view rest) const {
  std::string name;  // lower case prefix of `rest`, one character longer each round
  for (size_t length = 0; length <= longest_name_ && length <= rest.size(); ++length) {
    if (length > 0) name += AsciiLower(rest[length - 1]);
    std::string_view after = rest.substr(length);
    if (FamilyMatches(grids_, name, after) || FamilyMatches(drop_downs_, name, after)) return true;
  }
  return false;
}

bool EventProcedureIndex::Matches(std::string_view line) const {
  if (grids_.names.empty() && drop_downs_.names.empty()) return false;
  for (size_t at = FindNoCase(line, "Sub "); at != kNotFound;
       at = FindNoCase(line, "Sub ", at + 4)) {
    if (MatchesAt(line.substr(at + 4))) return true;
  }
  return false;
}

bool IsGridEventProcedure(const EventProcedureIndex& index, std::string_view line) {
  return !IsCommentLine(line) && index.Matches(line);
}

bool RewriteEventLine(const FileWork& run, std::string& line, int16_t from_type, int16_t to_type) {
  Rewrite rewrite;
  if (!ChooseEventRewrite(run, line, LibraryName(from_type), LibraryName(to_type), &rewrite))
    return false;
  return ReplaceFirstNoCase(line, rewrite.old_text, rewrite.new_text);
}

bool RewriteEventHeader(const FileWork& run, std::string& line, int16_t from_type,
                        int16_t to_type) {
  std::string before = line;
  RewriteEventLine(run, line, from_type, to_type);
  RewriteDeclarations(line, from_type, to_type);
  return line != before;
}

int16_t FindDeclaration(std::string_view line, int16_t from_type) {
  if (IsCommentLine(line)) return kNoDeclaration;
  const std::string src = LibraryName(from_type);
  if (ContainsNoCase(line, "As " + src + ".")) return kPlainDeclaration;
  if (ContainsNoCase(line, "As New " + src + ".")) return kNewDeclaration;
  return kNoDeclaration;
}

void RewriteDeclaration(std::string& line, int16_t from_type, int16_t to_type, int16_t kind) {
  const std::string prefix = kind == kPlainDeclaration ? "As " : "As New ";
  ReplaceFirstNoCase(line, prefix + LibraryName(from_type) + ".",
                     prefix + LibraryName(to_type) + ".");
}

bool RewriteDeclarations(std::string& line, int16_t from_type, int16_t to_type) {
  if (FindDeclaration(line, from_type) == kNoDeclaration) return false;
  const std::string src = LibraryName(from_type);
  const std::string dst = LibraryName(to_type);
  std::string before = line;
  ReplaceEachOnce(line, "As " + src + ".", "As " + dst + ".");
  ReplaceEachOnce(line, "As New " + src + ".", "As New " + dst + ".");
  return line != before;
}

}  // namespace vireo
