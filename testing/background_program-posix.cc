#include "testing/background_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "testing/program_run.h"

bool BackgroundProgram::Start(const std::vector<std::string>& argv,
                              const std::vector<std::string>& environment,
                              const std::string& log_path) {
  std::vector<std::string> args = argv;
  std::vector<std::string> merged = MergedEnvironment(environment);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t started = -1;
  const int result = posix_spawn(&started, args[0].c_str(), &actions, nullptr,
                                 Pointers(args).data(), Pointers(merged).data());
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) return false;
  pid = started;
  return true;
}

void BackgroundProgram::Stop() {
  if (pid < 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < 100; ++waited) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    const timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  pid = -1;
}
