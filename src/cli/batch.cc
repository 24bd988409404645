#include "cli/batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "base/file_io.h"
#include "base/interrupt.h"
#include "base/path_text.h"
#include "cli/app.h"
#include "cli/backup.h"
#include "cli/batch_projects.h"
#include "cli/console_ui.h"
#include "cli/disk_project.h"
#include "cli/file_budget.h"
#include "cli/git_state.h"
#include "cli/html_report.h"
#include "cli/preview.h"
#include "cli/report.h"
#include "cli/type_choice.h"
#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/at_once.h"
#include "engine/project/convert_project.h"
#include "engine/project/grid_usage.h"
#include "engine/project/project_file.h"
#include "engine/project/project_guard.h"
#include "engine/project/recovery.h"
#include "engine/project/unit_run.h"
#include "host/interrupt_handlers.h"
#include "host/open_file_limit.h"

namespace vireo {
namespace {

using Clock = std::chrono::steady_clock;

enum class Outcome { kConverted, kNothingToConvert, kAlreadyConverted, kFailed, kSkipped,
                     kInterrupted };

const char* OutcomeText(Outcome outcome, bool dry_run) {
  switch (outcome) {
    case Outcome::kConverted:
      return dry_run ? "would be converted" : "converted";
    case Outcome::kNothingToConvert:
      return "nothing to convert";
    case Outcome::kAlreadyConverted:
      return "already converted";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kSkipped:
      return "skipped";
    case Outcome::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

// The report's name for an outcome: its words joined by hyphens.
std::string OutcomeKey(Outcome outcome) {
  std::string key = OutcomeText(outcome, false);
  std::replace(key.begin(), key.end(), ' ', '-');
  return key;
}

// A path as the user may have typed it: relative to the current folder
// when it lies below it.
std::string Shown(const std::string& path) {
  std::error_code ignored;
  std::string relative =
      PathText(NativePath(path).lexically_relative(std::filesystem::current_path(ignored)));
  return relative.empty() || relative.compare(0, 2, "..") == 0 ? path : relative;
}

struct ProjectRecord {
  std::string path;
  size_t unit = 0;
  int16_t from = 0;
  int16_t to = 0;
  Outcome outcome = Outcome::kInterrupted;
  std::string reason;
  int files_changed = 0;
  // What it lists, by the path each reaches (the same after a file is
  // replaced, unlike its identity): sorted, each once, and kept only until
  // its unit is done.
  std::vector<std::string> files;
  bool Lists(const std::string& file) const {
    return std::binary_search(files.begin(), files.end(), file);
  }
  // Of them, the forms and code files: those a run tells of one by one.
  size_t progress_files = 0;
  uint64_t bytes = 0;
  double seconds = 0;
  std::string preview;
  Preview review;  // for the review page
  bool git_refused = false;
  JsonDocument run_report;  // the project's own run report, when one ran (else null)
  std::vector<std::string> missing_forms;
  bool ran = false;
  // Why an interrupted conversion found beside it could not be settled.
  std::string recovery_problem;
};

// Shared by the threads: what is done so far, told by the runs' events and
// the ends of projects and units, and shown on a terminal as the live line,
// else (unless quiet) as a line per project.
class Progress {
 public:
  struct Totals {
    size_t units = 0;
    std::vector<size_t> files;  // per project, the files its run tells of
    uint64_t bytes = 0;
  };
  // `columns`: the terminal's width; 0 for no live line.
  Progress(std::FILE* err, size_t columns, bool lines, bool verbose, Totals totals)
      : live_line_(err, columns),
        live_(columns > 0),
        lines_(lines),
        verbose_(verbose),
        totals_(std::move(totals)),
        files_done_(totals_.files.size()),
        started_(Clock::now()) {
    for (size_t files : totals_.files) total_files_ += files;
  }

  void Hear(size_t project, const std::string& shown, const RunEvent& event) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (event.kind == RunEvent::Kind::kFileStarted) {
      current_ = shown;
      if (verbose_) live_line_.Say(shown + ": Migrating " + event.shown + "...");
    } else if (files_done_[project] < totals_.files[project]) {
      ++files_done_[project];
      ++files_;
    }
    Draw(false);
  }
  // A project's files that no event told of (an earlier project of its unit
  // converted them, or its run stopped before them) are passed by now.
  void ProjectDone(size_t project, const ProjectRecord& record, bool dry_run) {
    std::lock_guard<std::mutex> hold(mutex_);
    bytes_ += record.bytes;
    files_ += totals_.files[project] - files_done_[project];
    files_done_[project] = totals_.files[project];
    if (lines_) {
      std::string text = std::string(OutcomeText(record.outcome, dry_run)) + ": " + record.path;
      if (!record.reason.empty()) text += " (" + record.reason + ")";
      live_line_.Say(text);
    }
    Draw(false);
  }
  void UnitDone() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++units_done_;
    Draw(true);
  }
  void Say(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    live_line_.Say(text);
  }
  // The live line ends on the final counts, and stays.
  void Finish() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!live_) return;
    current_.clear();
    Draw(true);
    live_line_.Keep();
  }

 private:
  void Draw(bool force) {
    if (!live_) return;
    auto now = Clock::now();
    if (!force && now - last_drawn_ < std::chrono::milliseconds(100)) return;
    last_drawn_ = now;
    double seconds = std::chrono::duration<double>(now - started_).count();
    char counts[160];
    std::snprintf(counts, sizeof counts, "units %zu/%zu, files %zu/%zu, %.1f of %.1f MB, %.1f s",
                  units_done_, totals_.units, files_, total_files_,
                  static_cast<double>(bytes_) / 1e6, static_cast<double>(totals_.bytes) / 1e6,
                  seconds);
    live_line_.Draw(std::string(counts) + (current_.empty() ? "" : ": "), current_);
  }

  std::mutex mutex_;
  LiveLine live_line_;
  bool live_, lines_, verbose_;
  Totals totals_;
  std::vector<size_t> files_done_;  // per project
  size_t units_done_ = 0, files_ = 0, total_files_ = 0;
  uint64_t bytes_ = 0;
  std::string current_;  // the project being converted, as shown
  Clock::time_point started_, last_drawn_;
};

class Batch {
 public:
  // A report on standard output leaves it to the report alone.
  Batch(const BatchOptions& options, const HostMachine& machine, std::FILE* out, std::FILE* err)
      : options_(options),
        machine_(machine),
        out_(options.report == "-" || options.junit == "-" || options.html == "-" ? err : out),
        err_(err) {}
  int Run();

 private:
  bool Prepare();
  void RecoverPending(const std::vector<std::string>& paths);
  void ConvertUnit(size_t unit);
  bool GuardUnit(const std::vector<size_t>& members, std::deque<ProjectGuard>& guards);
  std::vector<size_t> ChooseUnitTypes(const std::vector<size_t>& members);
  bool ChooseTypes(ProjectRecord& record);
  bool SameSources(const std::vector<size_t>& runnable);
  void ConvertEach(const std::vector<size_t>& runnable, std::set<std::string>* changed);
  void ConvertTogether(const std::vector<size_t>& runnable, std::set<std::string>* changed);
  void StopUnit(const std::vector<size_t>& members, size_t holder, Outcome outcome);
  std::string HeldBack(size_t member, size_t holder, const std::vector<size_t>& members) const;
  RunResult ConvertOne(size_t project, UnitRun* unit = nullptr);
  void Record(ProjectRecord& record, const RunResult& result);
  void AddReport(ProjectRecord& record, const RunResult& result);
  void Say(const std::vector<std::string>& leftovers);
  HoldPolicy Hold() const;
  std::string BackupFolderOf(const std::string& project) const;
  bool WriteHtml(int exit_status);
  void CountChangedFiles(const std::vector<size_t>& members, const std::set<std::string>& changed);
  int ExitStatus() const;
  void PrintSummary();
  JsonDocument ProjectJson(const ProjectRecord& record) const;
  bool WriteReport(int exit_status, double seconds);
  bool WriteJunit(double seconds);
  bool SayUnwritten(const std::string& file, const std::string& what, std::error_code error);
  Progress::Totals ProgressTotals() const;

  const BatchOptions& options_;
  const HostMachine& machine_;
  std::FILE* out_;
  std::FILE* err_;
  std::vector<ProjectRecord> projects_;
  std::vector<std::vector<size_t>> units_;
  std::unique_ptr<Progress> progress_;
  // Units converted at once; with more than one, they keep the cores busy.
  size_t jobs_ = 1;
  std::unique_ptr<FileBudget> file_budget_;
  // The projects' folders as git is asked about them, each found once.
  GitFolders git_folders_;
};

// Besides the files its projects list (held until its commit ends), a unit
// opens its projects' locks and journals, and its threads each a copy or
// file being synced.
constexpr size_t kUnitFilesBeyondListed = 16;
// Units converted at once by default, for each core.
constexpr size_t kUnitsPerCore = 8;
// Left to all else the process opens: its standard streams, the reports,
// the pipes to git.
constexpr size_t kFilesKeptAside = 64;

bool Batch::Prepare() {
  std::vector<std::string> paths;
  std::string problem;
  if (!CollectProjects(options_.arguments, options_.recursive, machine_.resolver(), &paths,
                       &problem)) {
    std::fputs(("vireo-migrate: " + problem + "\n").c_str(), err_);
    return false;
  }
  projects_.resize(paths.size());
  // What a crash left is settled before anything is judged: units, types
  // and outcomes are told from the files as they are afterwards.
  if (!options_.dry_run) RecoverPending(paths);
  // Each project's record takes what it needs of its files as they are
  // read, so that no list of every project's files is held.
  auto take = [&](size_t i, std::vector<PlannedFile>& files) {
    ProjectRecord& record = projects_[i];
    std::set<std::string> seen;
    for (PlannedFile& file : files) {
      if (file.real.empty() || !seen.insert(file.real).second) continue;
      record.bytes += file.size;
      record.progress_files +=
          file.kind == ListedFile::Kind::kForm || file.kind == ListedFile::Kind::kCode;
    }
    record.files.assign(seen.begin(), seen.end());
  };
  units_ = GroupIntoUnits(ListProjects(paths, machine_.resolver(), take));
  for (size_t u = 0; u < units_.size(); ++u) {
    for (size_t i : units_[u]) {
      projects_[i].path = paths[i];
      projects_[i].unit = u;
    }
  }
  return true;
}

// Each project with a journal beside it, in turn, as a single run would
// settle it; one that cannot be settled is not converted.
void Batch::RecoverPending(const std::vector<std::string>& paths) {
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!HasInterruptedCommit(paths[i])) continue;
    ProjectGuard guard;
    GuardResult guarded = guard.Take(paths[i], machine_.resolver(), false);
    for (const std::string& left : guarded.leftovers)
      std::fputs(("vireo-migrate: " + left + ": could not be deleted\n").c_str(), err_);
    if (!guarded.recovered.empty() && !options_.quiet)
      std::fputs((guarded.recovered + "\n").c_str(), err_);
    if (!guarded.ok) projects_[i].recovery_problem = guarded.problem;
  }
}

// False, with the outcome said, when the project is not to be run.
bool Batch::ChooseTypes(ProjectRecord& record) {
  record.to = options_.to ? options_.to : kDefaultTargetType;
  if (options_.from) {
    record.from = options_.from;
    return true;
  }
  SourceChoice choice = ChooseSource(record.path, record.to, machine_.resolver());
  switch (choice.finding) {
    case SourceFinding::kFound:
      record.from = choice.source;
      return true;
    case SourceFinding::kAlreadyConverted:
      record.outcome = Outcome::kAlreadyConverted;
      return false;
    case SourceFinding::kSeveral:
    case SourceFinding::kUnknown:
      record.outcome = Outcome::kSkipped;
      record.reason = SourceProblem(choice) + ": name one with --from";
      return false;
  }
  return false;
}

// Where a project's originals go: below the backup folder, at the path of
// the project's folder (relative to the current folder when below it).
std::string Batch::BackupFolderOf(const std::string& project) const {
  std::string folder = Shown(ProjectDirectory(project));
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  size_t start = folder.find_first_not_of('/');
  return options_.backup + "/" + (start == std::string::npos ? "" : folder.substr(start));
}

HoldPolicy Batch::Hold() const {
  HoldPolicy hold;
  hold.wait_seconds = options_.wait_seconds;
  hold.waiting = [this](const std::string& file) {
    progress_->Say("vireo-migrate: waiting for another run to finish with " + file);
  };
  return hold;
}

// The caller holds the project's lock; with a `unit`, it commits the unit.
RunResult Batch::ConvertOne(size_t project, UnitRun* unit) {
  ProjectRecord& record = projects_[project];
  RunResult result;
  result.outcome = RunOutcome::kFailed;
  auto started = Clock::now();
  std::unique_ptr<DiskIde> ide;
  if (!OpenDiskProject(record.path, machine_.resolver(), &ide, &result.failure_reason))
    return result;
  QuietUi ui;
  SilentStatus status;
  FixedChoice dialog(record.from, record.to);
  RunServices services{ui, dialog, status, machine_.resolver()};
  RunOptions run_options;
  run_options.project_locked = true;
  run_options.dry_run = options_.dry_run;
  run_options.copies_unread = options_.dry_run && !options_.diff && options_.html.empty();
  run_options.hold = Hold();
  run_options.unit = unit;
  // Where units are converted side by side, a unit's files taking threads of
  // their own only adds threads to start and switch between.
  if (jobs_ > 1) run_options.threads = Threads::kOne;
  run_options.progress_by_path = true;
  run_options.on_event = [this, project, shown = Shown(record.path)](const RunEvent& event) {
    progress_->Hear(project, shown, event);
  };
  std::string folder = ProjectDirectory(record.path);
  bool review = !options_.html.empty();
  if (options_.dry_run && (options_.diff || review)) {
    run_options.preview = [&](const RunChanges& run) {
      record.review = BuildPreview(run, {folder, true});
      std::string note = UncommittedNote(AskGit(ChangedOriginals(run), &git_folders_));
      if (options_.diff) record.preview = FormatPreview(record.review);
      if (!note.empty()) record.preview += note + "\n";
      if (!review) record.review = {};
    };
  }
  run_options.refuse_commit = [&](const RunChanges& run) -> std::string {
    if (options_.allow_dirty) return "";
    std::string problem = UncommittedProblem(AskGit(ChangedOriginals(run), &git_folders_));
    record.git_refused = !problem.empty();
    return problem;
  };
  run_options.before_commit = [&](const RunChanges& run, std::string* failed_file,
                                  std::string* reason) {
    if (review) record.review = BuildPreview(run, {folder, true});
    return options_.backup.empty() ||
           BackUpOriginals(run, folder, BackupFolderOf(record.path), failed_file, reason);
  };
  result = ConvertProject(*ide, services, run_options);
  record.seconds += std::chrono::duration<double>(Clock::now() - started).count();
  record.missing_forms = ide->missing_forms();
  record.ran = true;
  return result;
}

void Batch::AddReport(ProjectRecord& record, const RunResult& result) {
  if (options_.report.empty() || !record.ran) return;
  ReportInfo info;
  info.tool = "vireo-migrate";
  info.version = kToolVersion;
  info.dry_run = options_.dry_run;
  info.exit_status = 0;
  info.duration_seconds = record.seconds;
  info.missing_forms = record.missing_forms;
  record.run_report = ReportDocument(result, info);
}

void Batch::Record(ProjectRecord& record, const RunResult& result) {
  AddReport(record, result);
  switch (result.outcome) {
    case RunOutcome::kConverted:
      record.outcome = Outcome::kConverted;
      break;
    case RunOutcome::kNothingToConvert:
      record.outcome = Outcome::kNothingToConvert;
      if (!result.referenced_types.empty())
        record.reason = "it references " + GridTypeNames(result.referenced_types);
      break;
    case RunOutcome::kInterrupted:
      record.outcome = Outcome::kInterrupted;
      break;
    case RunOutcome::kRefused:
      record.outcome = Outcome::kSkipped;
      record.reason = result.failure_reason;
      break;
    default:
      record.outcome = Outcome::kFailed;
      record.reason = result.failure_reason.empty() ? result.message : result.failure_reason;
  }
}

// A file counts as changed for every project that lists it, whichever
// project's run changed it. The projects' lists are not needed after.
void Batch::CountChangedFiles(const std::vector<size_t>& members,
                              const std::set<std::string>& changed) {
  for (size_t i : members) {
    ProjectRecord& record = projects_[i];
    record.files_changed = 0;
    for (const std::string& file : record.files) record.files_changed += changed.count(file) > 0;
    std::vector<std::string>().swap(record.files);
  }
}

void AddChanged(const RunResult& result, std::set<std::string>* changed) {
  auto add = [&](const std::string& path) {
    std::string real;
    if (!path.empty() && !Files().RealPath(path, &real)) changed->insert(real);
  };
  for (const FileOutcome& file : result.files) {
    if (file.result != kChanged) continue;
    add(file.path);
    add(file.binary_path);
  }
  // A form's side file may change while its text does not.
  for (const GuidReplacement& guid : result.guid_replacements) add(guid.file);
}

// False, with every project failed, when the projects of a unit use
// different sources: converted together they could not all come out right.
bool Batch::SameSources(const std::vector<size_t>& runnable) {
  std::set<int16_t> sources;
  for (size_t i : runnable) sources.insert(projects_[i].from);
  if (sources.size() < 2) return true;
  std::string names;
  for (size_t i : runnable)
    names += (names.empty() ? "" : "; ") + projects_[i].path + ": " + TypeName(projects_[i].from);
  for (size_t i : runnable) {
    projects_[i].outcome = Outcome::kFailed;
    projects_[i].reason = "the projects of this unit share files but use different grid types (" +
                          names + "); nothing of it was changed";
  }
  return false;
}

// Why `member` is held back with `holder`: the file it shares with it, or
// with the project of the unit that links them.
std::string Batch::HeldBack(size_t member, size_t holder,
                            const std::vector<size_t>& members) const {
  auto shared = [&](size_t a, size_t b) -> std::string {
    for (const std::string& file : projects_[a].files) {
      if (projects_[b].Lists(file)) return Shown(file);
    }
    return "";
  };
  std::string what = projects_[holder].outcome == Outcome::kSkipped ? "was skipped" : "failed";
  if (std::string file = shared(member, holder); !file.empty())
    return "not converted: it shares " + file + " with " + Shown(projects_[holder].path) +
           ", which " + what + "; projects that share files convert together or not at all";
  for (size_t other : members) {
    if (other == member || other == holder) continue;
    if (std::string file = shared(member, other); !file.empty())
      return "not converted: it shares " + file + " with " + Shown(projects_[other].path) +
             ", of one unit with " + Shown(projects_[holder].path) + ", which " + what +
             "; projects that share files convert together or not at all";
  }
  return "not converted: " + Shown(projects_[holder].path) + ", which shares files with it, " +
         what;
}

// `holder` stopped its unit with `outcome`: every other project of the unit
// shares it, but one already converted, which stays so.
void Batch::StopUnit(const std::vector<size_t>& members, size_t holder, Outcome outcome) {
  for (size_t i : members) {
    ProjectRecord& other = projects_[i];
    if (i == holder || other.outcome == Outcome::kAlreadyConverted) continue;
    other.outcome = outcome;
    other.reason = outcome == Outcome::kInterrupted ? "" : HeldBack(i, holder, members);
  }
}

bool Stops(Outcome outcome) {
  return outcome == Outcome::kFailed || outcome == Outcome::kInterrupted ||
         outcome == Outcome::kSkipped;
}

// One project after another, each committed (or previewed) on its own: a
// unit of one project, or any unit in a dry run.
void Batch::ConvertEach(const std::vector<size_t>& runnable, std::set<std::string>* changed) {
  for (size_t i : runnable) {
    ProjectRecord& record = projects_[i];
    RunResult result = ConvertOne(i);
    Record(record, result);
    AddChanged(result, changed);
    if (!Stops(record.outcome)) continue;
    StopUnit(units_[record.unit], i, record.outcome);
    changed->clear();
    return;
  }
}

// Projects that share files: converted one after another into one run, each
// file once, then committed at once under one journal. The caller holds
// their locks.
void Batch::ConvertTogether(const std::vector<size_t>& runnable, std::set<std::string>* changed) {
  std::vector<std::string> paths;
  for (size_t i : runnable) paths.push_back(projects_[i].path);
  UnitRun unit;
  if (!unit.Begin(paths, machine_.resolver(), Hold())) {
    for (size_t i : runnable) {
      projects_[i].outcome = Outcome::kFailed;
      projects_[i].reason = unit.failure_reason();
    }
    return;
  }
  std::vector<RunResult> results;
  for (size_t i : runnable) {
    ProjectRecord& record = projects_[i];
    results.push_back(ConvertOne(i, &unit));
    Record(record, results.back());
    if (!Stops(record.outcome)) continue;
    Say(unit.Discard());
    StopUnit(units_[record.unit], i, record.outcome);
    // Their runs were never committed.
    for (size_t other : runnable) {
      if (other != i) projects_[other].run_report = nullptr;
    }
    return;
  }
  unit.FinishSeals();
  if (InterruptRequested()) {
    Say(unit.Discard());
    for (size_t i : runnable) projects_[i].outcome = Outcome::kInterrupted;
    return;
  }
  CommitOutcome committed = unit.Commit();
  Say(committed.leftovers);
  for (size_t k = 0; k < runnable.size(); ++k) {
    RunResult& result = results[k];
    if (!committed.ok && result.outcome == RunOutcome::kConverted) {
      result.outcome = RunOutcome::kFailed;
      result.failure_reason = committed.reason + "; nothing of this unit was changed";
    }
    Record(projects_[runnable[k]], result);
    if (committed.ok) AddChanged(result, changed);
  }
}

void Batch::Say(const std::vector<std::string>& leftovers) {
  for (const std::string& file : leftovers)
    progress_->Say("vireo-migrate: " + file + ": could not be deleted");
}

// Takes every project's lock, settling what a crash left, before anything
// of the unit is read; false, with the unit failed, when one cannot be taken.
bool Batch::GuardUnit(const std::vector<size_t>& members, std::deque<ProjectGuard>& guards) {
  for (size_t i : members) {
    ProjectRecord& record = projects_[i];
    std::string problem = record.recovery_problem;
    if (problem.empty()) {
      GuardResult guarded =
          guards.emplace_back().Take(record.path, machine_.resolver(), options_.dry_run);
      Say(guarded.leftovers);
      if (!guarded.recovered.empty()) progress_->Say(guarded.recovered);
      if (!guarded.ok) problem = guarded.problem;
    }
    if (problem.empty()) continue;
    record.outcome = Outcome::kFailed;
    record.reason = problem;
    StopUnit(members, i, Outcome::kFailed);
    return false;
  }
  return true;
}

// The projects of the unit to convert. When one of them is skipped, the
// whole unit is: converting the others would convert the files it shares.
std::vector<size_t> Batch::ChooseUnitTypes(const std::vector<size_t>& members) {
  std::vector<size_t> runnable;
  for (size_t i : members) {
    if (ChooseTypes(projects_[i])) runnable.push_back(i);
  }
  for (size_t i : members) {
    if (projects_[i].outcome != Outcome::kSkipped) continue;
    StopUnit(members, i, Outcome::kSkipped);
    return {};
  }
  return runnable;
}

void Batch::ConvertUnit(size_t unit) {
  const std::vector<size_t>& members = units_[unit];
  if (InterruptRequestedAnywhere()) return;  // every project stays "interrupted"
  size_t files = kUnitFilesBeyondListed;
  for (size_t i : members) files += projects_[i].files.size() + 2;
  FileBudget::Share share(*file_budget_, files);
  if (InterruptRequestedAnywhere()) return;
  std::deque<ProjectGuard> guards;
  std::set<std::string> changed;
  if (GuardUnit(members, guards)) {
    std::vector<size_t> runnable = ChooseUnitTypes(members);
    if (!runnable.empty() && SameSources(runnable)) {
      if (options_.dry_run || runnable.size() == 1) {
        ConvertEach(runnable, &changed);
      } else {
        ConvertTogether(runnable, &changed);
      }
    }
  }
  CountChangedFiles(members, changed);
  for (size_t i : members) progress_->ProjectDone(i, projects_[i], options_.dry_run);
  progress_->UnitDone();
}

// As a single project's run ends: interrupted, then failed, then skipped
// (its type must be named), then converted, else nothing needed conversion.
int Batch::ExitStatus() const {
  std::set<Outcome> outcomes;
  for (const ProjectRecord& record : projects_) outcomes.insert(record.outcome);
  if (outcomes.count(Outcome::kInterrupted)) return kExitCancelled;
  if (outcomes.count(Outcome::kFailed)) return kExitFailed;
  if (outcomes.count(Outcome::kSkipped)) return kExitUsage;
  if (outcomes.count(Outcome::kConverted)) return kExitConverted;
  return kExitNothingToConvert;
}

bool UseColour(std::FILE* stream) {
  const char* term = std::getenv("TERM");
  return ::isatty(::fileno(stream)) && !std::getenv("NO_COLOR") &&
         !(term && std::string(term) == "dumb");
}

std::string Coloured(const std::string& text, Outcome outcome) {
  const char* code = outcome == Outcome::kFailed                                        ? "31"
                     : outcome == Outcome::kConverted                                   ? "32"
                     : outcome == Outcome::kSkipped || outcome == Outcome::kInterrupted ? "33"
                                                                                        : "0";
  return std::string("\033[") + code + "m" + text + "\033[0m";
}

// "3 projects in 2 units: 2 converted, 1 failed."
std::string CountsLine(size_t projects, size_t units, const std::map<Outcome, int>& counts,
                       bool dry_run) {
  std::string text = Counted(static_cast<int>(projects), "project", "projects") + " in " +
                     Counted(static_cast<int>(units), "unit", "units") + ":";
  bool first = true;
  for (const auto& [outcome, count] : counts) {
    text += std::string(first ? " " : ", ") + std::to_string(count) + " " +
            OutcomeText(outcome, dry_run);
    first = false;
  }
  return text + (dry_run ? "; nothing was changed (dry run)." : ".");
}

// The table: project, source, outcome and files changed, each reason under
// its project; on a terminal, reasons and the counts wrap at spaces.
void Batch::PrintSummary() {
  bool colour = UseColour(out_);
  size_t columns = TerminalColumns(out_);
  std::vector<TableRow> rows{{{"Project", "Source", "Outcome", "Files changed"}, ""}};
  std::map<Outcome, int> counts;
  for (const ProjectRecord& record : projects_) {
    ++counts[record.outcome];
    std::string outcome = OutcomeText(record.outcome, options_.dry_run);
    if (colour) outcome = Coloured(outcome, record.outcome);
    rows.push_back(
        {{Shown(record.path), TypeName(record.from), outcome, std::to_string(record.files_changed)},
         record.reason});
  }
  std::string text = FormatTable(rows, columns);
  std::string total = CountsLine(projects_.size(), units_.size(), counts, options_.dry_run);
  if (columns < 2) {
    text += total + "\n";
  } else {
    for (const std::string& line : WrapAtSpaces(total, columns - 1)) text += line + "\n";
  }
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

JsonDocument Batch::ProjectJson(const ProjectRecord& record) const {
  auto type = [](int16_t position) {
    return position ? JsonDocument(TypeName(position)) : JsonDocument(nullptr);
  };
  JsonDocument entry;
  entry["project"] = record.path;
  entry["unit"] = record.unit;
  entry["source"] = type(record.from);
  entry["target"] = type(record.to);
  entry["outcome"] = OutcomeKey(record.outcome);
  entry["reason"] = record.reason;
  entry["files_changed"] = record.files_changed;
  entry["run"] = record.run_report;
  return entry;
}

bool Batch::WriteReport(int exit_status, double seconds) {
  JsonDocument units = JsonDocument::array();
  for (const std::vector<size_t>& unit : units_) {
    JsonDocument paths = JsonDocument::array();
    for (size_t i : unit) paths.push_back(projects_[i].path);
    units.push_back(std::move(paths));
  }
  JsonDocument projects = JsonDocument::array();
  for (const ProjectRecord& record : projects_) projects.push_back(ProjectJson(record));
  JsonDocument report;
  report["tool"] = "vireo-migrate";
  report["version"] = std::string(kToolVersion);
  report["dry_run"] = options_.dry_run;
  report["exit_status"] = exit_status;
  report["duration_seconds"] = seconds;
  report["units"] = std::move(units);
  report["projects"] = std::move(projects);
  return SayUnwritten(options_.report, "the report",
                      WriteReportText(options_.report, JsonText(report), options_.report_stream));
}

// False, after saying what the batch itself did, when `file` was not written.
bool Batch::SayUnwritten(const std::string& file, const std::string& what, std::error_code error) {
  if (!error) return true;
  int converted = 0;
  for (const ProjectRecord& record : projects_) converted += record.outcome == Outcome::kConverted;
  std::string done = options_.dry_run ? "the dry run itself is done and changed nothing"
                                      : "the batch itself is done: " + std::to_string(converted) +
                                            " of " + std::to_string(projects_.size()) +
                                            " projects were converted, as the table says";
  std::fputs(("vireo-migrate: " + file + ": cannot write " + what + " (" + Describe(error) + "); " +
              done + "\n")
                 .c_str(),
             err_);
  return false;
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Control characters other than tab and line ends are not XML.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

bool Batch::WriteJunit(double seconds) {
  int failures = 0, skipped = 0;
  std::string cases;
  for (const ProjectRecord& r : projects_) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", r.seconds);
    cases += "  <testcase classname=\"vireo-migrate\" name=\"" + XmlEscaped(r.path) +
             "\" time=\"" + time + "\">";
    if (r.outcome == Outcome::kFailed) {
      ++failures;
      cases += "<failure message=\"" + XmlEscaped(r.reason) + "\"/>";
    } else if (r.outcome == Outcome::kSkipped || r.outcome == Outcome::kInterrupted) {
      ++skipped;
      cases += "<skipped message=\"" +
               XmlEscaped(r.reason.empty() ? OutcomeText(r.outcome, false) : r.reason) + "\"/>";
    } else {
      cases += "<system-out>" + XmlEscaped(OutcomeText(r.outcome, options_.dry_run)) +
               "</system-out>";
    }
    cases += "</testcase>\n";
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"vireo-migrate\" "
                    "tests=\"" + std::to_string(projects_.size()) + "\" failures=\"" +
                    std::to_string(failures) + "\" skipped=\"" + std::to_string(skipped) +
                    "\" time=\"" + time + "\">\n" + cases + "</testsuite>\n";
  return SayUnwritten(options_.junit, "the JUnit file",
                      WriteReportText(options_.junit, xml, options_.report_stream));
}

// What converts a project, or settles what stopped it.
std::string NextCommand(const ProjectRecord& record, bool dry_run) {
  std::string project = " " + ShellWord(record.path);
  switch (record.outcome) {
    case Outcome::kConverted:
      return dry_run ? "vireo-migrate convert" + project : "";
    case Outcome::kSkipped:
      if (record.git_refused) return "vireo-migrate convert --allow-dirty" + project;
      return "vireo-migrate convert --from TYPE" + project + "  (vireo-migrate types lists them)";
    case Outcome::kFailed:
    case Outcome::kInterrupted:
      return "vireo-migrate convert" + project;
    default:
      return "";
  }
}

bool Batch::WriteHtml(int exit_status) {
  ReviewPage page;
  page.title = options_.dry_run ? "vireo-migrate convert --dry-run" : "vireo-migrate convert";
  page.subtitle = Counted(static_cast<int>(projects_.size()), "project", "projects") + " in " +
                  Counted(static_cast<int>(units_.size()), "unit", "units") + "; exit status " +
                  std::to_string(exit_status) +
                  (options_.dry_run ? "; a dry run: nothing was changed." : ".");
  for (const ProjectRecord& record : projects_) {
    ReviewProject& project = page.projects.emplace_back();
    project.path = Shown(record.path);
    project.outcome = OutcomeText(record.outcome, options_.dry_run);
    project.outcome_key = OutcomeKey(record.outcome);
    project.source = TypeName(record.from);
    project.reason = record.reason;
    project.command = NextCommand(record, options_.dry_run);
    project.facts = {{"Files changed", std::to_string(record.files_changed)},
                     {"Unit", std::to_string(record.unit + 1)}};
    project.preview = record.review;
  }
  return SayUnwritten(options_.html, "the review page",
                      WriteReviewHtml(options_.html, page, options_.report_stream));
}

Progress::Totals Batch::ProgressTotals() const {
  Progress::Totals totals;
  totals.units = units_.size();
  for (const ProjectRecord& record : projects_) {
    totals.files.push_back(record.progress_files);
    totals.bytes += record.bytes;
  }
  return totals;
}

int Batch::Run() {
  auto started = Clock::now();
  CatchInterrupts();
  if (!Prepare()) return kExitUsage;
  size_t columns = options_.quiet ? 0 : TerminalColumns(err_);
  progress_ = std::make_unique<Progress>(err_, columns, columns == 0 && !options_.quiet,
                                         options_.verbose && !options_.quiet, ProgressTotals());
  // A unit's commit waits mostly on syncs, which other units' conversions
  // overlap, and syncs made at once are made together (a journaling file
  // system commits them as one): eight units per core. On two cores, 200
  // projects took 0.358 s with eight units at once and 0.317 s with sixteen
  // on an ext4 image, 0.293 s and 0.243 s on a disk without a journal, and
  // 10,000 projects the same time with 5 MiB more memory (27.7 MiB); 32
  // units gained no more and took 28 MiB for 2,000 projects.
  size_t jobs = options_.jobs > 0
                    ? static_cast<size_t>(options_.jobs)
                    : kUnitsPerCore * std::max(1u, std::thread::hardware_concurrency());
  jobs_ = jobs = std::max<size_t>(1, std::min(jobs, units_.size()));
  size_t limit = OpenFileLimit();
  // Under a very low limit, one unit at a time.
  file_budget_ = std::make_unique<FileBudget>(
      limit == SIZE_MAX ? SIZE_MAX : std::max<size_t>(1, limit - std::min(limit, kFilesKeptAside)));
  // Each unit's syncs and swaps are helped by up to three threads, kept for
  // the whole batch rather than started for each commit.
  KeptThreads helpers(3 * jobs);
  std::atomic<size_t> next{0};
  auto work = [&] {
    KeptThreads::Use use(helpers);
    for (size_t unit = next++; unit < units_.size(); unit = next++) ConvertUnit(unit);
  };
  std::vector<std::thread> threads;
  for (size_t j = 1; j < jobs; ++j) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  progress_->Finish();
  // Each project's diff under its own heading.
  for (const ProjectRecord& record : projects_) {
    if (!record.preview.empty())
      std::fputs(("== " + Shown(record.path) + "\n" + record.preview + "\n").c_str(), out_);
  }
  if (!options_.quiet) PrintSummary();
  if (InterruptRequestedAnywhere())
    std::fputs("vireo-migrate: interrupted: units not begun were left as they were\n", err_);
  int exit_status = ExitStatus();
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  bool report_written = options_.report.empty() || WriteReport(exit_status, seconds);
  bool junit_written = options_.junit.empty() || WriteJunit(seconds);
  bool html_written = options_.html.empty() || WriteHtml(exit_status);
  return report_written && junit_written && html_written ? exit_status : kExitFailed;
}

}  // namespace

int RunBatch(const BatchOptions& options, const HostMachine& machine, std::FILE* out,
             std::FILE* err) {
  Batch batch(options, machine, out, err);
  return batch.Run();
}

std::vector<std::string> BatchProjectFiles(const BatchOptions& options,
                                           const HostMachine& machine, std::string* problem) {
  std::vector<std::string> projects;
  if (!CollectProjects(options.arguments, options.recursive, machine.resolver(), &projects,
                       problem))
    projects.clear();
  return projects;
}

}  // namespace vireo
