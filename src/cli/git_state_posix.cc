#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "cli/git_query.h"

namespace vireo {
namespace {

// Drains both pipes as either has something, so that git never waits on a
// full pipe that is not being read.
void Drain(int out_fd, int err_fd, GitRun* run) {
  char buffer[4096];
  pollfd pipes[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* texts[2] = {&run->out, &run->err};
  for (int open = 2; open > 0;) {
    if (::poll(pipes, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (pipes[i].fd < 0 || !pipes[i].revents) continue;
      ssize_t n = ::read(pipes[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        texts[i]->append(buffer, static_cast<size_t>(n));
        continue;
      }
      ::close(pipes[i].fd);
      pipes[i].fd = -1;
      --open;
    }
  }
  for (const pollfd& pipe : pipes) {
    if (pipe.fd >= 0) ::close(pipe.fd);
  }
}

std::vector<std::string> GitEnvironment() {
  const char* path = std::getenv("PATH");
  std::vector<std::string> environment = GitSettingsEnvironment("/nonexistent");
  environment.push_back("PATH=" + std::string(path ? path : "/usr/bin:/bin"));
  return environment;
}

}  // namespace

const char kNullFile[] = "/dev/null";

std::filesystem::path NameOnDisk(const std::filesystem::path& path) { return path.filename(); }

std::string FindGit() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    // A relative entry (empty is ".") is read in whatever folder we run
    // in, a project's maybe: a git there is never run.
    if (folder.empty() || folder.front() != '/') continue;
    std::string candidate = folder + "/git";
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

GitRun RunGit(const std::string& git, const std::string& work_tree,
              const std::vector<std::string>& arguments) {
  std::vector<std::string> words{"git", "-C", work_tree};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = GitEnvironment();
  std::vector<char*> argv, envp;
  for (std::string& word : words) argv.push_back(word.data());
  for (std::string& entry : environment) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  GitRun run;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return run;
  }
  pid_t child = ::fork();
  if (child == 0) {
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(git.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (child < 0) {
    ::close(out[0]);
    ::close(err[0]);
    return run;
  }
  Drain(out[0], err[0], &run);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace vireo
