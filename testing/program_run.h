// Running a program as built and collecting what it did.
#ifndef TESTING_PROGRAM_RUN_H_
#define TESTING_PROGRAM_RUN_H_

#include <string>
#include <vector>

struct ProgramResult {
  int exit_status = -1;  // -1 when the program did not exit normally
  int signal = 0;        // the signal that ended it, if one did
  bool timed_out = false;
  std::string out;
  std::string err;
};

struct ProgramOptions {
  // "NAME=value" entries added to (or replacing in) this process's
  // environment.
  std::vector<std::string> environment;
  // When set, standard output goes to this file instead of being captured.
  std::string stdout_path;
  int timeout_ms = 30000;
};

// Runs argv[0] with the given arguments; a run that outlives the timeout is
// killed and reported as timed out.
ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options);

// Replaces each line's leading "[YYYY-MM-DD hh:mm:ss.mmm] " with "[T] ", so
// diagnostics compare exactly apart from the clock.
std::string MaskTimestamps(const std::string& text);

#endif  // TESTING_PROGRAM_RUN_H_
