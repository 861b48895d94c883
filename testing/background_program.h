// A program left running while a test talks to it, such as a server, and
// stopped when the test is done.
#ifndef TESTING_BACKGROUND_PROGRAM_H_
#define TESTING_BACKGROUND_PROGRAM_H_

#include <string>
#include <vector>

class BackgroundProgram {
 public:
  BackgroundProgram() = default;
  ~BackgroundProgram() { Stop(); }
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  // Starts argv[0] with `environment` ("NAME=value") added to this
  // process's, its standard output and error going to `log_path`.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
             const std::string& log_path);
  // Asks it to end, forces it after a second, and waits for it.
  void Stop();

 private:
  int pid = -1;
};

#endif  // TESTING_BACKGROUND_PROGRAM_H_
