// One test's simulated dimmer: a scratch folder with its traffic log, and
// the settings that tell the simulator how to behave (see README.md here).
#ifndef TESTING_SIMULATED_DIMMER_SESSION_H_
#define TESTING_SIMULATED_DIMMER_SESSION_H_

#include <string>
#include <vector>

class SimulatedDimmerSession {
 public:
  // `settings` are "DIMMER_SIM_NAME=value" entries.
  explicit SimulatedDimmerSession(std::vector<std::string> settings = {});
  ~SimulatedDimmerSession();
  SimulatedDimmerSession(const SimulatedDimmerSession&) = delete;
  SimulatedDimmerSession& operator=(const SimulatedDimmerSession&) = delete;

  // Applies the settings to this process, for code linked against the
  // simulator itself.
  void ApplyToProcess() const;
  // The settings plus the log, as environment entries for a program run
  // with the simulator preloaded from `library_path`.
  std::vector<std::string> ProgramEnvironment(const std::string& library_path) const;

  // Every line the device has logged so far.
  std::vector<std::string> Traffic() const;
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::vector<std::string> Settings() const;

  std::string folder_;
  std::vector<std::string> settings_;
};

#endif  // TESTING_SIMULATED_DIMMER_SESSION_H_
