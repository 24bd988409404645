#include "cli/app.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "base/file_io.h"
#include "base/interrupt.h"
#include "base/text.h"
#include "cli/backup.h"
#include "cli/batch.h"
#include "cli/console_ui.h"
#include "cli/disk_project.h"
#include "cli/git_state.h"
#include "cli/host_machine.h"
#include "cli/html_report.h"
#include "cli/machine_words.h"
#include "cli/preview.h"
#include "cli/report.h"
#include "cli/scan.h"
#include "cli/type_choice.h"
#include "cli/usage_hints.h"
#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/convert_project.h"
#include "engine/project/journal.h"
#include "engine/project/project_file.h"
#include "engine/project/project_guard.h"
#include "engine/project/recovery.h"
#include "engine/project/run_lock.h"
#include "host/interrupt_handlers.h"
#include "shell/registration.h"

namespace vireo {
namespace {

struct Options {
  std::vector<std::string> projects;
  std::string project;                // the one project of a single run, as given
  std::string project_path;           // ... and as found
  std::FILE* report_stream = stdout;  // where --report - and --junit - write
  bool recursive = false;
  int jobs = 0;
  std::string junit;
  bool verbose = false;
  std::string from;
  std::string to;
  bool dry_run = false;
  bool diff = false;
  std::string report;
  std::string backup;
  std::string html;
  bool allow_dirty = false;
  bool quiet = false;
  std::string wine_prefix;
  int code_page = 0;
  int wait_seconds = 60;
};

struct Streams {
  std::FILE* out;
  std::FILE* err;
};

void Say(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

int Fail(Streams io, const std::string& problem) {
  Say(io.err, "vireo-migrate: " + problem + "\n");
  return kExitFailed;
}

int UsageError(Streams io, const std::string& problem, const ControlRegistry* registry = nullptr) {
  Say(io.err, "vireo-migrate: " + problem + "\n");
  if (registry) Say(io.err, "The grid types are:\n" + DescribeGridTypes(*registry));
  return kExitUsage;
}

int ExitStatusOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kConverted:
      return kExitConverted;
    case RunOutcome::kNothingToConvert:
      return kExitNothingToConvert;
    case RunOutcome::kCancelled:
    case RunOutcome::kInterrupted:
      return kExitCancelled;
    case RunOutcome::kBusy:
    case RunOutcome::kRefused:
      return kExitUsage;
    case RunOutcome::kFailed:
    case RunOutcome::kUnsaved:
      return kExitFailed;
  }
  return kExitFailed;
}

// The source type `choice` found; 0, after saying why, with the exit status
// in `status`, when it found no one type.
int16_t DetectedSource(const SourceChoice& choice, const std::string& project_path, int16_t to,
                       const HostMachine& wine, Streams io, int* status) {
  switch (choice.finding) {
    case SourceFinding::kFound:
      return choice.source;
    case SourceFinding::kAlreadyConverted:
      Say(io.out,
          project_path + ": already uses " + TypeName(to) + "; nothing needs conversion.\n");
      *status = kExitNothingToConvert;
      return 0;
    case SourceFinding::kSeveral:
      *status = UsageError(
          io, project_path + " " + SourceProblem(choice) + ": name the one to convert with --from",
          &wine.registry());
      return 0;
    case SourceFinding::kUnknown:
      break;
  }
  *status = UsageError(
      io, "cannot tell which grid type " + project_path + " uses: name it with --from",
      &wine.registry());
  return 0;
}

// Registration is advice here: an unregistered choice is converted all the
// same, after one warning line.
void WarnUnregistered(int16_t position, const HostMachine& wine, Streams io) {
  if (!GridCatalogue().Item(position).Registered(wine.registry()))
    Say(io.err, "vireo-migrate: warning: " + GridTypeName(position) + " is not registered in " +
                    Words().registered_in + "; converting all the same\n");
}

// Decides the dialog that answers the run: the named types, the terminal
// chooser, or the types the project's own files tell.
int ChooseTypes(const Options& options, const std::string& project_path, const HostMachine& wine,
                Streams io, std::unique_ptr<ConvertDialog>* dialog) {
  int16_t from = 0, to = 0;
  if (!options.from.empty() && !(from = ParseGridType(options.from)))
    return UsageError(io, "unknown grid type \"" + options.from + "\"", &wine.registry());
  if (!options.to.empty() && !(to = ParseGridType(options.to)))
    return UsageError(io, "unknown grid type \"" + options.to + "\"", &wine.registry());
  std::optional<SourceChoice> choice;
  if (!from) choice = ChooseSource(project_path, to ? to : kDefaultTargetType, wine.resolver());
  if (options.from.empty() && options.to.empty() &&
      (*dialog = InteractiveDialog(wine.registry(), choice->source)))
    return kExitConverted;
  if (!to) to = kDefaultTargetType;
  int status = kExitConverted;
  if (!from && !(from = DetectedSource(*choice, project_path, to, wine, io, &status)))
    return status;
  if (from == to)
    return UsageError(io, "--from and --to name the same grid type", &wine.registry());
  WarnUnregistered(from, wine, io);
  WarnUnregistered(to, wine, io);
  *dialog = std::make_unique<FixedChoice>(from, to);
  return kExitConverted;
}

// What a single run learnt for its review page and its refusals.
struct RunFindings {
  std::string preview_text;
  std::vector<std::string> outside;
  Preview review;
  bool git_refused = false;
};

// A refusal of the files the run would change that hold uncommitted work.
std::string GitRefusal(const RunChanges& run, const Options& options, bool* refused) {
  if (options.allow_dirty) return "";
  std::string problem = UncommittedProblem(AskGit(ChangedOriginals(run)));
  *refused = !problem.empty();
  return problem;
}

RunOptions MakeRunOptions(const Options& options, const std::string& project_path,
                          ConsoleProgress& progress, RunFindings* findings) {
  RunOptions run_options;
  run_options.project_locked = true;
  run_options.progress_by_path = true;
  run_options.dry_run = options.dry_run;
  run_options.copies_unread = options.dry_run && !options.diff && options.html.empty();
  run_options.on_event = [&progress](const RunEvent& event) { progress.Hear(event); };
  run_options.hold.wait_seconds = options.wait_seconds;
  run_options.hold.waiting = [&options, &progress](const std::string& file) {
    if (!options.quiet)
      progress.Say("vireo-migrate: waiting for another run to finish with " + file + " (up to " +
                   std::to_string(options.wait_seconds) + " s, see --wait)\n");
  };
  std::string folder = ProjectDirectory(project_path);
  bool review = !options.html.empty();
  if (options.dry_run) {
    run_options.preview = [&options, folder, findings, review](const RunChanges& run) {
      findings->outside = ChangedOutsideFolder(run, folder);
      Preview preview = BuildPreview(run, {folder, options.diff || review});
      std::string note = UncommittedNote(AskGit(ChangedOriginals(run)));
      Preview shown = preview;
      shown.diff = options.diff;
      findings->preview_text = FormatPreview(shown) + FormatOutsideFolder(findings->outside) +
                               (note.empty() ? "" : note + "\n");
      if (review) findings->review = std::move(preview);
    };
  }
  run_options.refuse_commit = [&options, findings](const RunChanges& run) {
    return GitRefusal(run, options, &findings->git_refused);
  };
  run_options.before_commit = [&options, folder, &progress, findings, review](
                                  const RunChanges& run, std::string* failed_file,
                                  std::string* reason) {
    findings->outside = ChangedOutsideFolder(run, folder);
    progress.Say(FormatOutsideFolder(findings->outside));
    if (review) findings->review = BuildPreview(run, {folder, true});
    return options.backup.empty() ||
           BackUpOriginals(run, folder, options.backup, failed_file, reason);
  };
  return run_options;
}

// What a run that ended with `exit_status` did, for a report that could not
// be written after it.
std::string WhatTheRunDid(int exit_status, bool dry_run, const std::string& project) {
  if (exit_status == kExitConverted)
    return dry_run ? "the dry run itself is done and changed nothing"
                   : "the conversion itself is done: " + project + " was converted";
  if (exit_status == kExitNothingToConvert)
    return "the run itself is done: " + project + " needed no conversion";
  return "nothing of " + project + " was changed";
}

// False, after saying so, when the report could not be written.
bool WriteRunReport(const Options& options, const RunResult& result,
                    const std::vector<std::string>& missing_forms, int exit_status, double seconds,
                    const std::vector<std::string>& outside, Streams io) {
  ReportInfo info;
  info.outside_project = outside;
  info.missing_forms = missing_forms;
  info.tool = "vireo-migrate";
  info.version = kToolVersion;
  info.dry_run = options.dry_run;
  info.exit_status = exit_status;
  info.duration_seconds = seconds;
  if (auto error = WriteReportFile(options.report, result, info, options.report_stream)) {
    Say(io.err, "vireo-migrate: " + options.report + ": cannot write the report (" +
                    Describe(error) + "); " +
                    WhatTheRunDid(exit_status, options.dry_run, options.project_path) + "\n");
    return false;
  }
  return true;
}

// An interrupt either stopped the run before the commit, or came too late:
// once the commit has begun, the run goes on to its end.
void SayInterrupted(const RunResult& result, Streams io) {
  if (result.outcome == RunOutcome::kInterrupted) {
    Say(io.err, result.leftovers.empty()
                    ? "vireo-migrate: interrupted: nothing was changed and the temporary copies "
                      "were deleted\n"
                    : "vireo-migrate: interrupted: nothing was changed, but the temporary "
                      "copies above could not be deleted\n");
  } else if (InterruptRequested()) {
    Say(io.err,
        "vireo-migrate: the interrupt came too late to stop this run, which ended as "
        "said above\n");
  }
}

void SayLeftovers(const std::vector<std::string>& leftovers, Streams io) {
  for (const std::string& left : leftovers)
    Say(io.err, "vireo-migrate: could not delete " + left + "\n");
}

// Locks the project and settles an interrupted commit (see ProjectGuard);
// false, after saying why, when the run must not go on.
bool GuardProject(const std::string& project_path, const Options& options,
                  const PathResolver& resolver, ProjectGuard& guard, Streams io, int* status) {
  GuardResult result = guard.Take(project_path, resolver, options.dry_run);
  SayLeftovers(result.leftovers, io);
  if (!result.ok) {
    *status = result.no_lock ? kExitUsage : kExitFailed;
    Say(io.err, "vireo-migrate: " + result.problem + "\n");
    return false;
  }
  if (!result.recovered.empty() && !options.quiet) Say(io.err, result.recovered + "\n");
  return true;
}

// More than one project, a project group, or a folder searched below: a
// batch run (see batch.h).
bool IsBatch(const std::vector<std::string>& projects, bool recursive) {
  if (projects.size() != 1 || recursive) return projects.size() > 0;
  std::string name = projects[0];
  return name.size() > 4 && EqualsNoCase(name.substr(name.size() - 4), ".vbg");
}

int ConvertBatch(const Options& options, Streams io) {
  HostMachine wine;
  if (!wine.Choose(options.wine_prefix, io.err, !options.verbose, options.code_page))
    return kExitUsage;
  BatchOptions batch;
  batch.arguments = options.projects;
  batch.recursive = options.recursive;
  if (!options.from.empty() && !(batch.from = ParseGridType(options.from)))
    return UsageError(io, "unknown grid type \"" + options.from + "\"", &wine.registry());
  if (!options.to.empty() && !(batch.to = ParseGridType(options.to)))
    return UsageError(io, "unknown grid type \"" + options.to + "\"", &wine.registry());
  if (batch.from && batch.from == (batch.to ? batch.to : kDefaultTargetType))
    return UsageError(io, "--from and --to name the same grid type", &wine.registry());
  batch.dry_run = options.dry_run;
  batch.diff = options.diff;
  batch.jobs = options.jobs;
  batch.wait_seconds = options.wait_seconds;
  batch.report = options.report;
  batch.junit = options.junit;
  batch.html = options.html;
  batch.backup = options.backup;
  batch.allow_dirty = options.allow_dirty;
  batch.report_stream = options.report_stream;
  batch.quiet = options.quiet;
  batch.verbose = options.verbose;
  return RunBatch(batch, wine, io.out, io.err);
}

// What a run said at its end beside its outcome: the hint for a source the
// project does not use, and what a project with nothing to convert uses.
void SayAfterOutcome(const RunResult& result, const std::string& project_path,
                     const Options& options, bool git_refused, Streams io) {
  if (result.outcome == RunOutcome::kRefused && !git_refused)
    Say(io.err,
        "vireo-migrate: name the grid type it uses with --from (vireo-migrate types "
        "lists them), or leave --from out to have it told from the project\n");
  std::set<int16_t> referenced = result.referenced_types;
  if (result.outcome == RunOutcome::kNothingToConvert && !referenced.empty() && !options.quiet)
    Say(io.out, project_path + " references " + GridTypeNames(referenced) + ".\n");
}

// The command that converts the project, or fixes what stopped it.
std::string NextCommand(const RunResult& result, const Options& options, bool git_refused) {
  std::string project = " " + ShellWord(options.project_path);
  if (git_refused) return "vireo-migrate convert --allow-dirty" + project;
  if (result.outcome == RunOutcome::kRefused)
    return "vireo-migrate convert --from TYPE" + project + "  (vireo-migrate types lists them)";
  if (result.outcome == RunOutcome::kConverted && options.dry_run)
    return "vireo-migrate convert" + project;
  if (result.outcome == RunOutcome::kConverted || result.outcome == RunOutcome::kNothingToConvert)
    return "";
  return "vireo-migrate convert" + project;
}

// False, after saying so, when the page could not be written.
bool WriteRunPage(const Options& options, const RunResult& result, const RunFindings& findings,
                  int exit_status, Streams io) {
  ReviewPage page;
  page.title = options.dry_run ? "vireo-migrate convert --dry-run" : "vireo-migrate convert";
  page.subtitle = options.dry_run ? "A dry run: nothing was changed." : "A conversion run.";
  ReviewProject& project = page.projects.emplace_back();
  project.path = options.project_path;
  bool would = options.dry_run && result.outcome == RunOutcome::kConverted;
  project.outcome = would ? "would be converted" : OutcomeName(result.outcome);
  project.outcome_key = OutcomeName(result.outcome);
  project.source = result.from_type ? TypeName(result.from_type) : "";
  project.reason = result.failure_reason;
  project.command = NextCommand(result, options, findings.git_refused);
  project.facts = {{"Files replaced", options.dry_run ? "" : std::to_string(result.replaced)}};
  project.preview = findings.review;
  if (auto error = WriteReviewHtml(options.html, page, options.report_stream)) {
    Say(io.err, "vireo-migrate: " + options.html + ": cannot write the review page (" +
                    Describe(error) + "); " +
                    WhatTheRunDid(exit_status, options.dry_run, options.project_path) + "\n");
    return false;
  }
  return true;
}

int Convert(Options options, Streams io) {
  auto started = std::chrono::steady_clock::now();
  HostMachine wine;
  if (!wine.Choose(options.wine_prefix, io.err, !options.verbose, options.code_page))
    return kExitUsage;
  std::string project_path, problem;
  if (!LocateProjectFile(options.project, &project_path, &problem)) return UsageError(io, problem);
  options.project_path = project_path;
  // The project is read only once it is locked and any interrupted commit
  // is settled; the run below is told so.
  ProjectGuard guard;
  if (int status = 0; !GuardProject(project_path, options, wine.resolver(), guard, io, &status))
    return status;
  std::unique_ptr<DiskIde> ide;
  bool files_missing = false;
  if (!OpenDiskProject(project_path, wine.resolver(), &ide, &problem, &files_missing)) {
    if (!files_missing) return UsageError(io, problem);
    Fail(io, problem);
    if (!options.report.empty()) {
      RunResult failed;
      failed.outcome = RunOutcome::kFailed;
      failed.failure_reason = problem;
      if (!WriteRunReport(options, failed, {}, kExitFailed, 0, {}, io)) return kExitFailed;
    }
    return kExitFailed;
  }
  for (const std::string& form : ide->missing_forms())
    Say(io.err, form + ": the listed form is missing; it is skipped\n");
  std::unique_ptr<ConvertDialog> dialog;
  if (int status = ChooseTypes(options, project_path, wine, io, &dialog); status != kExitConverted)
    return status;

  // The files a run changed are said before its outcome.
  ConsoleUi ui(io.out, io.err, options.quiet);
  ui.HoldMessages();
  SilentStatus status;
  ConsoleProgress progress(io.err, options.quiet ? 0 : TerminalColumns(io.err), options.quiet);
  RunServices services{ui, *dialog, status, wine.resolver()};
  RunFindings findings;
  RunOptions run_options = MakeRunOptions(options, project_path, progress, &findings);
  CatchInterrupts();
  RunResult result = ConvertProject(*ide, services, run_options);
  progress.Finish(result.outcome == RunOutcome::kConverted && !options.dry_run);
  ui.ShowHeldMessages();
  Say(io.out, findings.preview_text);
  if (result.outcome == RunOutcome::kFailed && !result.failure_reason.empty())
    Say(io.err, result.failure_reason + "\n");
  SayLeftovers(result.leftovers, io);
  if (options.dry_run && result.outcome == RunOutcome::kConverted && !options.quiet)
    Say(io.out, "Dry run: the project would be converted; nothing was changed.\n");
  SayInterrupted(result, io);
  SayAfterOutcome(result, project_path, options, findings.git_refused, io);
  int exit_status = ExitStatusOf(result.outcome);
  // A page or report asked for and not written fails the run; each is still
  // attempted, the report saying what the run did.
  bool written = options.html.empty() || WriteRunPage(options, result, findings, exit_status, io);
  if (!options.report.empty()) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    written &= WriteRunReport(options, result, ide->missing_forms(), exit_status, seconds,
                              findings.outside, io);
  }
  return written ? exit_status : kExitFailed;
}

struct RecoverOptions {
  std::vector<std::string> projects;
  bool recursive = false;
  std::string project;
  bool discard = false;
  std::string wine_prefix;
  int code_page = 0;
};

int Discard(const std::string& project_path, Streams io) {
  std::string problem;
  std::vector<std::string> removed = DiscardJournals(project_path, &problem);
  for (const std::string& file : removed) Say(io.out, "Removed " + file + "\n");
  if (!problem.empty()) return Fail(io, problem);
  if (removed.empty()) Say(io.out, project_path + ": no journal to discard.\n");
  return kExitConverted;
}

int Recover(const RecoverOptions& options, const HostMachine& wine, Streams io) {
  std::string project_path, problem;
  if (!LocateProjectFile(options.project, &project_path, &problem)) return UsageError(io, problem);
  RunLock lock;
  if (!lock.Acquire(project_path, &problem)) return UsageError(io, problem);
  if (options.discard) return Discard(project_path, io);
  RecoveryOutcome recovery = RecoverInterruptedCommit(project_path, wine.resolver());
  SayLeftovers(recovery.leftovers, io);
  switch (recovery.result) {
    case RecoveryResult::kNothingToDo:
      Say(io.out, project_path + ": no interrupted conversion to recover.\n");
      return kExitConverted;
    case RecoveryResult::kFailed:
      return Fail(io, recovery.message);
    default:
      if (!recovery.kept_edits.empty()) return Fail(io, recovery.message);
      Say(io.out, recovery.message + "\n");
      return kExitConverted;
  }
}

// Each project in turn; the worst exit status.
int RecoverAll(RecoverOptions options, Streams io) {
  HostMachine wine;
  if (!wine.Choose(options.wine_prefix, io.err, true, options.code_page)) return kExitUsage;
  std::vector<std::string> projects = options.projects;
  if (IsBatch(options.projects, options.recursive)) {
    BatchOptions batch;
    batch.arguments = options.projects;
    batch.recursive = options.recursive;
    std::string problem;
    projects = BatchProjectFiles(batch, wine, &problem);
    if (projects.empty()) return UsageError(io, problem);
  }
  int worst = kExitConverted;
  for (const std::string& project : projects) {
    options.project = project;
    int status = Recover(options, wine, io);
    worst = std::max(worst, status);
  }
  return worst;
}

// The numbers the options take, read as whole numbers in their ranges.
struct NumberTexts {
  std::string jobs, wait, code_page, recover_code_page, scan_jobs, scan_code_page;
};

int Scan(ScanOptions options, const NumberTexts& numbers, const std::string& prefix, Streams io) {
  int code_page = 0;
  std::string problem;
  if ((!numbers.scan_jobs.empty() &&
       !ParseWholeNumber("--jobs", numbers.scan_jobs, 1, 1024, &options.jobs, &problem)) ||
      (!numbers.scan_code_page.empty() &&
       !ParseWholeNumber("--codepage", numbers.scan_code_page, 1, 65535, &code_page, &problem)))
    return UsageError(io, problem + " (see --help)");
  if (options.json && options.html == "-")
    return UsageError(io, "--json and --html - cannot both be written to standard output");
  if (!options.html.empty()) {
    if (std::string problem = ReportDestinationProblem(options.html); !problem.empty())
      return UsageError(io, problem);
  }
  HostMachine wine;
  if (!wine.Choose(prefix, io.err, true, code_page)) return kExitUsage;
  return RunScan(options, wine, io.out, io.err);
}

int ListTypes(const std::string& wine_prefix, Streams io) {
  HostMachine wine;
  if (!wine.Choose(wine_prefix, io.err, false)) return kExitUsage;
  Say(io.out, DescribeGridTypes(wine.registry()));
  return kExitConverted;
}

int Register(const std::string& wine_prefix, bool quiet, Streams io) {
  HostMachine wine;
  if (!wine.Choose(wine_prefix, io.err, true)) return kExitUsage;
  std::unique_ptr<SettingsFile> vb_ini = wine.VbIni();
  if (!vb_ini)
    return UsageError(io, "no Wine prefix found: name one with --wine-prefix or WINEPREFIX");
  // Main cannot tell whether its writes took; check before saying they did.
  struct Recorded final : UserInterface {
    void MessageBox(const std::string& text, int style) override { shown.push_back({text, style}); }
    int MousePointer() override { return 0; }
    void SetMousePointer(int) override {}
    std::vector<std::pair<std::string, int>> shown;
  } recorded;
  Main(*vb_ini, recorded);
  if (vb_ini->GetString(kAddInsSection, kAddInProgId, "") != "0" && !recorded.shown.empty())
    return Fail(io, Words().not_listed);
  ConsoleUi ui(io.out, io.err, quiet);
  for (const auto& [text, style] : recorded.shown) ui.MessageBox(text, style);
  return kExitConverted;
}

void AddCodePageOption(CLI::App* command, std::string* code_page, const MachineWords& words) {
  command->add_option("--codepage", *code_page, words.code_page_help)->type_name("N");
}

// Accepted everywhere; on Windows it is ignored, and its help is not shown.
void AddPrefixOption(CLI::App* command, std::string* prefix, const MachineWords& words) {
  CLI::Option* option = command->add_option("--wine-prefix", *prefix,
                                            "Wine prefix (default: $WINEPREFIX, else ~/.wine)");
  if (!words.has_prefix) option->group("");
}

bool ReadNumbers(const NumberTexts& texts, Options& options, int* recover_code_page,
                 std::string* problem) {
  return (texts.jobs.empty() ||
          ParseWholeNumber("--jobs", texts.jobs, 1, 1024, &options.jobs, problem)) &&
         (texts.wait.empty() ||
          ParseWholeNumber("--wait", texts.wait, 0, 86400, &options.wait_seconds, problem)) &&
         (texts.code_page.empty() ||
          ParseWholeNumber("--codepage", texts.code_page, 1, 65535, &options.code_page, problem)) &&
         (texts.recover_code_page.empty() ||
          ParseWholeNumber("--codepage", texts.recover_code_page, 1, 65535, recover_code_page,
                           problem));
}

// Every command and option the command line knows, for telling a misspelt
// one from what was meant.
std::vector<CommandWords> KnownWords(const CLI::App& app) {
  std::vector<CommandWords> commands;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    CommandWords& words = commands.emplace_back();
    words.command = sub->get_name();
    for (const CLI::Option* option : sub->get_options()) {
      if (!option->nonpositional()) continue;
      bool valued = option->get_expected_min() > 0;
      for (const std::string& name : option->get_lnames()) {
        words.options.push_back("--" + name);
        if (valued) words.valued.push_back("--" + name);
      }
      for (const std::string& name : option->get_snames()) {
        words.options.push_back("-" + name);
        if (valued) words.valued.push_back("-" + name);
      }
    }
  }
  return commands;
}

// The project-supplied reports must have somewhere to go before anything
// changes; "" when they have.
std::string ReportProblem(const Options& options) {
  if (options.report == "-" && options.junit == "-")
    return "--report and --junit cannot both be written to standard output (-)";
  int to_standard_output = (options.report == "-") + (options.junit == "-") + (options.html == "-");
  if (to_standard_output > 1)
    return "only one of --report, --junit and --html can be written to standard output (-)";
  for (const std::string* file : {&options.report, &options.junit, &options.html}) {
    if (file->empty()) continue;
    if (std::string problem = ReportDestinationProblem(*file); !problem.empty())
      return problem + "; nothing was changed";
  }
  return "";
}

int RunCommand(int argc, char** argv, Streams io, const MachineWords& words) {
  std::FILE* out = io.out;
  const std::string target = TypeName(kDefaultTargetType);
  CLI::App app{"vireo-migrate: converts a Visual Basic 4.0 project's data grids to " + target +
                   ", all files or none.",
               "vireo-migrate"};
  app.set_version_flag("--version", ToolVersionLine("vireo-migrate"));
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 converted, 3 nothing needed conversion, 1 a file failed (nothing changed),\n"
      "2 bad arguments, unreadable project or busy (another run holds its files), 4 cancelled\n"
      "or interrupted.");

  Options options;
  CLI::App* convert = app.add_subcommand("convert",
                                         "Convert a project (.vbp or .mak, or a folder "
                                         "holding exactly one).");
  convert
      ->add_option("PROJECT", options.projects,
                   "Project files, project groups (.vbg) or folders; several make a batch run")
      ->required();
  convert->add_flag("--recursive,-r", options.recursive,
                    "Convert every .vbp and .mak below the folders given");
  NumberTexts numbers;
  convert
      ->add_option("--jobs,-j", numbers.jobs,
                   "In a batch, projects converted at once, 1 to 1024 (default: eight per core)")
      ->option_text("N");
  convert->add_option("--junit", options.junit,
                      "In a batch, write a JUnit XML file with one test case per project");
  convert->add_flag("--verbose,-v", options.verbose, words.verbose_help);
  convert->add_option("--from", options.from,
                      "Grid type to convert from: position, name (\"Vireo 4.0\") or control file "
                      "(VIRA32.OCX)");
  convert->add_option("--to", options.to, "Grid type to convert to (default: " + target + ")");
  convert->add_flag("--dry-run", options.dry_run,
                    "Convert without changing or writing anything and show what would change");
  convert->add_flag("--diff", options.diff, "With --dry-run: show a unified diff of every change");
  convert->add_option("--report", options.report, "Write a JSON report of the run to FILE");
  convert->add_option("--backup", options.backup,
                      "Copy every original that will be replaced into DIR first (in a batch, "
                      "below DIR/<project folder>)");
  convert->add_option("--html", options.html,
                      "Write a review page (one HTML file) of every change to FILE");
  convert->add_flag("--allow-dirty", options.allow_dirty,
                    "Convert files that have uncommitted changes in git all the same");
  convert->add_flag("--quiet,-q", options.quiet, "Show errors only");
  AddPrefixOption(convert, &options.wine_prefix, words);
  convert
      ->add_option("--wait", numbers.wait,
                   "Wait up to SECONDS (0 to 86400) for files another run is converting "
                   "(default 60), then stop as busy")
      ->option_text("SECONDS");
  AddCodePageOption(convert, &numbers.code_page, words);
  convert->footer(app.get_footer());

  ScanOptions scan_options;
  std::string scan_prefix;
  CLI::App* scan = app.add_subcommand(
      "scan",
      "Survey projects without changing anything: the grids they use, what a conversion "
      "would change, what would stop it, and the command that converts each");
  scan->add_option("PROJECT", scan_options.arguments,
                   "Project files, project groups (.vbg) or folders")
      ->required();
  scan->add_flag("--recursive,-r", scan_options.recursive,
                 "Scan every .vbp and .mak below the folders given");
  scan->add_flag("--json", scan_options.json,
                 "Write the survey as a JSON document to standard output instead of the table");
  scan->add_option("--html", scan_options.html,
                   "Write a review page (one HTML file) with every change a conversion would make");
  scan->add_option("--jobs,-j", numbers.scan_jobs,
                   "Projects scanned at once, 1 to 1024 (default: one per core)")
      ->option_text("N");
  scan->add_flag("--quiet,-q", scan_options.quiet, "Show no table and no progress");
  AddPrefixOption(scan, &scan_prefix, words);
  AddCodePageOption(scan, &numbers.scan_code_page, words);

  std::string types_prefix;
  CLI::App* types =
      app.add_subcommand("types", "List the grid types and whether each is registered");
  AddPrefixOption(types, &types_prefix, words);

  RecoverOptions recover_options;
  CLI::App* recover = app.add_subcommand(
      "recover", "Finish or undo a conversion that was cut short (a crash, a kill, a power cut)");
  recover->add_option("PROJECT", recover_options.projects,
                      "Project files, project groups (.vbg) or folders")
      ->required();
  recover->add_flag("--recursive,-r", recover_options.recursive,
                    "Recover every .vbp and .mak below the folders given");
  recover->add_flag("--discard", recover_options.discard,
                    "Remove the project's commit journal, and any journal set aside as not "
                    "trustworthy, without acting on it (the files beside the originals stay)");
  AddPrefixOption(recover, &recover_options.wine_prefix, words);
  AddCodePageOption(recover, &numbers.recover_code_page, words);

  std::string register_prefix;
  bool register_quiet = false;
  CLI::App* reg = app.add_subcommand("register", words.register_help);
  AddPrefixOption(reg, &register_prefix, words);
  reg->add_flag("--quiet,-q", register_quiet, "Show errors only");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      std::string text = e.get_name() == "CallForVersion" ? std::string(e.what()) + "\n"
                                                          : app.help("", CLI::AppFormatMode::All);
      if (e.get_name() == "CallForHelp") {
        CLI::App* sub = nullptr;
        for (CLI::App* candidate : app.get_subcommands()) sub = candidate;
        text = sub ? sub->help() : app.help();
      }
      Say(out, text);
      return kExitConverted;
    }
    std::string problem = UnknownWordProblem(std::vector<std::string>(argv + 1, argv + argc),
                                             KnownWords(app), {"--help", "-h", "--version"});
    return UsageError(io, (problem.empty() ? std::string(e.what()) : problem) + " (see --help)");
  }
  if (std::string problem; !ReadNumbers(numbers, options, &recover_options.code_page, &problem))
    return UsageError(io, problem + " (see --help)");
  if (*convert) {
    if (options.diff && !options.dry_run) options.dry_run = true;
    if (std::string problem = ReportProblem(options); !problem.empty())
      return UsageError(io, problem);
    // A report on standard output leaves it to the report alone.
    options.report_stream = io.out;
    if (options.report == "-" || options.junit == "-" || options.html == "-") io.out = io.err;
    if (IsBatch(options.projects, options.recursive) || !options.junit.empty())
      return ConvertBatch(options, io);
    options.project = options.projects[0];
    return Convert(options, io);
  }
  if (*recover) return RecoverAll(recover_options, io);
  if (*scan) return Scan(scan_options, numbers, scan_prefix, io);
  if (*types) return ListTypes(types_prefix, io);
  if (*reg) return Register(register_prefix, register_quiet, io);
  return kExitUsage;
}

}  // namespace

int RunCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err) {
  FillGridCatalogue();
  Streams io{out, err};
  // A fault of ours (not a bad file, not the host) ends the run here: no
  // file is touched after it, and the user is told.
  try {
    return RunCommand(argc, argv, io, Words());
  } catch (const std::exception& fault) {
    return Fail(io, std::string("internal error: ") + fault.what() +
                        "; nothing more was changed (files named vr5... in the temporary folder "
                        "may be left)");
  }
}

std::string FullHelp(const MachineWords& words) {
  FillGridCatalogue();
  std::string help;
  for (std::vector<const char*> arguments : {std::vector<const char*>{"--help"},
                                             {"convert", "--help"},
                                             {"scan", "--help"},
                                             {"recover", "--help"},
                                             {"types", "--help"},
                                             {"register", "--help"}}) {
    arguments.insert(arguments.begin(), "vireo-migrate");
    std::vector<std::string> texts(arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    std::FILE* captured = std::tmpfile();
    if (!captured) throw std::runtime_error("no temporary file for the help text");
    RunCommand(static_cast<int>(argv.size()), argv.data(), Streams{captured, captured}, words);
    std::rewind(captured);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, captured)) > 0;) help.append(buffer, n);
    std::fclose(captured);
    help += "\n";
  }
  return help;
}

}  // namespace vireo
