// One whole conversion run over the host IDE's active project: the unsaved
// changes check, the dialog, every form, code module and class, the project
// file, then commit or discard, the reload request and the outcome message.
#pragma once

#include <string>

#include "host/ide.h"
#include "host/path_resolver.h"
#include "host/user_interface.h"

namespace vireo {

// What the run reaches the outside through.
struct RunServices {
  UserInterface& ui;
  ConvertDialog& dialog;
  StatusWindow& status;
  const PathResolver& resolver;
};

enum class RunOutcome { kConverted, kNothingToConvert, kFailed, kUnsaved, kCancelled };

struct RunResult {
  RunOutcome outcome = RunOutcome::kCancelled;
  std::string message;         // the outcome's message box text, if any
  std::string failure_reason;  // one line naming the file and the problem
};

RunResult ConvertProject(IdeApplication& vb_inst, const RunServices& services);

}  // namespace vireo
