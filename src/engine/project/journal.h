// The commit journal: the replacement plan of a commit, written and synced
// beside the project file before the first file is written beside an
// original, and removed after the last replacement is durable. A journal
// found at start-up means a commit was interrupted (see recovery.h).
//
// The journal names only the originals, relative to its own folder, and a
// token for the run; the files the commit writes beside each original are
// named from the original and that token, so a journal cannot point
// anywhere else.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "base/checksum.h"
#include "base/file_io.h"

namespace vireo {

struct JournalEntry {
  std::string original;  // a full path once read back
  uint64_t old_checksum = 0;
  uint64_t new_checksum = 0;
  // Rewritten in place (the file keeps its identity) rather than replaced by
  // its staged copy; written as a fourth field "inplace".
  bool in_place = false;
};

// Staging: files are being written beside the originals, none replaced yet.
// Committing: all staged; originals are being replaced. Rolling back: a
// failed commit is putting the old contents back.
enum class JournalState { kStaging, kCommitting, kRollingBack };

struct Journal {
  JournalState state = JournalState::kCommitting;
  std::string token;  // empty in journals of version 1, which used fixed names
  // The hash of every checksum in it (and of its own end line). Journals of
  // versions 1 and 2 used FNV-1a.
  ChecksumKind checksum = ChecksumKind::kXxh3;
  std::vector<JournalEntry> entries;
  // Projects that share files commit together under one journal, beside the
  // first of them: it names the others here ("project" lines), and each of
  // them keeps a journal that only points back to it (`part_of`, a "see"
  // line, with the same token and no state or entries).
  std::vector<std::string> unit_projects;
  std::string part_of;
};

std::string JournalPathFor(const std::string& project_file);

// A new token: 16 lowercase hexadecimal digits, different for every run.
std::string NewRunToken();
bool IsRunToken(const std::string& text);

// The new and the old bytes of `original` while a commit is under way:
// ".Name.vr5new.<token>" and ".Name.vr5old.<token>" beside it.
std::string StagedPathFor(const std::string& original, const std::string& token);
std::string BackupPathFor(const std::string& original, const std::string& token);

// Writes the journal in one step (a synced file renamed into place).
std::error_code WriteJournal(const std::string& path, const Journal& journal);
// WriteJournal's first half: the journal written beside `path` and synced;
// `write.Finish()` puts it in place.
std::error_code PrepareJournal(DurableWrite& write, const std::string& path,
                               const Journal& journal);
// False, with the reason (the file, and the line when one is at fault),
// when the journal cannot be read or is damaged. Never throws on its bytes.
bool ReadJournal(const std::string& path, Journal* journal, std::string* problem);
// The journal beside `project` that points to the unit journal of
// `unit_project` with `token`.
Journal PointerJournal(const std::string& unit_project, const std::string& token);

// Removes the journal and syncs its folder.
std::error_code RemoveJournal(const std::string& path);

// `path` relative to `folder` ("a/b.bas", "../shared/c.bas"), both full
// paths; `path` itself when they share no root. Written with "/".
std::string RelativePath(const std::string& folder, const std::string& path);
// A path read from a journal, made full again against `folder`.
std::string ResolveRelative(const std::string& folder, const std::string& relative);

}  // namespace vireo
