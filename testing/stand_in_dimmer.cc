#include "testing/stand_in_dimmer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

StandInDimmer::StandInDimmer(std::vector<std::string> settings)
    : folder_(MakeScratchFolder()), settings_(std::move(settings)) {}

StandInDimmer::~StandInDimmer() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> StandInDimmer::Settings() const {
  std::vector<std::string> all = {"DIMMER_SIM_LOG=" + Path("traffic.log"),
                                  "DIMMER_SIM_NODE=" + NodePath()};
  all.insert(all.end(), settings_.begin(), settings_.end());
  return all;
}

void StandInDimmer::ApplyToProcess() const {
  for (const std::string& entry : EnvironmentEntries()) {
    if (entry.rfind("DIMMER_SIM_", 0) == 0) UnsetEnvVariable(entry.substr(0, entry.find('=')));
  }
  for (const std::string& entry : Settings()) {
    const size_t equals = entry.find('=');
    SetEnvVariable(entry.substr(0, equals), entry.substr(equals + 1));
  }
}

ProgramResult StandInDimmer::Run(const std::string& program,
                                          std::vector<std::string> args,
                                          ProgramOptions options) const {
  args.insert(args.begin(), program);
  // DIMMER_TEST_RUNNER, such as a valgrind command line, runs the program.
  if (const char* runner = std::getenv("DIMMER_TEST_RUNNER")) {
    std::istringstream words(runner);
    std::vector<std::string> prefix{std::istream_iterator<std::string>(words), {}};
    args.insert(args.begin(), prefix.begin(), prefix.end());
  }
  const std::vector<std::string> environment = Environment();
  options.environment.insert(options.environment.end(), environment.begin(), environment.end());
  return RunProgram(args, options);
}

std::vector<std::string> StandInDimmer::Environment() const {
  std::vector<std::string> environment = Settings();
#if defined(SIMULATED_DIMMER_PATH)
  environment.push_back("LD_PRELOAD=" SIMULATED_DIMMER_PATH);
  // Under AddressSanitizer the preloaded simulator would otherwise load
  // before the sanitizer's runtime, which it refuses.
  environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
#endif  // elsewhere the simulator's hidapi.dll lies beside the programs
  return environment;
}

std::vector<std::string> StandInDimmer::Traffic() const {
  std::vector<std::string> lines;
  std::ifstream log(Path("traffic.log"));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

std::string StandInDimmer::TrafficText() const {
  std::string joined;
  for (const std::string& line : Traffic()) joined += (joined.empty() ? "" : "; ") + line;
  return joined;
}
