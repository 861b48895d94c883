// alpaca_light_dimmer's command line.
#ifndef ALPACA_SERVER_OPTIONS_H_
#define ALPACA_SERVER_OPTIONS_H_

#include <string>
#include <vector>

struct ServerOptions {
  std::string address;  // "" for every interface, IPv4 and IPv6
  int port = 11111;     // Alpaca's customary port
  int discovery_port = 32227;  // Alpaca's discovery port; 0 for none
  bool simulation = false;
  int simulated_units = 1;  // how many simulated dimmers
  std::string state_folder;  // "" for the platform's own (StateFolder)
  bool verbose = false;
  bool service = false;  // run under Windows's service control manager
  // Further names that browsers may reach the server by (host_policy.h).
  std::vector<std::string> allowed_hosts;
};

enum class OptionsResult { kRun, kHelp, kVersion, kBad };

// Reads argv into `options`; on kBad, `problem` says what was wrong.
OptionsResult ParseServerOptions(int argc, const char* const* argv, ServerOptions* options,
                                 std::string* problem);

extern const char kServerUsage[];

#endif  // ALPACA_SERVER_OPTIONS_H_
