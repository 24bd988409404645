#include "cli/scan.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "base/file_io.h"
#include "base/file_system.h"
#include "cli/app.h"
#include "cli/batch_projects.h"
#include "cli/console_ui.h"
#include "cli/disk_project.h"
#include "cli/git_state.h"
#include "cli/html_report.h"
#include "cli/preview.h"
#include "cli/report.h"
#include "cli/type_choice.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/forms/form_file.h"
#include "engine/project/convert_project.h"
#include "engine/project/grid_usage.h"
#include "engine/project/project.h"
#include "engine/project/project_file.h"
#include "engine/project/recovery.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using Identity = FileIdentity;

// The diff text a review page keeps in memory at most; past it, projects
// keep their counts only.
constexpr size_t kDiffBudget = 64u << 20;

struct Counts {
  int files = 0;  // files that would change, the project file among them
  int forms = 0;
  int code_files = 0;
  bool project_reference = false;
  ChangeCounts text;
  int records = 0;
  int guids = 0;
  int lines_changed = 0;
};

enum class Finding { kWouldConvert, kNothingToConvert, kAlreadyConverted, kNoGrid, kBlocked };

const char* FindingText(Finding finding) {
  switch (finding) {
    case Finding::kWouldConvert:
      return "would be converted";
    case Finding::kNothingToConvert:
      return "nothing to convert";
    case Finding::kAlreadyConverted:
      return "already converted";
    case Finding::kNoGrid:
      return "no grid";
    case Finding::kBlocked:
      break;
  }
  return "blocked";
}

std::string FindingKey(Finding finding) {
  std::string key = FindingText(finding);
  std::replace(key.begin(), key.end(), ' ', '-');
  return key;
}

struct Scanned {
  std::string path;
  std::set<int16_t> libraries;
  int16_t source = 0;
  std::vector<int16_t> candidates;  // several old libraries
  Finding finding = Finding::kBlocked;
  std::vector<std::string> blockers;
  bool journal_pending = false;
  Counts counts;
  size_t unit = 0;
  std::vector<std::string> shared_files;
  std::vector<std::string> changing;  // the files a conversion would change
  std::vector<std::string> uncommitted;
  // What converts it, or fixes what stops it; a project in a unit of
  // several is converted by its unit's command.
  std::string command;
  Preview preview;
  bool diffs_left_out = false;
};

// Files other processes hold locks on, from /proc/locks where there is one:
// "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF", the device in hex.
std::set<Identity> LockedFiles() {
  std::set<Identity> locked;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      unsigned long long major = 0, minor = 0, inode = 0;
      char end = 0;
      if (std::count(word.begin(), word.end(), ':') != 2 ||
          std::sscanf(word.c_str(), "%llx:%llx:%llu%c", &major, &minor, &inode, &end) != 3)
        continue;
      uint64_t device = ((major & 0xfffff000ull) << 32) | ((major & 0xfffull) << 8) |
                        ((minor & 0xffffff00ull) << 12) | (minor & 0xffull);
      locked.insert({device, inode});
    }
  }
  return locked;
}

std::optional<Identity> IdentityOf(const std::string& path) {
  PathStatus status;
  if (Files().Status(path, &status) || !status.exists) return std::nullopt;
  return FileIdentityOf(status);
}

// The rows the forms' library lines above their first Begin name.
std::set<int16_t> FormLibraries(const Project& project) {
  std::set<int16_t> rows;
  for (const std::string& form : project.FormLikeFiles()) {
    LineReader in;
    if (in.Open(form)) continue;
    for (std::string line; in.ReadLine(&line) && !IsBeginLine(line);) {
      for (int16_t p = 1; p <= GridCatalogue().Count(); ++p) {
        if (IsFormObjectLineFor(line, p)) rows.insert(p);
      }
    }
  }
  return rows;
}

void AddLockBlockers(const Project& project, const std::set<Identity>& locked, Scanned* scanned) {
  if (locked.empty()) return;
  if (auto lock = IdentityOf(project.path + ".vr5lock"); lock && locked.count(*lock))
    scanned->blockers.push_back("another conversion of this project is under way");
  for (const ListedFile& file : ListProjectFiles(project)) {
    if (auto id = IdentityOf(file.path); id && locked.count(*id))
      scanned->blockers.push_back(file.path + ": another run holds it");
  }
}

Counts CountsOf(const RunResult& result) {
  Counts counts;
  for (const FileOutcome& file : result.files) {
    if (file.result != kChanged) continue;
    ++counts.files;
    counts.forms += file.kind == "form";
    counts.code_files += file.kind == "module";
    counts.project_reference |= file.kind == "project";
  }
  counts.text = result.counts;
  std::set<std::pair<std::string, int64_t>> records;
  for (const GuidReplacement& guid : result.guid_replacements)
    records.insert({guid.file, guid.record_offset});
  counts.records = static_cast<int>(records.size());
  counts.guids = static_cast<int>(result.guid_replacements.size());
  for (const auto& [path, lines] : result.changed_lines) counts.lines_changed += lines;
  return counts;
}

class Scan {
 public:
  Scan(const ScanOptions& options, const HostMachine& machine, std::FILE* out, std::FILE* err)
      : options_(options), machine_(machine), out_(out), err_(err) {}
  int Run();

 private:
  void ScanAll();
  void ScanOne(Scanned& scanned);
  void DryRun(const Project& project, Scanned& scanned);
  void KeepPreview(const RunChanges& run, const std::string& folder, Scanned& scanned);
  void AskGitOnce();
  void FindUnits();
  void ChooseCommands();
  std::string UnitCommand(size_t unit) const;
  std::string Then(const Scanned& scanned) const;
  void PrintTable() const;
  JsonDocument Json() const;
  ReviewPage Page();
  void AddUnitCommand(const Scanned& s, ReviewProject& project) const;
  bool Write(const std::string& destination, const std::string& what, std::error_code error);

  const ScanOptions& options_;
  const HostMachine& machine_;
  std::FILE* out_;
  std::FILE* err_;
  std::vector<Scanned> projects_;
  std::vector<std::vector<size_t>> units_;
  std::vector<std::string> unit_commands_;  // "" for a unit of one
  std::set<Identity> locked_;
  std::atomic<size_t> diff_bytes_{0};
};

void Scan::KeepPreview(const RunChanges& run, const std::string& folder, Scanned& scanned) {
  bool want_diffs = !options_.html.empty();
  scanned.preview = BuildPreview(run, {folder, want_diffs && diff_bytes_ < kDiffBudget});
  std::vector<std::string> changing;
  size_t bytes = 0;
  for (const PreviewFile& file : scanned.preview.files) {
    bytes += file.diff.size();
    if (file.differs) changing.push_back(file.path);
  }
  if (want_diffs && (diff_bytes_ += bytes) > kDiffBudget) {
    for (PreviewFile& file : scanned.preview.files) file.diff.clear();
    scanned.diffs_left_out = true;
  }
  scanned.changing = std::move(changing);
  if (!want_diffs) scanned.preview = {};
}

void Scan::DryRun(const Project& project, Scanned& scanned) {
  std::unique_ptr<DiskIde> ide;
  std::string problem;
  if (!OpenDiskProject(project.path, machine_.resolver(), &ide, &problem)) {
    scanned.blockers.push_back(problem);
    return;
  }
  QuietUi ui;
  SilentStatus status;
  FixedChoice dialog(scanned.source, kDefaultTargetType);
  RunServices services{ui, dialog, status, machine_.resolver()};
  RunOptions run_options;
  run_options.dry_run = true;
  run_options.project_locked = true;  // a survey takes no lock
  run_options.threads = Threads::kOne;
  // Only the review page shows diffs; counting needs no copies.
  run_options.copies_unread = options_.html.empty();
  std::string folder = ProjectDirectory(project.path);
  run_options.preview = [&](const RunChanges& run) { KeepPreview(run, folder, scanned); };
  RunResult result = ConvertProject(*ide, services, run_options);
  scanned.counts = CountsOf(result);
  switch (result.outcome) {
    case RunOutcome::kConverted:
      scanned.finding = Finding::kWouldConvert;
      break;
    case RunOutcome::kNothingToConvert:
      scanned.finding = Finding::kNothingToConvert;
      break;
    default:
      scanned.blockers.push_back(result.failure_reason.empty() ? result.message
                                                               : result.failure_reason);
  }
}

void Scan::ScanOne(Scanned& scanned) {
  Project project;
  std::string problem;
  if (!ReadProject(scanned.path, machine_.resolver(), &project, &problem)) {
    scanned.blockers.push_back(problem);
    return;
  }
  scanned.libraries = project.references;
  scanned.libraries.merge(FormLibraries(project));
  if (HasInterruptedCommit(scanned.path)) {
    scanned.journal_pending = true;
    scanned.blockers.push_back("a conversion of it was cut short and waits for recovery");
  }
  AddLockBlockers(project, locked_, &scanned);
  SourceChoice choice = ChooseSource(scanned.path, kDefaultTargetType, machine_.resolver());
  switch (choice.finding) {
    case SourceFinding::kFound:
      scanned.source = choice.source;
      break;
    case SourceFinding::kAlreadyConverted:
      if (scanned.blockers.empty()) scanned.finding = Finding::kAlreadyConverted;
      return;
    case SourceFinding::kSeveral:
      scanned.candidates = choice.candidates;
      scanned.blockers.push_back(SourceProblem(choice) + ": name one with --from");
      return;
    case SourceFinding::kUnknown:
      if (scanned.blockers.empty()) scanned.finding = Finding::kNoGrid;
      return;
  }
  if (scanned.blockers.empty()) DryRun(project, scanned);
}

void Scan::ScanAll() {
  size_t columns = options_.quiet ? 0 : TerminalColumns(err_);
  LiveLine live(err_, columns);
  std::mutex mutex;
  size_t done = 0;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < projects_.size(); i = next++) {
      ScanOne(projects_[i]);
      std::lock_guard hold(mutex);
      ++done;
      if (columns && (done % 16 == 0 || done == projects_.size()))
        live.Draw("scanned " + std::to_string(done) + "/" + std::to_string(projects_.size()) +
                      " projects: ",
                  projects_[i].path);
    }
  };
  size_t jobs = options_.jobs > 0 ? static_cast<size_t>(options_.jobs)
                                  : std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> threads;
  for (size_t j = 1; j < std::min(jobs, projects_.size()); ++j) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
}

// Units, and the files each project of a unit of several shares with the others.
void Scan::FindUnits() {
  std::vector<std::string> paths;
  for (const Scanned& scanned : projects_) paths.push_back(scanned.path);
  // Each project's files by identity, under the names it lists them by.
  std::vector<std::vector<std::pair<Identity, std::string>>> named(paths.size());
  auto keep = [&](size_t i, std::vector<PlannedFile>& files) {
    for (PlannedFile& file : files) named[i].push_back({file.identity, std::move(file.path)});
  };
  units_ = GroupIntoUnits(ListProjects(paths, machine_.resolver(), keep));
  for (size_t u = 0; u < units_.size(); ++u) {
    std::map<Identity, std::vector<std::pair<size_t, std::string>>> listers;
    for (size_t i : units_[u]) {
      projects_[i].unit = u;
      if (units_[u].size() < 2) continue;
      std::set<Identity> seen;
      for (const auto& [identity, path] : named[i]) {
        if (seen.insert(identity).second) listers[identity].push_back({i, path});
      }
    }
    for (const auto& [id, lister] : listers) {
      if (lister.size() < 2) continue;
      for (const auto& [i, file] : lister)
        projects_[i].shared_files.push_back(ShownPath(file, ProjectDirectory(paths[i])));
    }
  }
}

// git is asked once for the files of every project, each work tree once.
void Scan::AskGitOnce() {
  std::vector<std::string> files;
  std::map<std::string, std::vector<size_t>> changers;
  for (size_t i = 0; i < projects_.size(); ++i) {
    for (const std::string& file : projects_[i].changing) {
      std::vector<size_t>& by = changers[file];
      if (by.empty()) files.push_back(file);
      by.push_back(i);
    }
  }
  GitState git = AskGit(files);
  for (const std::string& file : git.uncommitted) {
    for (size_t i : changers[file]) projects_[i].uncommitted.push_back(file);
  }
  for (size_t u = 0; u < git.unknown.size(); ++u) {
    for (size_t i : changers[git.unknown_files[u]])
      projects_[i].uncommitted.push_back(git.unknown[u]);
  }
}

// One command converts the projects of a unit together; it is kept once,
// for the unit, so a unit of thousands costs its paths once, not per project.
std::string Scan::UnitCommand(size_t unit) const {
  const std::vector<size_t>& members = units_[unit];
  std::string from;
  for (size_t i : members) {
    if (!projects_[i].candidates.empty() && from.empty())
      from = " --from " + ShellWord(TypeName(projects_[i].candidates.front()));
  }
  std::string command = "vireo-migrate convert" + from;
  for (size_t i : members) command += " " + ShellWord(projects_[i].path);
  return command;
}

void Scan::ChooseCommands() {
  unit_commands_.assign(units_.size(), "");
  for (size_t u = 0; u < units_.size(); ++u) {
    if (units_[u].size() > 1) unit_commands_[u] = UnitCommand(u);
  }
  for (Scanned& scanned : projects_) {
    if (scanned.journal_pending)
      scanned.command = "vireo-migrate recover " + ShellWord(scanned.path);
    else if (units_[scanned.unit].size() == 1 &&
             (scanned.finding == Finding::kWouldConvert || scanned.finding == Finding::kBlocked))
      scanned.command = UnitCommand(scanned.unit);
  }
}

// What the table says to run once what stops a project is mended.
std::string Scan::Then(const Scanned& scanned) const {
  if (scanned.finding != Finding::kBlocked) return "";
  if (!scanned.command.empty()) return "then: " + scanned.command;
  if (!unit_commands_[scanned.unit].empty())
    return "then: the command of unit " + std::to_string(scanned.unit + 1) + " (below)";
  return "";
}

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
  return text;
}

std::string LibraryNames(const std::set<int16_t>& rows) {
  std::vector<std::string> names;
  for (int16_t p : rows) names.push_back(GridCatalogue().Item(p).OCXFileName());
  return Join(names, ", ");
}

// "2 forms, 3 blocks, 4 GUIDs in 2 records, 9 lines".
std::string ChangesCell(const Counts& counts) {
  std::vector<std::string> parts;
  auto add = [&](int n, const char* what) {
    if (n) parts.push_back(std::to_string(n) + " " + what);
  };
  add(counts.forms, counts.forms == 1 ? "form" : "forms");
  add(counts.code_files, counts.code_files == 1 ? "code file" : "code files");
  int blocks = counts.text.grid_blocks + counts.text.drop_down_blocks;
  add(blocks, blocks == 1 ? "block" : "blocks");
  add(counts.guids, counts.guids == 1 ? "GUID" : "GUIDs");
  add(counts.lines_changed, counts.lines_changed == 1 ? "line" : "lines");
  return Join(parts, ", ");
}

std::string Reason(const Scanned& scanned) {
  std::vector<std::string> parts = scanned.blockers;
  if (!scanned.uncommitted.empty())
    parts.push_back("uncommitted changes in git: " + Join(scanned.uncommitted, ", "));
  return Join(parts, "; ");
}

void Scan::PrintTable() const {
  size_t columns = TerminalColumns(out_);
  std::vector<TableRow> rows{
      {{"Project", "Libraries", "Source", "Finding", "Changes", "Unit"}, ""}};
  std::map<std::string, std::map<Finding, int>> by_source;
  std::map<Finding, int> by_finding;
  for (const Scanned& s : projects_) {
    std::string unit = std::to_string(s.unit + 1);
    if (units_[s.unit].size() > 1) unit += " (" + std::to_string(units_[s.unit].size()) + ")";
    std::string note = Reason(s);
    if (std::string then = Then(s); !then.empty()) note += (note.empty() ? "" : "; ") + then;
    rows.push_back({{s.path, LibraryNames(s.libraries), TypeName(s.source), FindingText(s.finding),
                     ChangesCell(s.counts), unit},
                    note});
    ++by_source[s.source ? TypeName(s.source) : "(none told)"][s.finding];
    ++by_finding[s.finding];
  }
  std::string text = FormatTable(rows, columns) + "\nBy source type:\n";
  for (const auto& [source, findings] : by_source) {
    int total = 0;
    std::string parts;
    for (const auto& [finding, count] : findings) {
      total += count;
      parts += ", " + std::to_string(count) + " " + FindingText(finding);
    }
    text += "  " + source + ": " + Counted(total, "project", "projects") + parts + "\n";
  }
  bool heading = false;
  for (size_t u = 0; u < units_.size(); ++u) {
    if (unit_commands_[u].empty()) continue;
    if (!heading) text += "Units of several projects, each converted by one command:\n";
    heading = true;
    text += "  unit " + std::to_string(u + 1) + ": " + unit_commands_[u] + "\n";
  }
  text += Counted(static_cast<int>(projects_.size()), "project", "projects") + " in " +
          Counted(static_cast<int>(units_.size()), "unit", "units") + ":";
  bool first = true;
  for (const auto& [finding, count] : by_finding) {
    text += std::string(first ? " " : ", ") + std::to_string(count) + " " + FindingText(finding);
    first = false;
  }
  text += "; nothing was changed.\n";
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

JsonDocument CountsJson(const Counts& counts) {
  JsonDocument json;
  json["files"] = counts.files;
  json["forms"] = counts.forms;
  json["code_files"] = counts.code_files;
  json["project_reference"] = counts.project_reference;
  json["grid_blocks"] = counts.text.grid_blocks;
  json["drop_down_blocks"] = counts.text.drop_down_blocks;
  json["form_reference_lines"] = counts.text.reference_lines;
  json["records"] = counts.records;
  json["guids"] = counts.guids;
  json["event_headers"] = counts.text.event_headers;
  json["declarations"] = counts.text.declarations;
  json["lines_changed"] = counts.lines_changed;
  return json;
}

JsonDocument Scan::Json() const {
  JsonDocument projects = JsonDocument::array();
  std::map<std::string, int> by_finding, by_source;
  for (const Scanned& s : projects_) {
    JsonDocument entry;
    entry["project"] = s.path;
    entry["unit"] = s.unit;
    JsonDocument libraries = JsonDocument::array();
    for (int16_t p : s.libraries) libraries.push_back(GridCatalogue().Item(p).OCXFileName());
    entry["libraries"] = std::move(libraries);
    entry["source"] = s.source ? JsonDocument(TypeName(s.source)) : JsonDocument(nullptr);
    entry["finding"] = FindingKey(s.finding);
    entry["blockers"] = s.blockers;
    entry["counts"] = CountsJson(s.counts);
    entry["shared_files"] = s.shared_files;
    entry["uncommitted"] = s.uncommitted;
    entry["command"] = s.command;
    projects.push_back(std::move(entry));
    ++by_finding[FindingKey(s.finding)];
    ++by_source[s.source ? TypeName(s.source) : "none"];
  }
  JsonDocument units = JsonDocument::array();
  for (const std::vector<size_t>& unit : units_) {
    JsonDocument paths = JsonDocument::array();
    for (size_t i : unit) paths.push_back(projects_[i].path);
    units.push_back(std::move(paths));
  }
  JsonDocument unit_commands = JsonDocument::array();
  for (const std::string& command : unit_commands_) unit_commands.push_back(command);
  JsonDocument totals;
  totals["projects"] = projects_.size();
  totals["by_finding"] = by_finding;
  totals["by_source"] = by_source;
  JsonDocument report;
  report["tool"] = "vireo-migrate";
  report["version"] = std::string(kToolVersion);
  report["command"] = "scan";
  report["target"] = TypeName(kDefaultTargetType);
  report["totals"] = std::move(totals);
  report["units"] = std::move(units);
  report["unit_commands"] = std::move(unit_commands);
  report["projects"] = std::move(projects);
  return report;
}

// A unit's command is shown once, under its first project; the others point there.
void Scan::AddUnitCommand(const Scanned& s, ReviewProject& project) const {
  const std::vector<size_t>& unit = units_[s.unit];
  const std::string& command = unit_commands_[s.unit];
  if (command.empty()) return;
  if (&projects_[unit.front()] != &s)
    project.notes.push_back(
        "Converted together with the " +
        Counted(static_cast<int>(unit.size() - 1), "other project", "other projects") +
        " of unit " + std::to_string(s.unit + 1) + " by the command shown under " +
        projects_[unit.front()].path + ".");
  else if (project.command.empty())
    project.command = command;
  else
    project.notes.push_back("Its unit's command: " + command);
}

ReviewPage Scan::Page() {
  ReviewPage page;
  page.title = "vireo-migrate scan";
  page.subtitle = Counted(static_cast<int>(projects_.size()), "project", "projects") +
                  " surveyed for conversion to " + TypeName(kDefaultTargetType) +
                  " by dry runs; nothing was changed.";
  for (Scanned& s : projects_) {
    ReviewProject& project = page.projects.emplace_back();
    project.path = s.path;
    project.outcome = FindingText(s.finding);
    project.outcome_key = FindingKey(s.finding);
    project.source = TypeName(s.source);
    project.reason = Join(s.blockers, "; ");
    project.command = s.command;
    AddUnitCommand(s, project);
    project.facts = {{"Libraries", LibraryNames(s.libraries)},
                     {"Changes", ChangesCell(s.counts)},
                     {"Unit", std::to_string(s.unit + 1)},
                     {"Shares", Join(s.shared_files, ", ")}};
    if (!s.uncommitted.empty())
      project.notes.push_back("Uncommitted changes in git (a conversion would refuse them): " +
                              Join(s.uncommitted, ", "));
    if (s.diffs_left_out) project.notes.push_back("Diffs left out: the page holds no more.");
    project.preview = std::move(s.preview);
  }
  return page;
}

bool Scan::Write(const std::string& destination, const std::string& what, std::error_code error) {
  if (!error) return true;
  std::fputs(("vireo-migrate: " + destination + ": cannot write " + what + " (" + Describe(error) +
              "); the scan itself changed nothing\n")
                 .c_str(),
             err_);
  return false;
}

int Scan::Run() {
  std::vector<std::string> paths;
  std::string problem;
  if (!CollectProjects(options_.arguments, options_.recursive, machine_.resolver(), &paths,
                       &problem)) {
    std::fputs(("vireo-migrate: " + problem + "\n").c_str(), err_);
    return kExitUsage;
  }
  projects_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) projects_[i].path = paths[i];
  locked_ = LockedFiles();
  ScanAll();
  AskGitOnce();
  FindUnits();
  ChooseCommands();
  bool written = true;
  if (options_.json) {
    written &= Write("-", "the JSON document", WriteReportText("-", JsonText(Json()), out_));
  } else if (!options_.quiet) {
    PrintTable();
  }
  if (!options_.html.empty())
    written &=
        Write(options_.html, "the review page", WriteReviewHtml(options_.html, Page(), out_));
  return written ? kExitConverted : kExitFailed;
}

}  // namespace

int RunScan(const ScanOptions& options, const HostMachine& machine, std::FILE* out,
            std::FILE* err) {
  SetReadsKeepAccessTimes(true);
  Scan scan(options, machine, out, err);
  int status = scan.Run();
  SetReadsKeepAccessTimes(false);
  return status;
}

}  // namespace vireo
