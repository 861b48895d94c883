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

// Where a program's standard output or error goes.
enum class Stream {
  kCaptured,    // into ProgramResult
  kClosed,      // nowhere: the program starts without it
  kBrokenPipe,  // a pipe that no one reads any more
};

struct ProgramOptions {
  // "NAME=value" entries added to (or replacing in) this process's
  // environment.
  std::vector<std::string> environment;
  // When set, standard output goes to this file instead of being captured.
  std::string stdout_path;
  Stream stdout_stream = Stream::kCaptured;
  Stream stderr_stream = Stream::kCaptured;
  int timeout_ms = 30000;
};

// Runs argv[0] with the given arguments; a run that outlives the timeout is
// killed and reported as timed out. On Windows, carriage returns are taken
// out of what the program printed, so output compares as on Linux.
ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options);

// Options that send standard output to the file at `path`.
ProgramOptions StdoutToFile(const std::string& path);
// Options that give the program these standard output and error streams.
ProgramOptions WithStreams(Stream out, Stream err);

// This process's environment, portably.
std::vector<std::string> EnvironmentEntries();  // "NAME=value" each
void SetEnvVariable(const std::string& name, const std::string& value);
void UnsetEnvVariable(const std::string& name);

// The strings as the null-ended array of pointers that exec and spawn
// calls take; valid while `strings` lives unchanged.
std::vector<char*> Pointers(std::vector<std::string>& strings);

// This environment without any DIMMER_SIM_ setting, and with `changes`
// ("NAME=value") added or put in place of the variables they name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes);

// A file that refuses every write ("/dev/full"), or null where there is
// none.
const char* AlwaysFullFile();

// Whether a program started without one of its standard streams has the
// stream's number handed to the next file it opens (POSIX descriptors).
bool ClosedStreamNumbersAreReused();

// A new, empty folder for scratch files.
std::string MakeScratchFolder();

// Replaces each line's leading "[YYYY-MM-DD hh:mm:ss.mmm] " with "[T] ", so
// diagnostics compare exactly apart from the clock.
std::string MaskTimestamps(const std::string& text);

#endif  // TESTING_PROGRAM_RUN_H_
