// The least a crash-safe rewrite of some files can cost on this machine: the
// yardstick the tool's own commit is measured against (benchmarks/vs_copy,
// benchmarks/batch_vs_copy).
//
// Rewrites every file named in LIST (one absolute path per line) with the
// same guarantees the tool gives: a journal naming the files is synced
// before any copy is written and again before the first rename; each new
// copy is written beside its original, sealed with the original's owner and
// mode, its writeback started as it is written (sync_file_range) and then
// synced from a pool of threads; the old bytes are kept by a hard link until
// the renames and their folders are durable; then the old files are freed and
// the journal goes. The new content is the old content: what is measured is
// the writing, not a conversion.
//
//     durable_floor [--threads N] [--no-writeback] LIST
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "durable_floor: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/')); }
std::string Beside(const std::string& path, const char* tag) {
  size_t slash = path.rfind('/');
  return path.substr(0, slash + 1) + "." + path.substr(slash + 1) + tag;
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 || ::fsync(fd) != 0) Die(folder);
  ::close(fd);
}

void WriteJournal(const std::string& journal, const std::vector<std::string>& files,
                  const char* state) {
  std::string text = std::string(state) + "\n";
  for (const std::string& file : files) text += file + "\n";
  int fd = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      ::fsync(fd) != 0)
    Die(journal);
  ::close(fd);
}

// Writes the new copy beside `original` and returns it open.
int WriteCopy(const std::string& original, bool writeback) {
  int in = ::open(original.c_str(), O_RDONLY);
  if (in < 0) Die(original);
  struct stat st;
  if (::fstat(in, &st) != 0) Die(original);
  std::string copy = Beside(original, ".floor-new");
  int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (out < 0) Die(copy);
  if (::fchown(out, st.st_uid, st.st_gid) != 0 && errno != EPERM) Die(copy);
  if (::fchmod(out, st.st_mode & 07777) != 0) Die(copy);
  static thread_local std::vector<char> buffer(256 * 1024);
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0) Die(original);
    if (got == 0) break;
    if (::write(out, buffer.data(), static_cast<size_t>(got)) != got) Die(copy);
  }
  ::close(in);
  if (writeback && ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE) != 0) Die(copy);
  return out;
}

// Whether the process may hold `wanted` open files, raising its limit as
// far as it may.
bool RaiseOpenFileLimit(size_t wanted) {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, wanted);
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

template <typename Work>
void OnThreads(size_t count, int threads, Work work) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) work(i);
    });
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 16;  // the fastest here of 4, 8, 16 and 64, by a little
  bool writeback = true;
  std::string list;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--threads" && i + 1 < argc) {
      threads = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--no-writeback") {
      writeback = false;
    } else {
      list = arg;
    }
  }
  if (list.empty()) {
    std::fprintf(stderr, "usage: durable_floor [--threads N] [--no-writeback] LIST\n");
    return 2;
  }
  std::vector<std::string> files;
  std::ifstream in(list);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) files.push_back(line);
  }
  if (files.empty()) return 0;
  std::set<std::string> folders;
  for (const std::string& file : files) folders.insert(Folder(file));
  const std::string journal = Folder(files.front()) + "/.floor-journal";

  WriteJournal(journal, files, "staging");
  SyncFolder(Folder(journal));
  // Each copy stays open until it is synced where the process may hold that
  // many files; past that it is closed when written and opened again.
  bool keep_open = RaiseOpenFileLimit(files.size() + 64);
  std::vector<int> copies(files.size(), -1);
  for (size_t i = 0; i < files.size(); ++i) {
    int copy = WriteCopy(files[i], writeback);
    if (keep_open) {
      copies[i] = copy;
    } else {
      ::close(copy);
    }
  }
  OnThreads(files.size(), threads, [&](size_t i) {
    int copy = copies[i];
    if (copy < 0) copy = ::open(Beside(files[i], ".floor-new").c_str(), O_RDONLY);
    if (copy < 0 || ::fsync(copy) != 0) Die(files[i]);
    ::close(copy);
  });
  for (const std::string& file : files) {
    if (::link(file.c_str(), Beside(file, ".floor-old").c_str()) != 0) Die(file);
  }
  WriteJournal(journal, files, "committing");
  for (const std::string& file : files) {
    if (::rename(Beside(file, ".floor-new").c_str(), file.c_str()) != 0) Die(file);
  }
  for (const std::string& folder : folders) SyncFolder(folder);
  for (const std::string& file : files) {
    if (::unlink(Beside(file, ".floor-old").c_str()) != 0) Die(file);
  }
  if (::unlink(journal.c_str()) != 0) Die(journal);
  return 0;
}
