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

bool ClosedStreamNumbersAreReused() { return true; }

std::string MakeScratchFolder() {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                        "/dimmer-test-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) std::perror("mkdtemp");
  return pattern;
}

namespace {

// Gives the child `stream` as its descriptor `fd`. Ends of pipes that the
// child takes are added to `child_ends`; a captured stream's reading end is
// put in `read_end`.
bool SetUpStream(Stream stream, int fd, posix_spawn_file_actions_t* actions, int* read_end,
                 std::vector<int>* child_ends) {
  if (stream == Stream::kClosed) return posix_spawn_file_actions_addclose(actions, fd) == 0;
  int ends[2];
  // Close-on-exec, so that programs started at the same time from other
  // threads do not hold them open.
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  if (stream == Stream::kBrokenPipe) {
    close(ends[0]);
  } else {
    *read_end = ends[0];
  }
  child_ends->push_back(ends[1]);
  return posix_spawn_file_actions_adddup2(actions, ends[1], fd) == 0;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
  ProgramResult result;
  int out_read = -1;
  int err_read = -1;
  std::vector<int> child_ends;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  bool ready = true;
  if (options.stdout_path.empty()) {
    ready = SetUpStream(options.stdout_stream, 1, &actions, &out_read, &child_ends);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, options.stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  ready = ready && SetUpStream(options.stderr_stream, 2, &actions, &err_read, &child_ends);
  // The program starts with a broken pipe's signal as the system sets it,
  // whatever this process does with it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> args = argv;
  std::vector<std::string> environment = MergedEnvironment(options.environment);
  pid_t pid = -1;
  const int spawned = ready ? posix_spawn(&pid, args[0].c_str(), &actions, &attributes,
                                          Pointers(args).data(), Pointers(environment).data())
                            : errno;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  for (int fd : child_ends) close(fd);
  if (spawned != 0) {
    for (int fd : {out_read, err_read}) {
      if (fd >= 0) close(fd);
    }
    result.err = std::string("cannot start ") + args[0] + ": " + std::strerror(spawned);
    return result;
  }

  const long long deadline = NowMs() + options.timeout_ms;
  if (!Drain(out_read, err_read, &result.out, &result.err, deadline)) {
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
