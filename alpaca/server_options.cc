#include "alpaca/server_options.h"


#include "alpaca/alpaca_values.h"

const char kServerUsage[] =
    "Usage: alpaca_light_dimmer [OPTION]...\n"
    "Serves the USB light dimmers to ASCOM Alpaca clients: each one ever seen is a\n"
    "CoverCalibrator, numbered from 0, and keeps its number and UniqueID.\n"
    "\n"
    "  --address ADDR         listen on this address only (default: every interface,\n"
    "                         IPv4 and IPv6; 127.0.0.1 keeps the server to this machine)\n"
    "  --port N               HTTP port (default 11111)\n"
    "  --discovery-port N     UDP port for Alpaca discovery (default 32227; 0: none)\n"
    "  --allowed-host NAME    let browsers reach the server by this name too, beside\n"
    "                         its addresses, localhost and this machine's own names\n"
    "                         (may be given more than once)\n"
    "  --state-folder DIR     keep each dimmer's device number and UniqueID in DIR\n"
    "                         (default: $STATE_DIRECTORY, else\n"
    "                         ~/.local/state/light-dimmer; on Windows\n"
    "                         %LOCALAPPDATA%\\light-dimmer)\n"
    "  --simulation           serve a simulated dimmer instead of the USB ones\n"
    "  --simulated-dimmers N  serve N simulated dimmers (1-4) instead of the USB ones\n"
    "  --verbose              log every request\n"
    "  --service              run as the Windows service that the installer sets up\n"
    "  --help                 print this text\n"
    "  --version              print the version\n";

namespace {

bool ParsePort(const std::string& text, bool zero_allowed, int* port) {
  int32_t value = 0;
  if (text.empty() || text[0] == '+' || text[0] == '-' || !ParseInt32(text, &value)) return false;
  if (value > 65535 || (value == 0 && !zero_allowed)) return false;
  *port = value;
  return true;
}

}  // namespace

OptionsResult ParseServerOptions(int argc, const char* const* argv, ServerOptions* options,
                                 std::string* problem) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool has_value = false;
    const size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
      has_value = true;
    }
    const bool takes_value =
        name == "--address" || name == "--port" || name == "--discovery-port" ||
        name == "--allowed-host" || name == "--simulated-dimmers" || name == "--state-folder";
    if (takes_value && !has_value) {
      if (i + 1 == argc) {
        *problem = name + " needs a value";
        return OptionsResult::kBad;
      }
      value = argv[++i];
      has_value = true;
    }
    if (!takes_value && has_value) {
      *problem = name + " takes no value";
      return OptionsResult::kBad;
    }
    if (name == "--help") return OptionsResult::kHelp;
    if (name == "--version") return OptionsResult::kVersion;
    if (name == "--simulation") {
      options->simulation = true;
    } else if (name == "--simulated-dimmers") {
      int32_t count = 0;
      if (value.size() != 1 || !ParseInt32(value, &count) || count < 1 || count > 4) {
        *problem = "--simulated-dimmers takes 1-4, not \"" + value + "\"";
        return OptionsResult::kBad;
      }
      options->simulation = true;
      options->simulated_units = count;
    } else if (name == "--verbose") {
      options->verbose = true;
    } else if (name == "--service") {
      options->service = true;
    } else if (name == "--address") {
      if (value.empty()) {
        *problem = "--address needs an address";
        return OptionsResult::kBad;
      }
      options->address = value;
    } else if (name == "--state-folder") {
      if (value.empty()) {
        *problem = "--state-folder needs a folder";
        return OptionsResult::kBad;
      }
      options->state_folder = value;
    } else if (name == "--allowed-host") {
      if (value.empty()) {
        *problem = "--allowed-host needs a name";
        return OptionsResult::kBad;
      }
      options->allowed_hosts.push_back(value);
    } else if (name == "--port") {
      if (!ParsePort(value, false, &options->port)) {
        *problem = "--port takes 1-65535, not \"" + value + "\"";
        return OptionsResult::kBad;
      }
    } else if (name == "--discovery-port") {
      if (!ParsePort(value, true, &options->discovery_port)) {
        *problem = "--discovery-port takes 0-65535, not \"" + value + "\"";
        return OptionsResult::kBad;
      }
    } else {
      *problem = "unknown option \"" + name + "\"";
      return OptionsResult::kBad;
    }
  }
  return OptionsResult::kRun;
}
