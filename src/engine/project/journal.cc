#include "engine/project/journal.h"

#include <cinttypes>
#include <cstdio>
#include <set>

#include "engine/file_io.h"

namespace vireo {
namespace {

constexpr char kMagic[] = "VR5 JOURNAL 1";

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

bool Unescape(const std::string& text, std::string* plain) {
  plain->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *plain += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    unsigned value = 0;
    if (std::sscanf(text.substr(i + 1, 2).c_str(), "%2X", &value) != 1) return false;
    *plain += static_cast<char>(value);
    i += 2;
  }
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

uint64_t Fnv1a(uint64_t hash, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ULL;

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

std::string Serialise(const Journal& journal) {
  std::string body = std::string(kMagic) + "\n" + StateName(journal.state) + "\n";
  for (const JournalEntry& e : journal.entries) {
    body += Escape(e.original) + "\t" + Escape(e.staged) + "\t" + Escape(e.backup) + "\t" +
            Hex64(e.old_checksum) + "\t" + Hex64(e.new_checksum) + "\n";
  }
  return body + "end " + Hex64(Fnv1a(kFnvBasis, body.data(), body.size())) + "\n";
}

// True when `path` holds bytes with the given checksum.
bool Holds(const std::string& path, uint64_t checksum) {
  uint64_t actual = 0;
  return !FileChecksum(path, &actual) && actual == checksum;
}

void RemoveQuietly(const std::string& path, RecoveryOutcome& outcome) {
  PathStatus status;
  if (path.empty() || Files().Status(path, &status) || !status.exists) return;
  if (Files().Remove(path)) outcome.leftovers.push_back(path);
}

bool CanFinish(const Journal& journal) {
  if (journal.state != JournalState::kCommitting) return false;
  for (const JournalEntry& e : journal.entries) {
    if (!Holds(e.original, e.new_checksum) && !Holds(e.staged, e.new_checksum)) return false;
  }
  return true;
}

// Puts every entry in its new (`forward`) or old state; false with the file
// that could not be brought there.
bool Settle(const Journal& journal, bool forward, std::string* stuck) {
  std::set<std::string> directories;
  if (journal.state == JournalState::kStaging) return true;  // no original was replaced yet
  for (const JournalEntry& e : journal.entries) {
    uint64_t wanted = forward ? e.new_checksum : e.old_checksum;
    const std::string& source = forward ? e.staged : e.backup;
    if (Holds(e.original, wanted)) continue;
    if (!Holds(source, wanted) || Files().Rename(source, e.original)) {
      *stuck = e.original;
      return false;
    }
    directories.insert(ParentDirectory(e.original));
  }
  for (const std::string& directory : directories) Files().SyncDirectory(directory);
  return true;
}

}  // namespace

std::string JournalPathFor(const std::string& project_file) { return project_file + ".vr5journal"; }

std::error_code WriteJournal(const std::string& path, const Journal& journal) {
  std::string next = path + ".next";
  FileHandle file;
  if (auto error = Files().Open(next, OpenFor::kCreateOrTruncate, &file)) return error;
  std::string text = Serialise(journal);
  std::error_code error = Files().Write(file, text.data(), text.size());
  if (!error) error = Files().Sync(file);
  std::error_code closed = Files().Close(file);
  if (!error) error = closed;
  if (!error) error = Files().Rename(next, path);
  if (!error) error = Files().SyncDirectory(ParentDirectory(path));
  if (error) Files().Remove(next);
  return error;
}

bool ReadJournal(const std::string& path, Journal* journal, std::string* problem) {
  std::string text;
  if (auto error = ReadWholeFile(path, &text)) {
    *problem = path + ": cannot be read (" + Describe(error) + ")";
    return false;
  }
  size_t end = text.rfind("end ");
  if (end == std::string::npos || text.size() < end + 4 + 16 ||
      text.substr(end + 4, 16) != Hex64(Fnv1a(kFnvBasis, text.data(), end))) {
    *problem = path + ": is damaged (its checksum does not match)";
    return false;
  }
  std::vector<std::string> lines;
  for (size_t start = 0; start < end;) {
    size_t newline = text.find('\n', start);
    lines.push_back(text.substr(start, newline - start));
    start = newline + 1;
  }
  bool known_state = false;
  for (JournalState state :
       {JournalState::kStaging, JournalState::kCommitting, JournalState::kRollingBack}) {
    if (lines.size() >= 2 && lines[1] == StateName(state)) {
      journal->state = state;
      known_state = true;
    }
  }
  if (lines.empty() || lines[0] != kMagic || !known_state) {
    *problem = path + ": is not a commit journal";
    return false;
  }
  journal->entries.clear();
  for (size_t i = 2; i < lines.size(); ++i) {
    std::vector<std::string> fields = SplitTabs(lines[i]);
    JournalEntry e;
    if (fields.size() != 5 || !Unescape(fields[0], &e.original) ||
        !Unescape(fields[1], &e.staged) || !Unescape(fields[2], &e.backup)) {
      *problem = path + ": line " + std::to_string(i + 1) + " is malformed";
      return false;
    }
    e.old_checksum = std::stoull(fields[3], nullptr, 16);
    e.new_checksum = std::stoull(fields[4], nullptr, 16);
    journal->entries.push_back(e);
  }
  return true;
}

std::error_code RemoveJournal(const std::string& path) {
  if (auto error = Files().Remove(path)) return error;
  Files().SyncDirectory(ParentDirectory(path));
  return {};
}

std::error_code FileChecksum(const std::string& path, uint64_t* checksum) {
  FileHandle file;
  if (auto error = Files().Open(path, OpenFor::kRead, &file)) return error;
  std::vector<char> buffer(64 * 1024);
  uint64_t hash = kFnvBasis;
  std::error_code error;
  while (true) {
    size_t got = 0;
    if ((error = Files().Read(file, buffer.data(), buffer.size(), &got)) || got == 0) break;
    hash = Fnv1a(hash, buffer.data(), got);
  }
  Files().Close(file);
  *checksum = hash;
  return error;
}

bool HasInterruptedCommit(const std::string& project_file) {
  PathStatus status;
  return !Files().Status(JournalPathFor(project_file), &status) && status.exists;
}

RecoveryOutcome RecoverInterruptedCommit(const std::string& project_file) {
  RecoveryOutcome outcome;
  std::string path = JournalPathFor(project_file);
  PathStatus status;
  Files().Remove(path + ".next");
  if (Files().Status(path, &status) || !status.exists) return outcome;
  Journal journal;
  if (!ReadJournal(path, &journal, &outcome.message)) {
    outcome.result = RecoveryResult::kFailed;
    return outcome;
  }
  bool forward = CanFinish(journal);
  std::string stuck;
  if (!Settle(journal, forward, &stuck)) {
    outcome.result = RecoveryResult::kFailed;
    outcome.message = stuck + ": cannot be brought back to its " + (forward ? "new" : "old") +
                      " content; the journal " + path + " is kept, and so are the files it names";
    return outcome;
  }
  for (const JournalEntry& e : journal.entries) {
    RemoveQuietly(e.staged, outcome);
    RemoveQuietly(e.backup, outcome);
  }
  if (RemoveJournal(path)) outcome.leftovers.push_back(path);
  outcome.result = forward ? RecoveryResult::kFinished : RecoveryResult::kUndone;
  outcome.message = forward ? "An interrupted conversion of " + project_file +
                                  " was finished: every file now holds its converted content."
                            : "An interrupted conversion of " + project_file +
                                  " was undone: every file holds its old content again.";
  return outcome;
}

}  // namespace vireo
