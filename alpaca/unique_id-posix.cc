#include <cstdlib>

#include "alpaca/unique_id.h"

std::string StateFolder() {
  const char* service = std::getenv("STATE_DIRECTORY");
  if (service != nullptr && *service != '\0') {
    // systemd may list several, separated by colons: the first is ours.
    const std::string folders(service);
    return folders.substr(0, folders.find(':'));
  }
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/light-dimmer";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.local/state/light-dimmer";
  return "";
}
