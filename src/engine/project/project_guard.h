// What every run does before it reads a project: it takes the project's run
// lock and settles a commit that a crash cut short. A dry run changes
// nothing: it recovers nothing, refuses while a journal waits, and goes on
// without a lock where none can be made (a read-only project).
#pragma once

#include <string>
#include <vector>

#include "engine/project/run_lock.h"
#include "host/path_resolver.h"

namespace vireo {

struct GuardResult {
  bool ok = true;
  bool no_lock = false;       // the lock could not be taken
  bool busy = false;          // ... because another run holds the project
  std::string problem;        // why the run must not go on, naming the file
  std::string recovered;      // what recovery did, when it did something
  std::vector<std::string> leftovers;  // files recovery could not delete
};

class ProjectGuard {
 public:
  // Held until the guard goes.
  GuardResult Take(const std::string& project_file, const PathResolver& resolver, bool dry_run);

 private:
  RunLock lock_;
};

}  // namespace vireo
