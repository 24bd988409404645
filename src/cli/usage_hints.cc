#include "cli/usage_hints.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "base/text.h"

namespace vireo {
namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string WithNearest(const std::string& what, const std::string& typed,
                        const std::vector<std::string>& known) {
  std::string text = "unknown " + what + " '" + typed + "'";
  std::string nearest = NearestWord(typed, known);
  if (!nearest.empty()) return text + "; did you mean '" + nearest + "'?";
  std::string list;
  for (const std::string& word : known) list += (list.empty() ? "" : ", ") + word;
  return text + " (the " + what + "s are " + list + ")";
}

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// A project, a group or a folder given where the command belongs.
bool LooksLikeAPath(const std::string& arg) {
  for (const char* extension : {".vbp", ".mak", ".vbg"}) {
    if (EndsWithNoCase(arg, extension)) return true;
  }
  return arg.find_first_of("/\\") != std::string::npos || arg == "." || arg == "..";
}

// "--report=x" names the option "--report"; "-rq" names "-r" and "-q".
std::vector<std::string> OptionNames(const std::string& arg) {
  if (arg.compare(0, 2, "--") == 0) return {arg.substr(0, arg.find('='))};
  std::vector<std::string> names;
  for (size_t i = 1; i < arg.size(); ++i) names.push_back(std::string("-") + arg[i]);
  return names;
}

}  // namespace

bool ParseWholeNumber(const std::string& option, const std::string& text, long low, long high,
                      int* value, std::string* problem) {
  errno = 0;
  char* end = nullptr;
  long number = text.empty() ? 0 : std::strtol(text.c_str(), &end, 10);
  bool whole = !text.empty() && end && *end == '\0' && errno == 0 &&
               text.find_first_not_of("+-0123456789") == std::string::npos;
  if (!whole || number < low || number > high) {
    *problem = option + " must be a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + " (not " + (text.empty() ? "empty" : text) + ")";
    return false;
  }
  *value = static_cast<int>(number);
  return true;
}

std::string NearestWord(const std::string& typed, const std::vector<std::string>& known) {
  std::string best;
  size_t best_distance = std::string::npos;
  for (const std::string& word : known) {
    size_t distance = EditDistance(typed, word);
    if (distance < best_distance) {
      best = word;
      best_distance = distance;
    }
  }
  // Near enough: a third of the word may be wrong, and at least two letters.
  size_t allowed = std::max<size_t>(2, std::max(typed.size(), best.size()) / 3);
  return best_distance <= allowed ? best : "";
}

std::string UnknownWordProblem(const std::vector<std::string>& args,
                               const std::vector<CommandWords>& commands,
                               const std::vector<std::string>& global_options) {
  const CommandWords* command = nullptr;
  std::vector<std::string> command_names;
  for (const CommandWords& words : commands) command_names.push_back(words.command);
  bool value_next = false;
  for (const std::string& arg : args) {
    if (arg == "--") return "";
    if (std::exchange(value_next, false)) continue;
    if (!IsOption(arg)) {
      if (command) continue;  // a project or an option's value
      auto found = std::find_if(commands.begin(), commands.end(),
                                [&](const CommandWords& words) { return words.command == arg; });
      if (found == commands.end()) {
        if (LooksLikeAPath(arg))
          return "unknown command '" + arg + "'; to convert it: vireo-migrate convert " + arg;
        return WithNearest("command", arg, command_names);
      }
      command = &*found;
      continue;
    }
    std::vector<std::string> known = global_options;
    if (command) known.insert(known.end(), command->options.begin(), command->options.end());
    for (const std::string& name : OptionNames(arg)) {
      if (std::find(known.begin(), known.end(), name) == known.end())
        return WithNearest("option", name, known);
    }
    value_next = command && arg.find('=') == std::string::npos &&
                 std::find(command->valued.begin(), command->valued.end(),
                           OptionNames(arg).back()) != command->valued.end();
  }
  return "";
}

}  // namespace vireo
