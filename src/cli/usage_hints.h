// Usage mistakes said the way people think of them: a number out of range
// with its range as people write it, and a misspelt command or option with
// the nearest one it may have meant.
#pragma once

#include <string>
#include <vector>

namespace vireo {

// The value of `text` when it is a whole number from `low` to `high`; else
// false, with "--jobs must be a whole number from 1 to 1024" in `problem`.
bool ParseWholeNumber(const std::string& option, const std::string& text, long low, long high,
                      int* value, std::string* problem);

// The word of `known` nearest to `typed` (fewest letters added, dropped or
// changed, ignoring case), when it is near enough to be what was meant;
// else "".
std::string NearestWord(const std::string& typed, const std::vector<std::string>& known);

// The words a command line may use: its commands, and per command its options.
struct CommandWords {
  std::string command;
  std::vector<std::string> options;  // "--dry-run", "-r", ...
  std::vector<std::string> valued;   // those of them that take a value
};

// The first word of `args` (the arguments after the program's name) that
// is no command, or no option of the command it follows, said with its
// nearest known word: "unknown command 'conver'; did you mean 'convert'?".
// "" when every word is known.
std::string UnknownWordProblem(const std::vector<std::string>& args,
                               const std::vector<CommandWords>& commands,
                               const std::vector<std::string>& global_options);

}  // namespace vireo
