// The rules that rewrite one logical code line for the target grid: event
// procedure headers of the form's grids and drop-downs, and declarations
// that name the source grid's library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/project/file_work.h"

namespace vireo {

inline constexpr int16_t kNoDeclaration = 0;
inline constexpr int16_t kPlainDeclaration = 1;
inline constexpr int16_t kNewDeclaration = 2;

// After leading spaces, a "'" or the three letters "Rem" (exact case).
bool IsCommentLine(std::string_view line);

// The grid and drop-down names and event suffixes of one form, indexed so a
// line is checked against all of them in time independent of their number.
class EventProcedureIndex {
 public:
  explicit EventProcedureIndex(const FileWork& run);
  // True when the line holds "Sub " + a recorded name + one of its suffixes.
  bool Matches(std::string_view line) const;

 private:
  struct Family {
    std::unordered_set<std::string> names;  // lower case
    std::vector<std::string> suffixes;
  };
  bool MatchesAt(std::string_view rest) const;
  bool FamilyMatches(const Family& family, const std::string& name, std::string_view after) const;

  Family grids_;
  Family drop_downs_;
  size_t longest_name_ = 0;
};

bool IsGridEventProcedure(const EventProcedureIndex& index, std::string_view line);

// Rewrites the header of a grid event procedure; false when no rule applies.
bool RewriteEventLine(const FileWork& run, std::string& line, int16_t from_type, int16_t to_type);
// The whole rewrite of a grid event procedure's header: its event rule, then
// the declarations in the rest of its text, so that one run leaves no name
// of the source library on it. True when the text changed.
bool RewriteEventHeader(const FileWork& run, std::string& line, int16_t from_type, int16_t to_type);

int16_t FindDeclaration(std::string_view line, int16_t from_type);
// Moves the first declaration of the given kind to the target library.
void RewriteDeclaration(std::string& line, int16_t from_type, int16_t to_type, int16_t kind);
// Moves every declaration of the line to the target library, each occurrence
// once, left to right, plain ones first. True when that changed the text (a
// library moved to one of the same name, in the same spelling, is no change).
bool RewriteDeclarations(std::string& line, int16_t from_type, int16_t to_type);

}  // namespace vireo
