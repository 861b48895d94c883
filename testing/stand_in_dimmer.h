// One test's simulated dimmer: a scratch folder with its traffic log and
// its device node, and the settings that tell the simulator how to behave
// (see README.md here).
#ifndef TESTING_STAND_IN_DIMMER_H_
#define TESTING_STAND_IN_DIMMER_H_

#include <string>
#include <vector>

#include "testing/program_run.h"

class StandInDimmer {
 public:
  // `settings` are "DIMMER_SIM_NAME=value" entries.
  explicit StandInDimmer(std::vector<std::string> settings = {});
  ~StandInDimmer();
  StandInDimmer(const StandInDimmer&) = delete;
  StandInDimmer& operator=(const StandInDimmer&) = delete;

  // Applies the settings to this process, for code linked against the
  // simulator itself.
  void ApplyToProcess() const;
  // Runs a program as built with the simulator in front of HIDAPI
  // (preloaded on Linux; on Windows its hidapi.dll lies beside the copies of
  // the programs that the tests run), with `options` for its standard
  // streams and time limit.
  ProgramResult Run(const std::string& program, std::vector<std::string> args,
                    ProgramOptions options = {}) const;

  // What a program run against this dimmer gets added to its environment:
  // the settings, and what puts the simulator in front of HIDAPI.
  std::vector<std::string> Environment() const;

  // Every line the device has logged so far.
  std::vector<std::string> Traffic() const;
  // The same lines joined by "; ", for compact comparisons.
  std::string TrafficText() const;
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // The file that stands for the dimmer's device node, which its lock is on.
  std::string NodePath() const { return Path("node"); }

 private:
  std::vector<std::string> Settings() const;

  std::string folder_;
  std::vector<std::string> settings_;
};

#endif  // TESTING_STAND_IN_DIMMER_H_
