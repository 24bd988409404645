#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

#include "base/file_io.h"
#include "base/interrupt.h"
#include "cli/app.h"
#include "cli/batch_projects.h"
#include "cli/disk_project.h"
#include "cli/preview.h"
#include "cli/report.h"
#include "cli/type_choice.h"
#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/convert_project.h"
#include "engine/project/project_file.h"
#include "engine/project/project_guard.h"
#include "engine/project/unit_run.h"
#include "host/interrupt_handlers.h"

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

std::string TypeName(int16_t position) {
  if (position <= 0) return "";
  return GridDisplayName(position).value_or(GridCatalogue().Item(position).FullName);
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
  // replaced, unlike its identity).
  std::set<std::string> files;
  uint64_t bytes = 0;
  double seconds = 0;
  std::string preview;
  std::string report;  // the project's own run report (JSON), when one ran
  std::vector<std::string> missing_forms;
  bool ran = false;
};

// Shared by the threads: what is done so far, and the live line.
class Progress {
 public:
  Progress(std::FILE* err, bool live, bool lines, bool verbose, size_t units, size_t files,
           uint64_t bytes)
      : err_(err), live_(live), lines_(lines), verbose_(verbose), units_(units),
        total_files_(files), total_bytes_(bytes), started_(Clock::now()) {}

  // `counted`: false while a unit is tried as a whole before it is converted.
  void FileStarted(const std::string& project, const std::string& text, bool counted) {
    std::lock_guard<std::mutex> hold(mutex_);
    files_ += counted;
    current_ = project;
    if (verbose_ && counted) Line(project + ":" + text);
    Draw(false);
  }
  void ProjectDone(const ProjectRecord& record, bool dry_run) {
    std::lock_guard<std::mutex> hold(mutex_);
    bytes_ += record.bytes;
    if (lines_) {
      std::string text = std::string(OutcomeText(record.outcome, dry_run)) + ": " + record.path;
      if (!record.reason.empty()) text += " (" + record.reason + ")";
      Line(text);
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
    Line(text);
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (live_ && drawn_) std::fputs("\r\033[K", err_);
    drawn_ = false;
    std::fflush(err_);
  }

 private:
  void Line(const std::string& text) {
    if (live_ && drawn_) std::fputs("\r\033[K", err_);
    drawn_ = false;
    std::fputs((text + "\n").c_str(), err_);
    std::fflush(err_);
  }
  void Draw(bool force) {
    if (!live_) return;
    auto now = Clock::now();
    if (!force && now - last_drawn_ < std::chrono::milliseconds(100)) return;
    last_drawn_ = now;
    double seconds = std::chrono::duration<double>(now - started_).count();
    char text[160];
    std::snprintf(text, sizeof text, "units %zu/%zu, files %zu/%zu, %.1f of %.1f MB, %.1f s: ",
                  units_done_, units_, std::min(files_, total_files_), total_files_,
                  static_cast<double>(bytes_) / 1e6,
                  static_cast<double>(total_bytes_) / 1e6, seconds);
    std::fputs(("\r\033[K" + std::string(text) + current_).c_str(), err_);
    std::fflush(err_);
    drawn_ = true;
  }

  std::mutex mutex_;
  std::FILE* err_;
  bool live_, lines_, verbose_;
  size_t units_, units_done_ = 0, total_files_, files_ = 0;
  uint64_t total_bytes_, bytes_ = 0;
  std::string current_;
  Clock::time_point started_, last_drawn_;
  bool drawn_ = false;
};

// Message boxes are the run's outcome, said in the summary instead.
class QuietUi final : public UserInterface {
 public:
  void MessageBox(const std::string&, int) override {}
  int MousePointer() override { return pointer_; }
  void SetMousePointer(int pointer) override { pointer_ = pointer; }

 private:
  int pointer_ = 0;
};

class ProgressStatus final : public StatusWindow {
 public:
  ProgressStatus(Progress& progress, const std::string& project, bool counted)
      : progress_(progress), project_(project), counted_(counted) {}
  void Show() override {}
  void Hide() override {}
  // " Migrating X..." begins a file; the same text with "Done!" ends it.
  void SetText(const std::string& text) override {
    if (text.find("Done!") == std::string::npos) progress_.FileStarted(project_, text, counted_);
  }

 private:
  Progress& progress_;
  std::string project_;
  bool counted_;
};

class Batch {
 public:
  Batch(const BatchOptions& options, const HostMachine& machine, std::FILE* out, std::FILE* err)
      : options_(options), machine_(machine), out_(out), err_(err) {}
  int Run();

 private:
  bool Prepare();
  void ConvertUnit(size_t unit);
  bool ChooseTypes(ProjectRecord& record);
  bool SameSources(const std::vector<size_t>& runnable);
  void ConvertEach(const std::vector<size_t>& runnable, std::set<std::string>* changed);
  void ConvertTogether(const std::vector<size_t>& runnable, std::set<std::string>* changed);
  void StopUnit(const std::vector<size_t>& runnable, size_t failed, Outcome outcome,
                bool earlier_too);
  RunResult ConvertOne(ProjectRecord& record, bool dry_run, bool counted, Progress& progress,
                       UnitRun* unit = nullptr);
  void Record(ProjectRecord& record, const RunResult& result);
  void AddReport(ProjectRecord& record, const RunResult& result);
  void Say(const std::vector<std::string>& leftovers);
  HoldPolicy Hold() const;
  void CountChangedFiles(const std::vector<size_t>& members, const std::set<std::string>& changed);
  int ExitStatus() const;
  void PrintSummary();
  void WriteReport(int exit_status, double seconds);
  void WriteJunit(double seconds);

  const BatchOptions& options_;
  const HostMachine& machine_;
  std::FILE* out_;
  std::FILE* err_;
  std::vector<ProjectRecord> projects_;
  std::vector<std::vector<size_t>> units_;
  std::unique_ptr<Progress> progress_;
};

bool Batch::Prepare() {
  std::vector<std::string> paths;
  std::string problem;
  if (!CollectProjects(options_.arguments, options_.recursive, machine_.resolver(), &paths,
                       &problem)) {
    std::fputs(("vireo-migrate: " + problem + "\n").c_str(), err_);
    return false;
  }
  units_ = GroupIntoUnits(paths, machine_.resolver());
  projects_.resize(paths.size());
  for (size_t u = 0; u < units_.size(); ++u) {
    for (size_t i : units_[u]) {
      projects_[i].path = paths[i];
      projects_[i].unit = u;
    }
  }
  for (ProjectRecord& record : projects_) {
    std::vector<std::string> listed;
    std::string ignored;
    ListedFiles(record.path, machine_.resolver(), &listed, &ignored);
    for (const std::string& file : listed) {
      PathStatus status;
      std::string real;
      if (Files().Status(file, &status) || !status.exists || !status.is_regular ||
          Files().RealPath(file, &real))
        continue;
      if (record.files.insert(real).second) record.bytes += status.size;
    }
  }
  return true;
}

// False, with the outcome said, when the project is not to be run.
bool Batch::ChooseTypes(ProjectRecord& record) {
  record.to = options_.to ? options_.to : kDefaultTargetType;
  if (options_.from) {
    record.from = options_.from;
    return true;
  }
  ReferencedTypes referenced = FindReferencedTypes(record.path, record.to);
  if (referenced.sources.size() == 1) {
    record.from = referenced.sources[0];
    return true;
  }
  if (referenced.sources.empty() && referenced.target) {
    record.outcome = Outcome::kAlreadyConverted;
    return false;
  }
  record.outcome = Outcome::kSkipped;
  if (referenced.sources.empty()) {
    record.reason = "cannot tell which grid type it uses: name it with --from";
  } else {
    std::string names;
    for (int16_t source : referenced.sources)
      names += (names.empty() ? "" : ", ") + GridTypeName(source);
    record.reason = "references more than one grid library (" + names + "): name one with --from";
  }
  return false;
}

HoldPolicy Batch::Hold() const {
  HoldPolicy hold;
  hold.wait_seconds = options_.wait_seconds;
  hold.waiting = [this](const std::string& file) {
    progress_->Say("vireo-migrate: waiting for another run to finish with " + file);
  };
  return hold;
}

// With a `unit`, the caller holds the project's lock and commits the unit.
RunResult Batch::ConvertOne(ProjectRecord& record, bool dry_run, bool counted,
                            Progress& progress, UnitRun* unit) {
  RunResult result;
  result.outcome = RunOutcome::kFailed;
  auto started = Clock::now();
  ProjectGuard guard;
  if (!unit) {
    GuardResult guarded = guard.Take(record.path, machine_.resolver(), dry_run);
    if (!guarded.recovered.empty()) progress.Say(guarded.recovered);
    if (!guarded.ok) {
      result.outcome = guarded.busy ? RunOutcome::kBusy : RunOutcome::kFailed;
      result.failure_reason = guarded.problem;
      return result;
    }
  }
  std::unique_ptr<DiskIde> ide;
  if (!OpenDiskProject(record.path, machine_.resolver(), &ide, &result.failure_reason))
    return result;
  QuietUi ui;
  ProgressStatus status(progress, record.path, counted);
  FixedChoice dialog(record.from, record.to);
  RunServices services{ui, dialog, status, machine_.resolver()};
  RunOptions run_options;
  run_options.project_locked = true;
  run_options.dry_run = dry_run;
  run_options.hold = Hold();
  run_options.unit = unit;
  std::string folder = ProjectDirectory(record.path);
  if (dry_run && options_.diff) {
    run_options.preview = [&](const ConversionRun& run) {
      record.preview = RenderPreview(run, folder, true);
    };
  }
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
  info.type_name = [](int position) { return TypeName(static_cast<int16_t>(position)); };
  record.report = ReportJson(result, info);
}

void Batch::Record(ProjectRecord& record, const RunResult& result) {
  AddReport(record, result);
  switch (result.outcome) {
    case RunOutcome::kConverted:
      record.outcome = Outcome::kConverted;
      break;
    case RunOutcome::kNothingToConvert:
      record.outcome = Outcome::kNothingToConvert;
      break;
    case RunOutcome::kInterrupted:
      record.outcome = Outcome::kInterrupted;
      break;
    default:
      record.outcome = Outcome::kFailed;
      record.reason = result.failure_reason.empty() ? result.message : result.failure_reason;
  }
}

// A file counts as changed for every project that lists it, whichever
// project's run changed it.
void Batch::CountChangedFiles(const std::vector<size_t>& members,
                              const std::set<std::string>& changed) {
  for (size_t i : members) {
    ProjectRecord& record = projects_[i];
    record.files_changed = 0;
    for (const std::string& file : record.files) record.files_changed += changed.count(file) > 0;
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

// The project `runnable[failed]` stopped its unit with `outcome`: the
// projects after it (and before it, `earlier_too`) share that outcome.
void Batch::StopUnit(const std::vector<size_t>& runnable, size_t failed, Outcome outcome,
                     bool earlier_too) {
  for (size_t k = earlier_too ? 0 : failed + 1; k < runnable.size(); ++k) {
    if (k == failed) continue;
    ProjectRecord& other = projects_[runnable[k]];
    other.outcome = outcome;
    if (outcome == Outcome::kFailed)
      other.reason = "not converted: " + projects_[runnable[failed]].path +
                     ", which shares files with it, failed";
  }
}

// One project after another, each committed (or previewed) on its own: a
// unit of one project, or any unit in a dry run.
void Batch::ConvertEach(const std::vector<size_t>& runnable, std::set<std::string>* changed) {
  for (size_t k = 0; k < runnable.size(); ++k) {
    ProjectRecord& record = projects_[runnable[k]];
    RunResult result = ConvertOne(record, options_.dry_run, true, *progress_);
    Record(record, result);
    AddChanged(result, changed);
    if (record.outcome != Outcome::kFailed && record.outcome != Outcome::kInterrupted) continue;
    StopUnit(runnable, k, record.outcome, true);
    changed->clear();
    return;
  }
}

// Projects that share files: converted one after another into one run, each
// file once, then committed at once under one journal.
void Batch::ConvertTogether(const std::vector<size_t>& runnable, std::set<std::string>* changed) {
  std::deque<ProjectGuard> guards;
  std::vector<std::string> paths;
  for (size_t k = 0; k < runnable.size(); ++k) {
    ProjectRecord& record = projects_[runnable[k]];
    GuardResult guarded = guards.emplace_back().Take(record.path, machine_.resolver(), false);
    if (!guarded.recovered.empty()) progress_->Say(guarded.recovered);
    if (!guarded.ok) {
      record.outcome = Outcome::kFailed;
      record.reason = guarded.problem;
      StopUnit(runnable, k, Outcome::kFailed, true);
      return;
    }
    paths.push_back(record.path);
  }
  UnitRun unit;
  if (!unit.Begin(paths, machine_.resolver(), Hold())) {
    for (size_t i : runnable) {
      projects_[i].outcome = Outcome::kFailed;
      projects_[i].reason = unit.failure_reason();
    }
    return;
  }
  std::vector<RunResult> results;
  for (size_t k = 0; k < runnable.size(); ++k) {
    ProjectRecord& record = projects_[runnable[k]];
    results.push_back(ConvertOne(record, false, true, *progress_, &unit));
    Record(record, results.back());
    if (record.outcome != Outcome::kFailed && record.outcome != Outcome::kInterrupted) continue;
    Say(unit.Discard());
    StopUnit(runnable, k, record.outcome, true);
    // Their runs were never committed.
    for (size_t i : runnable) {
      if (i != runnable[k]) projects_[i].report.clear();
    }
    return;
  }
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

void Batch::ConvertUnit(size_t unit) {
  const std::vector<size_t>& members = units_[unit];
  if (InterruptRequestedAnywhere()) return;  // every project stays "interrupted"
  std::vector<size_t> runnable;
  for (size_t i : members) {
    if (ChooseTypes(projects_[i])) {
      runnable.push_back(i);
    } else {
      progress_->ProjectDone(projects_[i], options_.dry_run);
    }
  }
  std::set<std::string> changed;
  if (!runnable.empty() && SameSources(runnable)) {
    if (options_.dry_run || runnable.size() == 1) {
      ConvertEach(runnable, &changed);
    } else {
      ConvertTogether(runnable, &changed);
    }
  }
  CountChangedFiles(members, changed);
  for (size_t i : runnable) progress_->ProjectDone(projects_[i], options_.dry_run);
  progress_->UnitDone();
}

int Batch::ExitStatus() const {
  bool interrupted = false, failed = false;
  for (const ProjectRecord& record : projects_) {
    interrupted |= record.outcome == Outcome::kInterrupted;
    failed |= record.outcome == Outcome::kFailed || record.outcome == Outcome::kSkipped;
  }
  if (interrupted) return kExitCancelled;
  return failed ? kExitFailed : kExitConverted;
}

std::string Shown(const std::string& path) {
  std::error_code ignored;
  std::string relative = std::filesystem::path(path)
                             .lexically_relative(std::filesystem::current_path(ignored))
                             .string();
  return relative.empty() || relative.compare(0, 2, "..") == 0 ? path : relative;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

bool UseColour(std::FILE* stream) {
  const char* term = std::getenv("TERM");
  return ::isatty(::fileno(stream)) && !std::getenv("NO_COLOR") &&
         !(term && std::string(term) == "dumb");
}

void Batch::PrintSummary() {
  size_t width = 8;
  for (const ProjectRecord& record : projects_) width = std::max(width, Shown(record.path).size() + 2);
  bool colour = UseColour(out_);
  std::string text = Padded("Project", width) + Padded("Source", 28) + Padded("Outcome", 20) +
                     "Files changed\n";
  std::map<Outcome, int> counts;
  for (const ProjectRecord& record : projects_) {
    ++counts[record.outcome];
    std::string outcome = OutcomeText(record.outcome, options_.dry_run);
    std::string shown = Padded(outcome, 20);
    if (colour) {
      const char* code = record.outcome == Outcome::kFailed        ? "31"
                         : record.outcome == Outcome::kConverted   ? "32"
                         : record.outcome == Outcome::kSkipped ||
                                 record.outcome == Outcome::kInterrupted ? "33"
                                                                         : "0";
      shown = std::string("\033[") + code + "m" + outcome + "\033[0m" +
              std::string(shown.size() - outcome.size(), ' ');
    }
    text += Padded(Shown(record.path), width) + Padded(TypeName(record.from), 28) + shown +
            std::to_string(record.files_changed) + "\n";
    if (!record.reason.empty()) text += "    " + record.reason + "\n";
  }
  text += std::to_string(projects_.size()) + " projects in " + std::to_string(units_.size()) +
          " units:";
  bool first = true;
  for (const auto& [outcome, count] : counts) {
    text += std::string(first ? " " : ", ") + std::to_string(count) + " " +
            OutcomeText(outcome, options_.dry_run);
    first = false;
  }
  text += options_.dry_run ? "; nothing was changed (dry run).\n" : ".\n";
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

void Batch::WriteReport(int exit_status, double seconds) {
  std::string json = "{\n  \"tool\": \"vireo-migrate\",\n  \"version\": " +
                     JsonString(kToolVersion) + ",\n  \"dry_run\": " +
                     (options_.dry_run ? "true" : "false") +
                     ",\n  \"exit_status\": " + std::to_string(exit_status) +
                     ",\n  \"duration_seconds\": " + std::to_string(seconds) + ",\n  \"units\": [";
  for (size_t u = 0; u < units_.size(); ++u) {
    json += std::string(u ? "," : "") + "\n    [";
    for (size_t k = 0; k < units_[u].size(); ++k)
      json += std::string(k ? ", " : "") + JsonString(projects_[units_[u][k]].path);
    json += "]";
  }
  json += "\n  ],\n  \"projects\": [";
  for (size_t i = 0; i < projects_.size(); ++i) {
    const ProjectRecord& r = projects_[i];
    std::string run = r.report.empty() ? "null\n" : r.report;
    run.pop_back();  // its final line feed
    json += std::string(i ? "," : "") + "\n    {\"project\": " + JsonString(r.path) +
            ", \"unit\": " + std::to_string(r.unit) + ", \"source\": " +
            (r.from ? JsonString(TypeName(r.from)) : "null") + ", \"target\": " +
            (r.to ? JsonString(TypeName(r.to)) : "null") + ", \"outcome\": " +
            JsonString(OutcomeKey(r.outcome)) + ", \"reason\": " + JsonString(r.reason) +
            ", \"files_changed\": " + std::to_string(r.files_changed) + ", \"run\": " + run + "}";
  }
  json += "\n  ]\n}\n";
  if (auto error = WriteWholeFile(options_.report, json))
    std::fputs(("vireo-migrate: " + options_.report + ": cannot write the report (" +
                Describe(error) + ")\n").c_str(), err_);
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

void Batch::WriteJunit(double seconds) {
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
  if (auto error = WriteWholeFile(options_.junit, xml))
    std::fputs(("vireo-migrate: " + options_.junit + ": cannot write the JUnit file (" +
                Describe(error) + ")\n").c_str(), err_);
}

int Batch::Run() {
  auto started = Clock::now();
  CatchInterrupts();
  if (!Prepare()) return kExitUsage;
  uint64_t bytes = 0;
  size_t files = 0;
  for (const ProjectRecord& record : projects_) {
    bytes += record.bytes;
    files += record.files.size();
  }
  bool terminal = ::isatty(::fileno(err_)) && !options_.quiet;
  progress_ = std::make_unique<Progress>(err_, terminal, !terminal && !options_.quiet,
                                         options_.verbose && !options_.quiet, units_.size(),
                                         files, bytes);
  size_t jobs = options_.jobs > 0 ? static_cast<size_t>(options_.jobs)
                                  : std::max(1u, std::thread::hardware_concurrency());
  jobs = std::min(jobs, units_.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t unit = next++; unit < units_.size(); unit = next++) ConvertUnit(unit);
  };
  std::vector<std::thread> threads;
  for (size_t j = 1; j < jobs; ++j) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  progress_->Clear();
  for (const ProjectRecord& record : projects_) std::fputs(record.preview.c_str(), out_);
  if (!options_.quiet) PrintSummary();
  if (InterruptRequestedAnywhere())
    std::fputs("vireo-migrate: interrupted: units not begun were left as they were\n", err_);
  int exit_status = ExitStatus();
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (!options_.report.empty()) WriteReport(exit_status, seconds);
  if (!options_.junit.empty()) WriteJunit(seconds);
  return exit_status;
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
