#include "engine/project/journal.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/file_io.h"

namespace vireo {
namespace {

constexpr char kInPlaceTag[] = "inplace";


constexpr char kMagicV1[] = "VR5 JOURNAL 1";
constexpr char kMagicV2[] = "VR5 JOURNAL 2";
constexpr char kMagic[] = "VR5 JOURNAL 3";
constexpr char kRunPrefix[] = "run ";
constexpr char kHashPrefix[] = "hash ";
constexpr char kProjectPrefix[] = "project ";
constexpr char kSeePrefix[] = "see ";
constexpr size_t kTokenLength = 16;

// Paths are written with "%", tab, CR and LF escaped, so each entry is one line.
std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Exactly `text` as a hexadecimal number of at most 16 digits.
bool ParseHex(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 16) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value, 16);
  return error == std::errc() && stop == end;
}

bool Unescape(std::string_view text, std::string* plain) {
  plain->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *plain += text[i];
      continue;
    }
    uint64_t value = 0;
    if (i + 2 >= text.size() || !ParseHex(text.substr(i + 1, 2), &value)) return false;
    *plain += static_cast<char>(value);
    i += 2;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  while (true) {
    size_t at = text.find(separator);
    fields.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return fields;
    text.remove_prefix(at + 1);
  }
}

std::string Hex64(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

const char* StateName(JournalState state) {
  switch (state) {
    case JournalState::kStaging:
      return "staging";
    case JournalState::kCommitting:
      return "commit";
    case JournalState::kRollingBack:
      return "rollback";
  }
  return "";
}

bool ParseState(std::string_view text, JournalState* state) {
  for (JournalState candidate :
       {JournalState::kStaging, JournalState::kCommitting, JournalState::kRollingBack}) {
    if (text == StateName(candidate)) {
      *state = candidate;
      return true;
    }
  }
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SiblingPath(const std::string& original, const char* tag, const std::string& token) {
  std::string path = FolderOf(original);
  path.append(".").append(NameOf(original)).append(".").append(tag);
  if (!token.empty()) path.append(".").append(token);
  return path;
}

const char* HashName(ChecksumKind kind) { return kind == ChecksumKind::kXxh3 ? "xxh3" : "fnv1a64"; }

bool ParseHash(std::string_view line, ChecksumKind* kind) {
  if (line.substr(0, 5) != kHashPrefix) return false;
  for (ChecksumKind candidate : {ChecksumKind::kXxh3, ChecksumKind::kFnv1a64}) {
    if (line.substr(5) == HashName(candidate)) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

std::string Serialise(const Journal& journal, const std::string& folder) {
  std::string body = std::string(kMagic) + "\n" + kRunPrefix + journal.token + "\n" + kHashPrefix +
                     HashName(journal.checksum) + "\n";
  if (!journal.part_of.empty()) {
    body += kSeePrefix + Escape(RelativePath(folder, journal.part_of)) + "\n";
  } else {
    body += std::string(StateName(journal.state)) + "\n";
    for (const std::string& project : journal.unit_projects)
      body += kProjectPrefix + Escape(RelativePath(folder, project)) + "\n";
  }
  for (const JournalEntry& e : journal.entries) {
    body += Escape(RelativePath(folder, e.original)) + "\t" + Hex64(e.old_checksum) + "\t" +
            Hex64(e.new_checksum);
    if (e.in_place) body.append("\t").append(kInPlaceTag);
    body += "\n";
  }
  return body + "end " + Hex64(ChecksumOf(journal.checksum, body.data(), body.size())) + "\n";
}

bool IsAbsolute(std::string_view path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (i > start || start == 0) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The hash a journal's own checksum uses: FNV-1a up to version 2, else the
// one its "hash" line (the third) names.
bool JournalHash(const std::string& text, ChecksumKind* kind) {
  *kind = ChecksumKind::kFnv1a64;
  if (!std::string_view(text).starts_with(std::string(kMagic) + "\n")) return true;
  std::vector<std::string_view> head = Split(std::string_view(text).substr(0, 200), '\n');
  return head.size() > 3 && ParseHash(head[2], kind);
}

// The journal's lines before its "end" line, once its checksum holds.
bool CheckedLines(const std::string& text, ChecksumKind kind,
                  std::vector<std::string_view>* lines) {
  size_t end = text.rfind("end ");
  uint64_t recorded = 0;
  if (end == std::string::npos || (end > 0 && text[end - 1] != '\n') ||
      !ParseHex(std::string_view(text).substr(end + 4, 16), &recorded) ||
      recorded != ChecksumOf(kind, text.data(), end))
    return false;
  *lines = Split(std::string_view(text.data(), end), '\n');
  if (!lines->empty() && lines->back().empty()) lines->pop_back();
  return true;
}

// One entry line: "original<TAB>old<TAB>new[<TAB>inplace]", or in version 1
// "original<TAB>staged<TAB>backup<TAB>old<TAB>new" with full paths.
bool ParseEntry(std::string_view line, bool version1, const std::string& folder, JournalEntry* e) {
  std::vector<std::string_view> fields = Split(line, '\t');
  size_t sums = version1 ? 3 : 1;
  if (!version1 && fields.size() == sums + 3 && fields.back() == kInPlaceTag) {
    e->in_place = true;
    fields.pop_back();
  }
  if (fields.size() != sums + 2 || !Unescape(fields[0], &e->original) || e->original.empty() ||
      !ParseHex(fields[sums], &e->old_checksum) || !ParseHex(fields[sums + 1], &e->new_checksum))
    return false;
  if (version1) {
    std::string staged, backup;
    return IsAbsolute(e->original) && Unescape(fields[1], &staged) &&
           Unescape(fields[2], &backup) && staged == StagedPathFor(e->original, "") &&
           backup == BackupPathFor(e->original, "");
  }
  e->original = ResolveRelative(folder, e->original);
  return true;
}

}  // namespace

std::string JournalPathFor(const std::string& project_file) { return project_file + ".vr5journal"; }

std::string NewRunToken() {
  std::random_device random;
  uint64_t value = (static_cast<uint64_t>(random()) << 32) ^ random();
  return Hex64(value);
}

bool IsRunToken(const std::string& text) {
  if (text.size() != kTokenLength) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string StagedPathFor(const std::string& original, const std::string& token) {
  return SiblingPath(original, "vr5new", token);
}

std::string BackupPathFor(const std::string& original, const std::string& token) {
  return SiblingPath(original, "vr5old", token);
}

std::string RelativePath(const std::string& folder, const std::string& path) {
  std::vector<std::string_view> base = PathParts(folder), target = PathParts(path);
  while (!base.empty() && base.back().empty()) base.pop_back();
  if (base.empty() || target.empty() || base[0] != target[0]) return path;
  size_t common = 0;
  while (common < base.size() && common + 1 < target.size() && base[common] == target[common])
    ++common;
  std::string relative;
  for (size_t i = common; i < base.size(); ++i) relative += "../";
  for (size_t i = common; i < target.size(); ++i) {
    relative += target[i];
    if (i + 1 < target.size()) relative += "/";
  }
  return relative;
}

std::string ResolveRelative(const std::string& folder, const std::string& relative) {
  if (IsAbsolute(relative)) return relative;
  std::string full = folder;
  while (!full.empty() && (full.back() == '/' || full.back() == '\\')) full.pop_back();
  for (std::string_view part : PathParts(relative)) {
    if (part == "..") {
      size_t slash = full.find_last_of("/\\");
      full = slash == std::string::npos ? "" : full.substr(0, slash);
    } else if (!part.empty() && part != ".") {
      full.append("/").append(part);
    }
  }
  return full.empty() ? "/" : full;
}

std::error_code WriteJournal(const std::string& path, const Journal& journal) {
  return WriteDurably(path, Serialise(journal, ParentDirectory(path)), 0600);
}

std::error_code PrepareJournal(DurableWrite& write, const std::string& path,
                               const Journal& journal) {
  return write.Prepare(path, Serialise(journal, ParentDirectory(path)), 0600);
}

bool ReadJournal(const std::string& path, Journal* journal, std::string* problem) {
  std::string text;
  if (auto error = ReadWholeFile(path, &text)) {
    *problem = path + ": cannot be read (" + Describe(error) + ")";
    return false;
  }
  std::vector<std::string_view> lines;
  if (!JournalHash(text, &journal->checksum)) {
    *problem = path + ": line 3 is malformed (no known hash)";
    return false;
  }
  if (!CheckedLines(text, journal->checksum, &lines)) {
    *problem = path + ": is damaged (its checksum does not match)";
    return false;
  }
  bool version1 = !lines.empty() && lines[0] == kMagicV1;
  bool version2 = !lines.empty() && lines[0] == kMagicV2;
  bool version3 = !lines.empty() && lines[0] == kMagic;
  size_t state_line = version1 ? 1 : version2 ? 2 : 3;
  if ((!version1 && !version2 && !version3) || lines.size() <= state_line) {
    *problem = path + ": is not a commit journal";
    return false;
  }
  journal->token.clear();
  if (!version1) {
    std::string_view run = lines[1];
    if (run.substr(0, 4) != kRunPrefix || !IsRunToken(std::string(run.substr(4)))) {
      *problem = path + ": line 2 is malformed (no run token)";
      return false;
    }
    journal->token = std::string(run.substr(4));
  }
  journal->entries.clear();
  journal->unit_projects.clear();
  journal->part_of.clear();
  std::string folder = ParentDirectory(path);
  auto malformed = [&](size_t i, const std::string& what) {
    *problem = path + ": line " + std::to_string(i + 1) + " is malformed" + what;
    return false;
  };
  if (version3 && lines[state_line].starts_with(kSeePrefix)) {
    std::string unit_project;
    if (lines.size() != state_line + 1 ||
        !Unescape(lines[state_line].substr(std::strlen(kSeePrefix)), &unit_project) ||
        unit_project.empty())
      return malformed(state_line, " (a pointer to a unit journal is one line)");
    journal->part_of = ResolveRelative(folder, unit_project);
    return true;
  }
  if (!ParseState(lines[state_line], &journal->state)) return malformed(state_line, " (no state)");
  size_t first_entry = state_line + 1;
  // A project line holds no tab; every entry line does.
  for (; version3 && first_entry < lines.size() &&
         lines[first_entry].starts_with(kProjectPrefix) &&
         lines[first_entry].find('\t') == std::string_view::npos;
       ++first_entry) {
    std::string project;
    if (!Unescape(lines[first_entry].substr(std::strlen(kProjectPrefix)), &project) ||
        project.empty())
      return malformed(first_entry, "");
    journal->unit_projects.push_back(ResolveRelative(folder, project));
  }
  for (size_t i = first_entry; i < lines.size(); ++i) {
    JournalEntry e;
    if (!ParseEntry(lines[i], version1, folder, &e)) return malformed(i, "");
    journal->entries.push_back(e);
  }
  return true;
}

Journal PointerJournal(const std::string& unit_project, const std::string& token) {
  Journal journal;
  journal.token = token;
  journal.part_of = unit_project;
  return journal;
}

std::error_code RemoveJournal(const std::string& path) {
  if (auto error = Files().Remove(path)) return error;
  Files().SyncDirectory(ParentDirectory(path));
  return {};
}

}  // namespace vireo
