// alpaca_light_dimmer: the USB light dimmers for ASCOM Alpaca clients, each
// a CoverCalibrator, until SIGINT or SIGTERM.
#include <cstdio>
#include <string>
#include <thread>

#include "alpaca/alpaca_api.h"
#include "alpaca/alpaca_http.h"
#include "alpaca/device_map.h"
#include "alpaca/device_registry.h"
#include "alpaca/discovery.h"
#include "alpaca/http_server.h"
#include "alpaca/server_options.h"
#include "alpaca/server_platform.h"
#include "alpaca/windows_service.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"
#include "simulation/simulated_hid_link.h"

namespace {

// Serves until asked to stop: the console program's run, or the service's.
int Serve(void* context) {
  const ServerOptions& options = *static_cast<const ServerOptions*>(context);
  std::string problem;
  // Each line as it is logged, also where the C library would buffer
  // standard error going to a file (Windows).
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  std::FILE* const log = options.service && ServiceLog() != nullptr ? ServiceLog() : stderr;
  PrepareForStopRequest();

  // Simulated units are numbered apart, so that trying them out never
  // takes a number or a UniqueID from a real dimmer.
  DeviceMap map(options.state_folder.empty() ? StateFolder() : options.state_folder,
                options.simulation ? "alpaca-devices-simulated" : "alpaca-devices", &problem);
  if (!problem.empty()) {
    LogTo(log, "WARN: the UniqueIDs last for this run only: %s\n", problem.c_str());
  }
  DeviceRegistry devices(options.simulation ? SimulatedHid(options.simulated_units) : SystemHid(),
                         log, std::move(map));
  const std::string location = MachineName();
  AlpacaApi api(devices, location);
  AlpacaHttp handler(api, HostPolicy(location, options.allowed_hosts),
                     options.verbose ? log : nullptr);
  HttpServer http(handler);
  // Every connection the server takes, and room for its own files.
  RaiseFileLimit(kMaxConnections + 64);
  const char* where = options.address.empty() ? "every interface" : options.address.c_str();
  // Discovery first, so that it answers by the time the HTTP port does.
  Discovery discovery;
  if (options.discovery_port != 0 &&
      !discovery.Start(options.address, options.discovery_port, options.port, &problem)) {
    std::fprintf(log, "alpaca_light_dimmer: cannot answer discovery on %s, UDP port %d: %s\n",
                 where, options.discovery_port, problem.c_str());
    return 1;
  }
  if (!http.Bind(options.address, options.port, &problem)) {
    std::fprintf(log, "alpaca_light_dimmer: cannot listen on %s, port %d: %s\n", where,
                 options.port, problem.c_str());
    return 1;
  }
  std::thread serving([&http] { http.Run(); });
  const std::string discovery_text = options.discovery_port != 0
                                         ? "on UDP port " + std::to_string(options.discovery_port)
                                         : "off";
  LogTo(log, "INFO: alpaca_light_dimmer " PROJECT_VERSION_TEXT
             " serving the %s dimmers on %s, port %d; discovery %s; setup page /setup\n",
             options.simulation ? "simulated" : "USB", where, options.port,
             discovery_text.c_str());
  ServiceRunning();
  devices.Scan();  // the units attached now, numbered before a client asks
  WaitForStopRequest();
  LogTo(log, "INFO: stopping; the light stays as it is\n");
  discovery.Stop();
  http.Stop();
  serving.join();
  devices.Stop();
  Stopped();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ProtectStandardStreams();
  ServerOptions options;
  std::string problem;
  switch (ParseServerOptions(argc, argv, &options, &problem)) {
    case OptionsResult::kHelp:
      std::fputs(kServerUsage, stdout);
      return 0;
    case OptionsResult::kVersion:
      std::puts("alpaca_light_dimmer " PROJECT_VERSION_TEXT);
      return 0;
    case OptionsResult::kBad:
      std::fprintf(stderr, "alpaca_light_dimmer: %s\n%s", problem.c_str(), kServerUsage);
      return 2;
    case OptionsResult::kRun:
      break;
  }
  if (!options.service) return Serve(&options);
  // The service's state is the machine's, not the account's it runs as.
  if (options.state_folder.empty()) options.state_folder = ServiceStateFolder();
  const int status = RunAsService(Serve, &options, &problem);
  if (status < 0) std::fprintf(stderr, "alpaca_light_dimmer: %s\n", problem.c_str());
  return status < 0 ? 1 : status;
}
