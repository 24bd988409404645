#include "engine/project/convert_project.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "base/file_system.h"
#include "base/interrupt.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/code/code_file.h"
#include "engine/forms/form_file.h"
#include "engine/project/commit.h"
#include "engine/project/file_jobs.h"
#include "engine/project/journal.h"
#include "engine/project/project.h"
#include "engine/project/project_file.h"
#include "engine/project/project_guard.h"
#include "engine/project/target_use.h"

namespace vireo {
namespace {

// The host is asked with its errors ignored: a call it cannot answer is
// skipped. Any other exception is a fault of ours and goes on up.
template <typename Call, typename Value>
auto Ask(Call call, Value fallback) -> decltype(call()) {
  try {
    return call();
  } catch (const HostError&) {
    return fallback;
  }
}

template <typename Call>
void Tell(Call call) {
  try {
    call();
  } catch (const HostError&) {
  }
}

constexpr char kDone[] = "\r\n  Done!";

std::string Migrating(const std::string& what) { return " Migrating " + what + "..."; }

class ProjectConversion {
 public:
  ProjectConversion(IdeApplication& vb_inst, const RunServices& services, const RunOptions& options)
      : ide_(vb_inst), services_(services), options_(options) {}

  RunResult Run();

 private:
  void Steps();
  bool Prepare();
  bool BeginStaging();
  bool RewriteTheProjectFile(bool project_changed);
  bool LockAndRecover();
  bool HasUnsavedChanges();
  std::vector<FileJob> FormJobs();
  FileJobHooks Hooks(std::string* failed);
  bool ConvertComponents();
  bool IsListedForm(const std::string& path);
  bool AnyFileUsesTarget() const;
  std::set<int16_t> ReferencedTypes() const;
  bool UsesAnotherSource() const;
  void Refuse();
  void NothingToConvert();
  void Finish(RunOutcome outcome, const std::string& message, int style);
  void FailWith(const std::string& path);
  bool StopIfInterrupted();
  bool HooksAllowCommit();
  void Commit();
  void AddLeftovers(const std::vector<std::string>& leftovers);
  void Fail(const std::string& reason) {
    if (failure_reason_.empty()) failure_reason_ = reason;
  }
  Staging& staging() { return options_.unit ? options_.unit->staging() : own_staging_; }
  // How progress names a file.
  std::string Shown(const std::string& path) const {
    if (!options_.progress_by_path) return path;
    std::string folder = ProjectDirectory(file_name_);
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
  }
  void Announce(const RunEvent& event) {
    if (options_.on_event) options_.on_event(event);
  }
  void ShowStatus(const std::string& text) {
    Tell([&] { services_.status.SetText(text); });
  }

  IdeApplication& ide_;
  const RunServices& services_;
  const RunOptions& options_;
  ProjectGuard guard_;
  int16_t from_type_ = 0;
  int16_t to_type_ = 0;
  Project listed_;  // what the project file lists
  // A run of its own stages here; one project of a unit, in the unit's.
  Staging own_staging_;
  RunChanges changes_;
  std::string failure_reason_;
  RunResult result_;
  std::shared_ptr<IdeProject> project_;
  std::string file_name_;
  int saved_pointer_ = 0;
  // The files the project lists as forms, once asked.
  std::set<FileIdentity> listed_form_ids_;
  bool listed_forms_known_ = false;
};

RunResult ProjectConversion::Run() {
  Steps();
  // Whatever a run of its own did not commit goes here, at its one exit.
  if (!options_.unit) AddLeftovers(own_staging_.Discard());
  return result_;
}

void ProjectConversion::Steps() {
  if (!Prepare() || !BeginStaging() || !ConvertComponents()) return;
  if (UsesAnotherSource()) {
    Refuse();
    return;
  }
  bool project_changed = false;
  for (const FileOutcome& file : result_.files) project_changed |= file.result == kChanged;
  // A file another project converted first still needs this project's
  // reference moved.
  bool shared_converted = !project_changed && AnyFileUsesTarget();
  if (!project_changed && !shared_converted) {
    NothingToConvert();
    return;
  }
  if (RewriteTheProjectFile(project_changed) && !StopIfInterrupted()) Commit();
}

// Everything before the work: the project, its lock, its unsaved changes,
// its file and the types. False when the run ends there.
bool ProjectConversion::Prepare() {
  project_ = Ask([&] { return ide_.ActiveProject(); }, std::shared_ptr<IdeProject>());
  if (project_) file_name_ = Ask([&] { return project_->FileName(); }, std::string());
  if (!LockAndRecover()) return false;
  if (HasUnsavedChanges()) {
    result_.outcome = RunOutcome::kUnsaved;
    result_.message = kUnsavedMessage;
    Tell([&] { services_.ui.MessageBox(kUnsavedMessage, kStyleWarning); });
    return false;
  }
  // A project file that cannot be read would lose its modules from the run
  // and still report success: refuse it instead.
  std::string problem;
  if (!ReadProject(file_name_, services_.resolver, &listed_, &problem)) {
    if (StopIfInterrupted()) return false;
    result_.outcome = RunOutcome::kFailed;
    result_.failure_reason = problem;
    result_.message = kErrorMessagePrefix + file_name_;
    Tell([&] { services_.ui.MessageBox(result_.message, kStyleWarning); });
    return false;
  }
  Tell([&] { services_.dialog.ShowModal(&from_type_, &to_type_); });
  result_.from_type = from_type_;
  result_.to_type = to_type_;
  if (from_type_ == 0 || to_type_ == 0) {
    result_.outcome = RunOutcome::kCancelled;
    return false;
  }
  saved_pointer_ = Ask([&] { return services_.ui.MousePointer(); }, 0);
  Tell([&] { services_.ui.SetMousePointer(kHourglassPointer); });
  Tell([&] { services_.status.Show(); });
  return true;
}

// False when the run ends with it.
bool ProjectConversion::RewriteTheProjectFile(bool project_changed) {
  FileWork work(staging());
  int16_t r = RewriteProjectFile(work, listed_, from_type_, to_type_);
  changes_.Add(work.result);
  if (r == kUnchanged && !project_changed) {
    NothingToConvert();
    return false;
  }
  result_.files.push_back({"project", file_name_, "", r, work.result.failure_reason});
  if (r != kFailed) return true;
  Fail(work.result.failure_reason);
  if (!StopIfInterrupted()) FailWith(file_name_);
  return false;
}

// A run that will commit holds the files its project lists and journals
// them before it writes a copy beside any of them.
bool ProjectConversion::BeginStaging() {
  if (options_.dry_run && options_.copies_unread && !options_.unit) own_staging_.WriteNoCopies();
  if (options_.unit || options_.dry_run || file_name_.empty()) return true;
  if (options_.threads == Threads::kTwo) own_staging_.SealEarlyFrom(1);
  if (own_staging_.Begin({file_name_}, services_.resolver, options_.hold)) return true;
  AddLeftovers(own_staging_.leftovers());
  if (StopIfInterrupted()) return false;
  Fail(own_staging_.failure_reason());
  if (!own_staging_.busy()) {
    FailWith(file_name_);
    return false;
  }
  result_.failure_reason = own_staging_.failure_reason();
  Finish(RunOutcome::kBusy, own_staging_.failure_reason(), kStyleWarning);
  return false;
}

// Keeps other runs off the project, and finishes or undoes a commit that a
// crash cut short before anything reads the project's files.
bool ProjectConversion::LockAndRecover() {
  if (options_.project_locked || file_name_.empty()) return true;
  GuardResult guard = guard_.Take(file_name_, services_.resolver, options_.dry_run);
  AddLeftovers(guard.leftovers);
  if (!guard.ok) {
    result_.outcome = guard.busy ? RunOutcome::kBusy : RunOutcome::kFailed;
    result_.failure_reason = result_.message = guard.problem;
    Tell([&] { services_.ui.MessageBox(guard.problem, kStyleWarning); });
    return false;
  }
  if (!guard.recovered.empty())
    Tell([&] { services_.ui.MessageBox(guard.recovered, kStyleInformation); });
  return true;
}

bool ProjectConversion::HasUnsavedChanges() {
  if (!project_) return false;
  if (Ask([&] { return project_->IsDirty(); }, false)) return true;
  auto components =
      Ask([&] { return project_->Components(); }, std::vector<std::shared_ptr<IdeComponent>>());
  for (const auto& component : components) {
    if (Ask([&] { return component->IsDirty(); }, false)) return true;
  }
  return false;
}

bool ProjectConversion::AnyFileUsesTarget() const {
  for (const FileOutcome& file : result_.files) {
    if (UsesTargetType(file.path, from_type_, to_type_)) return true;
  }
  return false;
}

std::set<int16_t> ProjectConversion::ReferencedTypes() const {
  std::set<int16_t> referenced = listed_.references;
  referenced.insert(changes_.form_references.begin(), changes_.form_references.end());
  return referenced;
}

// The project names another old library and not the source, and no binary
// record of the source changes: the source is not the project's, and
// converting from it would rename blocks and code but leave the records and
// the reference as they are.
bool ProjectConversion::UsesAnotherSource() const {
  std::set<int16_t> referenced = ReferencedTypes();
  if (referenced.count(from_type_) || changes_.records_changed) return false;
  bool another = std::any_of(referenced.begin(), referenced.end(),
                             [&](int16_t p) { return p != from_type_ && p != to_type_; });
  bool text_changes = std::any_of(result_.files.begin(), result_.files.end(),
                                  [](const FileOutcome& file) { return file.result == kChanged; });
  return another && text_changes;
}

void ProjectConversion::Refuse() {
  std::string named;
  for (int16_t p : ReferencedTypes()) {
    if (p == to_type_) continue;
    named += (named.empty() ? "" : ", ") + GridCatalogue().Item(p).OCXFileName();
  }
  result_.failure_reason =
      file_name_ + ": the project references " + named + ", not " +
      GridCatalogue().Item(from_type_).OCXFileName() +
      ", and none of its binary records is of that type: converting it from that type would "
      "change its text only. Nothing was changed.";
  Finish(RunOutcome::kRefused, result_.failure_reason, kStyleWarning);
}

void ProjectConversion::NothingToConvert() {
  Finish(RunOutcome::kNothingToConvert, kNothingToConvertMessage, kStyleInformation);
}

bool ProjectConversion::IsListedForm(const std::string& path) {
  if (!listed_forms_known_) {
    for (const std::string& listed : listed_.FormLikeFiles()) {
      PathStatus status;
      if (!Files().Status(listed, &status) && status.exists)
        listed_form_ids_.insert(FileIdentityOf(status));
    }
    listed_forms_known_ = true;
  }
  PathStatus status;
  if (path.empty() || Files().Status(path, &status) || !status.exists) return false;
  return listed_form_ids_.count(FileIdentityOf(status)) > 0;
}

std::vector<FileJob> ProjectConversion::FormJobs() {
  std::vector<FileJob> jobs;
  if (!project_) return jobs;
  auto components =
      Ask([&] { return project_->Components(); }, std::vector<std::shared_ptr<IdeComponent>>());
  for (const auto& component : components) {
    int count = Ask([&] { return component->FileCount(); }, 0);
    if (count < 1) continue;
    std::string form = Ask([&] { return component->FileNames(0); }, std::string());
    // A form without its side file is converted too (its text only); a
    // module has one file as well, but the project lists it as a module.
    if (count == 1 && !IsListedForm(form)) continue;
    std::string binary =
        count > 1 ? Ask([&] { return component->FileNames(1); }, std::string()) : std::string();
    std::string name = options_.progress_by_path
                           ? Shown(form)
                           : Ask([&] { return component->Name(); }, std::string());
    jobs.push_back({"form", form, binary, name});
  }
  return jobs;
}

// Hears each file as it is begun and as its result is handed on, in order.
FileJobHooks ProjectConversion::Hooks(std::string* failed) {
  FileJobHooks hooks;
  hooks.stop_requested = [] { return InterruptRequested(); };
  hooks.started = [this](const FileJob& job) {
    Announce(RunEvent{RunEvent::Kind::kFileStarted, job.kind, job.path, job.shown, 0});
    ShowStatus(Migrating(job.shown));
  };
  hooks.finished = [this, failed](const FileJob& job, const FileResult& file) {
    changes_.Add(file);
    Announce(RunEvent{RunEvent::Kind::kFileConverted, job.kind, job.path, job.shown, file.result});
    if (file.result == kFailed) {
      Fail(file.failure_reason);
      *failed = job.path;
      return false;
    }
    if (options_.unit) options_.unit->Converted(job.path, file.result);
    if (file.result == kChanged) ShowStatus(Migrating(job.shown) + kDone);
    return true;
  };
  return hooks;
}

bool ProjectConversion::ConvertComponents() {
  std::vector<FileJob> jobs = FormJobs();
  for (const std::string& path : listed_.CodeFiles())
    jobs.push_back({"module", path, "", Shown(path)});
  // Files an earlier project of the unit converted keep their place among
  // the outcomes, with that project's result.
  std::vector<std::optional<int16_t>> earlier(jobs.size());
  std::vector<FileJob> to_convert;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (options_.unit) earlier[i] = options_.unit->ConvertedBefore(jobs[i].path);
    if (!earlier[i]) to_convert.push_back(jobs[i]);
  }
  std::string failed;
  std::vector<FileResult> results =
      ConvertFiles(staging(), from_type_, to_type_, to_convert, Hooks(&failed), options_.threads);
  for (size_t i = 0, next = 0; i < jobs.size(); ++i) {
    const FileJob& job = jobs[i];
    if (earlier[i]) {
      result_.files.push_back({job.kind, job.path, job.binary, *earlier[i], ""});
    } else if (next < results.size()) {
      const FileResult& file = results[next++];
      result_.files.push_back({job.kind, job.path, job.binary, file.result, file.failure_reason});
    }
  }
  if (StopIfInterrupted()) return false;
  // A file left unconverted without a failure told is never a success.
  if (failed.empty() && results.size() < to_convert.size()) {
    failed = to_convert[results.size()].path;
    Fail(failed + ": was not converted");
  }
  if (!failed.empty()) {
    FailWith(failed);
    return false;
  }
  return true;
}

void ProjectConversion::AddLeftovers(const std::vector<std::string>& leftovers) {
  result_.leftovers.insert(result_.leftovers.end(), leftovers.begin(), leftovers.end());
}

void ProjectConversion::Finish(RunOutcome outcome, const std::string& message, int style) {
  result_.outcome = outcome;
  result_.message = message;
  result_.referenced_types = ReferencedTypes();
  result_.changed_lines = changes_.changed_lines;
  result_.guid_replacements = changes_.guid_replacements;
  result_.counts = changes_.counts;
  Tell([&] { services_.status.Hide(); });
  Tell([&] { services_.ui.SetMousePointer(saved_pointer_); });
  if (!message.empty()) Tell([&] { services_.ui.MessageBox(message, style); });
}

void ProjectConversion::FailWith(const std::string& path) {
  result_.failure_reason = failure_reason_.empty() ? path + ": conversion failed" : failure_reason_;
  Finish(RunOutcome::kFailed, kErrorMessagePrefix + path, kStyleWarning);
}

// Before the commit, a request to stop ends the run with every copy deleted.
// A converter cut short by it fails; that too counts as the interrupt.
bool ProjectConversion::StopIfInterrupted() {
  if (!InterruptRequested()) return false;
  Finish(RunOutcome::kInterrupted, "", kStyleInformation);
  return true;
}

// False, with the run ended, when a hook stops it before its commit.
bool ProjectConversion::HooksAllowCommit() {
  if (options_.refuse_commit) {
    if (std::string reason = options_.refuse_commit(changes_); !reason.empty()) {
      result_.failure_reason = reason;
      Finish(RunOutcome::kRefused, reason, kStyleWarning);
      return false;
    }
  }
  std::string failed_file, reason;
  if (options_.before_commit && !options_.before_commit(changes_, &failed_file, &reason)) {
    Fail(reason);
    FailWith(failed_file);
    return false;
  }
  return true;
}

void ProjectConversion::Commit() {
  if (options_.unit) {
    if (StopIfInterrupted() || (!options_.dry_run && !HooksAllowCommit())) return;
    staging().Ready(changes_.copies);
    Finish(RunOutcome::kConverted, "", kStyleInformation);
    result_.message = kConvertedMessage;
    return;
  }
  if (options_.dry_run) {
    // The preview comes first: it is wanted most when the commit would fail.
    if (options_.preview) options_.preview(changes_);
    if (CommitOutcome check = CheckCommit(changes_.copies); !check.ok) {
      Fail(check.reason);
      FailWith(check.failed_file);
      return;
    }
    Finish(RunOutcome::kConverted, "", kStyleInformation);
    result_.message = kConvertedMessage;
    return;
  }
  if (!HooksAllowCommit()) return;
  // From here on the commit runs to its end or rolls back, whatever is asked.
  own_staging_.FinishSeals();
  if (StopIfInterrupted()) return;
  own_staging_.Ready(changes_.copies);
  CommitOutcome committed = own_staging_.Commit();
  result_.replaced = committed.replaced;
  result_.unchanged = committed.unchanged;
  AddLeftovers(committed.leftovers);
  if (!committed.ok) {
    Fail(committed.reason);
    FailWith(committed.failed_file);
    return;
  }
  Tell([&] { ide_.LoadProject(file_name_); });
  Finish(RunOutcome::kConverted, kConvertedMessage, kStyleInformation);
}

}  // namespace

RunResult ConvertProject(IdeApplication& vb_inst, const RunServices& services,
                         const RunOptions& options) {
  ProjectConversion conversion(vb_inst, services, options);
  return conversion.Run();
}

}  // namespace vireo
