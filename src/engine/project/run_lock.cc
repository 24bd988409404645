#include "engine/project/run_lock.h"

#include <mutex>
#include <set>

#include "base/file_io.h"

namespace vireo {
namespace {

constexpr char kLockSuffix[] = ".vr5lock";

std::mutex held_mutex;
std::multiset<std::string>& HeldLocks() {
  static std::multiset<std::string> held;
  return held;
}

}  // namespace

RunLock::~RunLock() {
  if (handle_ < 0) return;
  {
    std::lock_guard<std::mutex> hold(held_mutex);
    auto found = HeldLocks().find(real_path_);
    if (found != HeldLocks().end()) HeldLocks().erase(found);
  }
  Files().Unlock(path_, handle_);
}

bool RunLock::HeldHere(const std::string& project_file) {
  std::string real;
  if (Files().RealPath(project_file + kLockSuffix, &real)) return false;
  std::lock_guard<std::mutex> hold(held_mutex);
  return HeldLocks().count(real) > 0;
}

bool RunLock::Acquire(const std::string& project_file, std::string* problem) {
  path_ = project_file + kLockSuffix;
  std::error_code error = Files().Lock(path_, &handle_);
  if (!error) {
    if (Files().RealPath(path_, &real_path_)) real_path_ = path_;
    std::lock_guard<std::mutex> hold(held_mutex);
    HeldLocks().insert(real_path_);
    return true;
  }
  handle_ = -1;
  busy_ = error == std::errc::resource_unavailable_try_again;
  *problem = busy_
                 ? project_file +
                       ": another conversion of this project is under way; try again "
                       "when it has finished"
                 : project_file + ": cannot take the lock " + path_ + " (" + Describe(error) + ")";
  return false;
}

}  // namespace vireo
