#include "testing/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(&s[0]);
  pointers.push_back(nullptr);
  return pointers;
}

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Reads both pipes until they close or the deadline passes.
bool Drain(int out_fd, int err_fd, std::string* out, std::string* err, long long deadline) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_count = (out_fd >= 0) + (err_fd >= 0);
  while (open_count > 0) {
    const long long left = deadline - NowMs();
    if (left <= 0) {
      for (pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
      }
      return false;
    }
    if (poll(fds, 2, static_cast<int>(left)) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.push_back(*entry);
  return entries;
}

void SetEnvVariable(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvVariable(const std::string& name) { unsetenv(name.c_str()); }

const char* AlwaysFullFile() { return "/dev/full"; }

std::string MakeScratchFolder() {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                        "/dimmer-test-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) std::perror("mkdtemp");
  return pattern;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
  ProgramResult result;
  int out_pipe[2] = {-1, -1};
  int err_pipe[2];
  if ((options.stdout_path.empty() && pipe(out_pipe) != 0) || pipe(err_pipe) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (options.stdout_path.empty()) {
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, options.stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
    if (fd > 2) posix_spawn_file_actions_addclose(&actions, fd);
  }

  std::vector<std::string> args = argv;
  std::vector<std::string> environment = MergedEnvironment(options.environment);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr,
                                  Pointers(args).data(), Pointers(environment).data());
  posix_spawn_file_actions_destroy(&actions);
  if (out_pipe[1] >= 0) close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    if (out_pipe[0] >= 0) close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("cannot start ") + args[0] + ": " + std::strerror(spawned);
    return result;
  }

  const long long deadline = NowMs() + options.timeout_ms;
  if (!Drain(out_pipe[0], err_pipe[0], &result.out, &result.err, deadline)) {
    result.timed_out = true;
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}
