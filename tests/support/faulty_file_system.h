// A file system that passes everything to the real one, except the operation
// a test chooses to fail: the n-th operation, or every operation of one kind
// on a path that contains a given text. It can also ask the run to stop, as
// Ctrl-C would, just before a chosen operation, note where operations fall
// and which paths they name, and act just before an operation of one kind.
#pragma once

#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file_system.h"
#include "base/interrupt.h"

namespace vireo::testing {

class FaultyFileSystem final : public FileSystem {
 public:
  static constexpr int kCrashStatus = 77;

  FaultyFileSystem() : inner_(PlatformFileSystem()) {}

  // Fails the `nth` operation (1-based, counted from the start) with `error`.
  void FailNth(int nth, std::errc error) {
    fail_nth_ = nth;
    nth_error_ = error;
  }
  // Fails every `operation` (such as "Rename") whose path contains `fragment`.
  void FailWhen(std::string operation, std::string fragment, std::errc error) {
    fail_operation_ = std::move(operation);
    fail_fragment_ = std::move(fragment);
    when_error_ = error;
  }
  // Ends the process at once, before the `nth` operation is carried out.
  void CrashAt(int nth) { crash_at_ = nth; }
  // Requests an interrupt before the `nth` operation is carried out.
  void InterruptAt(int nth) { interrupt_at_ = nth; }
  // Notes where the operations of one kind on a path containing `fragment` fall.
  void Watch(std::string operation, std::string fragment) {
    watch_operation_ = std::move(operation);
    watch_fragment_ = std::move(fragment);
  }
  // The first and last watched operation (1-based), 0 when there was none.
  int first_watched() const { return first_watched_; }
  int last_watched() const { return last_watched_; }
  int operations() const { return count_; }
  int failures() const { return failures_; }
  // The kind of the operation that failed last ("" when none did).
  const std::string& last_failure() const { return last_failure_; }

  // Keeps every path an operation names (both of a rename or a link); an
  // open for reading is kept as "Read", one for writing as "Open".
  void Record() { recording_ = true; }
  // The kept operations on paths that begin with `prefix`, other than those
  // of the kinds `allowed`, as "Operation path".
  std::vector<std::string> Touches(const std::string& prefix,
                                   const std::set<std::string>& allowed) const {
    std::vector<std::string> found;
    for (const auto& [operation, path] : touches_) {
      if (path.compare(0, prefix.size(), prefix) == 0 && !allowed.count(operation))
        found.push_back(operation + " " + path);
    }
    return found;
  }
  // Runs `action` just before each `operation` (such as "Lock") is carried out.
  void Before(std::string operation, std::function<void()> action) {
    before_operation_ = std::move(operation);
    before_action_ = std::move(action);
  }

  std::error_code Open(const std::string& path, OpenFor how, FileHandle* file) override {
    Note(how == OpenFor::kRead ? "Read" : "Open", path);
    if (auto e = Check("Open", path)) return e;
    return inner_.Open(path, how, file);
  }
  std::error_code Read(FileHandle f, char* b, size_t n, size_t* got) override {
    if (auto e = Check("Read", "")) return e;
    return inner_.Read(f, b, n, got);
  }
  std::error_code ReadAt(FileHandle f, uint64_t o, char* b, size_t n, size_t* got) override {
    if (auto e = Check("ReadAt", "")) return e;
    return inner_.ReadAt(f, o, b, n, got);
  }
  std::error_code Write(FileHandle f, const char* d, size_t n) override {
    if (auto e = Check("Write", "")) return e;
    return inner_.Write(f, d, n);
  }
  std::error_code WriteAt(FileHandle f, uint64_t o, const char* d, size_t n) override {
    if (auto e = Check("WriteAt", "")) return e;
    return inner_.WriteAt(f, o, d, n);
  }
  std::error_code SizeOf(FileHandle f, uint64_t* size) override {
    if (auto e = Check("SizeOf", "")) return e;
    return inner_.SizeOf(f, size);
  }
  std::error_code Resize(FileHandle f, uint64_t size) override {
    if (auto e = Check("Resize", "")) return e;
    return inner_.Resize(f, size);
  }
  std::error_code SetPermissions(FileHandle f, uint32_t p) override {
    if (auto e = Check("SetPermissions", "")) return e;
    return inner_.SetPermissions(f, p);
  }
  std::error_code Sync(FileHandle f) override {
    if (auto e = Check("Sync", "")) return e;
    return inner_.Sync(f);
  }
  std::error_code Close(FileHandle f) override {
    // A close always releases the handle; a failure is reported after it.
    std::error_code e = inner_.Close(f);
    if (auto injected = Check("Close", "")) return injected;
    return e;
  }
  std::error_code Status(const std::string& path, PathStatus* status) override {
    Note("Status", path);
    if (auto e = Check("Status", path)) return e;
    return inner_.Status(path, status);
  }
  std::error_code ListDirectory(const std::string& d, std::vector<std::string>* n) override {
    Note("ListDirectory", d);
    if (auto e = Check("ListDirectory", d)) return e;
    return inner_.ListDirectory(d, n);
  }
  std::error_code Rename(const std::string& from, const std::string& to) override {
    Note("Rename", from);
    Note("Rename", to);
    if (auto e = Check("Rename", to)) return e;
    return inner_.Rename(from, to);
  }
  std::error_code Remove(const std::string& path) override {
    Note("Remove", path);
    if (auto e = Check("Remove", path)) return e;
    return inner_.Remove(path);
  }
  std::error_code Link(const std::string& existing, const std::string& link) override {
    Note("Link", existing);
    Note("Link", link);
    if (auto e = Check("Link", link)) return e;
    return inner_.Link(existing, link);
  }
  std::error_code RealPath(const std::string& path, std::string* real) override {
    Note("RealPath", path);
    if (auto e = Check("RealPath", path)) return e;
    return inner_.RealPath(path, real);
  }
  std::error_code CopyOwnership(const std::string& from, FileHandle to) override {
    Note("CopyOwnership", from);
    if (auto e = Check("CopyOwnership", from)) return e;
    return inner_.CopyOwnership(from, to);
  }
  std::error_code SyncDirectory(const std::string& d) override {
    Note("SyncDirectory", d);
    if (auto e = Check("SyncDirectory", d)) return e;
    return inner_.SyncDirectory(d);
  }
  std::error_code TempDirectory(std::string* d) override {
    if (auto e = Check("TempDirectory", "")) return e;
    return inner_.TempDirectory(d);
  }
  std::error_code CreateTempFile(const std::string& d, const std::string& p,
                                 std::string* path, FileHandle* file) override {
    Note("CreateTempFile", d + "/" + p);
    if (auto e = Check("CreateTempFile", d)) return e;
    return inner_.CreateTempFile(d, p, path, file);
  }
  std::error_code Lock(const std::string& path, FileHandle* lock) override {
    Note("Lock", path);
    if (auto e = Check("Lock", path)) return e;
    return inner_.Lock(path, lock);
  }
  void Unlock(const std::string& path, FileHandle lock) override {
    Note("Unlock", path);
    inner_.Unlock(path, lock);
  }
  std::error_code Hold(const std::string& path, FileHandle* hold) override {
    Note("Hold", path);
    if (auto e = Check("Hold", path)) return e;
    return inner_.Hold(path, hold);
  }
  std::error_code CreateSiblingFile(const std::string& near, const std::string& tag,
                                    std::string* path, FileHandle* file) override {
    Note("CreateSiblingFile", near);
    if (auto e = Check("CreateSiblingFile", near)) return e;
    return inner_.CreateSiblingFile(near, tag, path, file);
  }

 private:
  // Converters on two threads reach the file system at once.
  std::error_code Check(const std::string& operation, const std::string& path) {
    if (before_action_ && operation == before_operation_) before_action_();
    std::lock_guard lock(mutex_);
    ++count_;
    if (count_ == crash_at_) std::_Exit(kCrashStatus);
    if (count_ == interrupt_at_) RequestInterrupt();
    if (operation == watch_operation_ && path.find(watch_fragment_) != std::string::npos) {
      if (!first_watched_) first_watched_ = count_;
      last_watched_ = count_;
    }
    if (count_ == fail_nth_) {
      ++failures_;
      last_failure_ = operation;
      return std::make_error_code(nth_error_);
    }
    if (!fail_operation_.empty() && operation == fail_operation_ &&
        path.find(fail_fragment_) != std::string::npos) {
      ++failures_;
      last_failure_ = operation;
      return std::make_error_code(when_error_);
    }
    return {};
  }

  void Note(const char* operation, const std::string& path) {
    if (!recording_) return;
    std::lock_guard lock(mutex_);
    touches_.emplace_back(operation, path);
  }

  FileSystem& inner_;
  std::mutex mutex_;
  int count_ = 0;
  int failures_ = 0;
  std::string last_failure_;
  int fail_nth_ = -1;
  int crash_at_ = -1;
  int interrupt_at_ = -1;
  std::string watch_operation_;
  std::string watch_fragment_;
  int first_watched_ = 0;
  int last_watched_ = 0;
  std::errc nth_error_ = std::errc::io_error;
  std::string fail_operation_;
  std::string fail_fragment_;
  std::errc when_error_ = std::errc::io_error;
  bool recording_ = false;
  std::vector<std::pair<std::string, std::string>> touches_;
  std::string before_operation_;
  std::function<void()> before_action_;
};

}  // namespace vireo::testing
