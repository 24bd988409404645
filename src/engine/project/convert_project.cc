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
#include "engine/project/project_file.h"
#include "engine/project/project_guard.h"
#include "engine/project/target_use.h"
#include "engine/project/temp_files.h"

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
  bool LockAndRecover();
  bool HasUnsavedChanges();
  std::vector<FileJob> FormJobs();
  bool ConvertComponents();
  bool IsListedForm(const std::string& path);
  bool AnyFileUsesTarget() const;
  std::set<int16_t> ReferencedTypes() const;
  bool UsesAnotherSource() const;
  RunResult Refuse();
  RunResult NothingToConvert();
  void Finish(RunOutcome outcome, const std::string& message, int style);
  void FailWith(const std::string& path);
  bool StopIfInterrupted();
  void Commit();
  void AddLeftovers(const std::vector<std::string>& leftovers);
  // A converter's reason travels with its result code.
  std::string ReasonFor(int16_t result) const {
    return result == kFailed ? run_.failure_reason : std::string();
  }
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
  ConversionRun run_;
  RunResult result_;
  std::shared_ptr<IdeProject> project_;
  std::string file_name_;
  int saved_pointer_ = 0;
  ProjectGuard guard_;
  // The files the project lists as forms, by (device, file id), once asked.
  std::set<std::pair<uint64_t, uint64_t>> listed_form_ids_;
  bool listed_forms_known_ = false;
};

RunResult ProjectConversion::Run() {
  project_ = Ask([&] { return ide_.ActiveProject(); }, std::shared_ptr<IdeProject>());
  if (project_) file_name_ = Ask([&] { return project_->FileName(); }, std::string());
  if (!LockAndRecover()) return result_;
  if (HasUnsavedChanges()) {
    result_.outcome = RunOutcome::kUnsaved;
    result_.message = kUnsavedMessage;
    Tell([&] { services_.ui.MessageBox(kUnsavedMessage, kStyleWarning); });
    return result_;
  }
  run_.ModuleFiles.clear();
  // A project file that cannot be read would lose its modules from the run
  // and still report success: refuse it instead.
  if (!ScanProjectFile(run_, file_name_, services_.resolver)) {
    if (StopIfInterrupted()) return result_;
    result_.outcome = RunOutcome::kFailed;
    result_.failure_reason = run_.failure_reason;
    result_.message = kErrorMessagePrefix + file_name_;
    Tell([&] { services_.ui.MessageBox(result_.message, kStyleWarning); });
    return result_;
  }
  Tell([&] { services_.dialog.ShowModal(&run_.FromType, &run_.ToType); });
  result_.from_type = run_.FromType;
  result_.to_type = run_.ToType;
  if (run_.FromType == 0 || run_.ToType == 0) {
    result_.outcome = RunOutcome::kCancelled;
    return result_;
  }
  saved_pointer_ = Ask([&] { return services_.ui.MousePointer(); }, 0);
  Tell([&] { services_.ui.SetMousePointer(kHourglassPointer); });
  Tell([&] { services_.status.Show(); });

  if (options_.unit) {
    options_.unit->Join(run_);
  } else if (!options_.dry_run && !file_name_.empty() &&
             !BeginStaging(run_, file_name_, services_.resolver, options_.hold)) {
    if (StopIfInterrupted()) return result_;
    if (!run_.busy) {
      FailWith(file_name_);
      return result_;
    }
    result_.failure_reason = run_.failure_reason;
    AddLeftovers(DiscardTempFiles(run_));
    Finish(RunOutcome::kBusy, run_.failure_reason, kStyleWarning);
    return result_;
  }
  if (!ConvertComponents()) return result_;
  if (UsesAnotherSource()) return Refuse();
  bool project_changed = false;
  for (const FileOutcome& file : result_.files) project_changed |= file.result == kChanged;
  // A file another project converted first still needs this project's
  // reference moved.
  bool shared_converted = !project_changed && AnyFileUsesTarget();
  if (!project_changed && !shared_converted) return NothingToConvert();
  int16_t r = RewriteProjectFile(run_, file_name_, run_.FromType, run_.ToType);
  if (r == kUnchanged && !project_changed) return NothingToConvert();
  result_.files.push_back({"project", file_name_, "", r, ReasonFor(r)});
  if (r == kFailed) {
    if (!StopIfInterrupted()) FailWith(file_name_);
    return result_;
  }
  if (StopIfInterrupted()) return result_;
  Commit();
  return result_;
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
    if (UsesTargetType(file.path, run_.FromType, run_.ToType)) return true;
  }
  return false;
}

std::set<int16_t> ProjectConversion::ReferencedTypes() const {
  std::set<int16_t> referenced = run_.project_references;
  referenced.insert(run_.form_references.begin(), run_.form_references.end());
  return referenced;
}

// The project names another old library and not the source, and no binary
// record of the source changes: the source is not the project's, and
// converting from it would rename blocks and code but leave the records and
// the reference as they are.
bool ProjectConversion::UsesAnotherSource() const {
  std::set<int16_t> referenced = ReferencedTypes();
  if (referenced.count(run_.FromType) || !run_.binary_files_changed.empty()) return false;
  bool another = std::any_of(referenced.begin(), referenced.end(),
                             [&](int16_t p) { return p != run_.FromType && p != run_.ToType; });
  bool text_changes = std::any_of(result_.files.begin(), result_.files.end(),
                                  [](const FileOutcome& file) { return file.result == kChanged; });
  return another && text_changes;
}

RunResult ProjectConversion::Refuse() {
  std::string named;
  for (int16_t p : ReferencedTypes()) {
    if (p == run_.ToType) continue;
    named += (named.empty() ? "" : ", ") + GridCatalogue().Item(p).OCXFileName();
  }
  result_.failure_reason =
      file_name_ + ": the project references " + named + ", not " +
      GridCatalogue().Item(run_.FromType).OCXFileName() +
      ", and none of its binary records is of that type: converting it from that type would "
      "change its text only. Nothing was changed.";
  AddLeftovers(DiscardTempFiles(run_));
  Finish(RunOutcome::kRefused, result_.failure_reason, kStyleWarning);
  return result_;
}

RunResult ProjectConversion::NothingToConvert() {
  AddLeftovers(DiscardTempFiles(run_));
  Finish(RunOutcome::kNothingToConvert, kNothingToConvertMessage, kStyleInformation);
  return result_;
}

bool ProjectConversion::IsListedForm(const std::string& path) {
  if (!listed_forms_known_) {
    for (const std::string& listed : run_.listed_forms) {
      PathStatus status;
      if (!Files().Status(listed, &status) && status.exists)
        listed_form_ids_.insert({status.device, status.file_id});
    }
    listed_forms_known_ = true;
  }
  PathStatus status;
  if (path.empty() || Files().Status(path, &status) || !status.exists) return false;
  return listed_form_ids_.count({status.device, status.file_id}) > 0;
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

bool ProjectConversion::ConvertComponents() {
  std::vector<FileJob> jobs = FormJobs();
  for (const std::string& path : run_.ModuleFiles)
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
  std::vector<FileOutcome> converted;
  FileJobHooks hooks;
  hooks.stop_requested = [] { return InterruptRequested(); };
  hooks.started = [&](const FileJob& job) {
    Announce(RunEvent{RunEvent::Kind::kFileStarted, job.kind, job.path, job.shown, 0});
    ShowStatus(Migrating(job.shown));
  };
  hooks.finished = [&](const FileJob& job, int16_t r) {
    converted.push_back({job.kind, job.path, job.binary, r, ReasonFor(r)});
    Announce(RunEvent{RunEvent::Kind::kFileConverted, job.kind, job.path, job.shown, r});
    if (r == kFailed) {
      failed = job.path;
      return false;
    }
    if (options_.unit) options_.unit->Converted(job.path, r);
    if (r == kChanged) ShowStatus(Migrating(job.shown) + kDone);
    return true;
  };
  ConvertFiles(run_, to_convert, hooks);
  for (size_t i = 0, next = 0; i < jobs.size(); ++i) {
    if (earlier[i]) {
      result_.files.push_back({jobs[i].kind, jobs[i].path, jobs[i].binary, *earlier[i], ""});
    } else if (next < converted.size()) {
      result_.files.push_back(converted[next++]);
    }
  }
  if (StopIfInterrupted()) return false;
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
  result_.changed_lines = run_.changed_lines;
  result_.guid_replacements = run_.guid_replacements;
  Tell([&] { services_.status.Hide(); });
  Tell([&] { services_.ui.SetMousePointer(saved_pointer_); });
  if (!message.empty()) Tell([&] { services_.ui.MessageBox(message, style); });
}

void ProjectConversion::FailWith(const std::string& path) {
  result_.failure_reason =
      run_.failure_reason.empty() ? path + ": conversion failed" : run_.failure_reason;
  AddLeftovers(DiscardTempFiles(run_));
  Finish(RunOutcome::kFailed, kErrorMessagePrefix + path, kStyleWarning);
}

// Before the commit, a request to stop ends the run with every copy deleted.
// A converter cut short by it fails; that too counts as the interrupt.
bool ProjectConversion::StopIfInterrupted() {
  if (!InterruptRequested()) return false;
  auto leftovers = DiscardTempFiles(run_);
  result_.leftovers.insert(result_.leftovers.end(), leftovers.begin(), leftovers.end());
  Finish(RunOutcome::kInterrupted, "", kStyleInformation);
  return true;
}

void ProjectConversion::Commit() {
  if (options_.unit) {
    if (StopIfInterrupted()) return;
    options_.unit->Take(run_);
    Finish(RunOutcome::kConverted, "", kStyleInformation);
    result_.message = kConvertedMessage;
    return;
  }
  if (options_.dry_run) {
    // The preview comes first: it is wanted most when the commit would fail.
    if (options_.preview) options_.preview(run_);
    if (CommitOutcome check = CheckCommit(run_); !check.ok) {
      run_.Fail(check.reason);
      FailWith(check.failed_file);
      return;
    }
    AddLeftovers(DiscardTempFiles(run_));
    Finish(RunOutcome::kConverted, "", kStyleInformation);
    result_.message = kConvertedMessage;
    return;
  }
  std::string failed_file, reason;
  if (options_.before_commit && !options_.before_commit(run_, &failed_file, &reason)) {
    run_.Fail(reason);
    FailWith(failed_file);
    return;
  }
  // From here on the commit runs to its end or rolls back, whatever is asked.
  if (StopIfInterrupted()) return;
  CommitOutcome committed = CommitTempFiles(run_, JournalPathFor(file_name_));
  result_.replaced = committed.replaced;
  result_.unchanged = committed.unchanged;
  AddLeftovers(committed.leftovers);
  if (!committed.ok) {
    run_.Fail(committed.reason);
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
