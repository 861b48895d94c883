#include "quorlet/control_command.h"

#include <cstdio>

#include "dimmer/log.h"
#include "dimmer/number_parse.h"
#include "dimmer/usb_dimmer.h"

namespace {

// Prints the state read at connection; false when standard output failed.
bool PrintStatus(const UsbDimmer& dimmer) {
  if (dimmer.IsOn() == 1) {
    std::printf("light is on, intensity %d\n", static_cast<int>(dimmer.Intensity()));
  } else {
    std::printf("light is off\n");
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

// Every step is taken even after a failure, so the device sees the same
// requests either way; the result says whether all of them succeeded.
bool ChangeLight(UsbDimmer* dimmer, int32_t level) {
  if (level == 0) return dimmer->TurnOff() == 0;
  const int set = dimmer->SetIntensity(static_cast<uint32_t>(level));
  const int on = dimmer->TurnOn();
  return set == 0 && on == 0;
}

}  // namespace

int32_t RequestedLevel(int argc, const char* const* argv) {
  uint32_t value = 0;
  if (argc != 2 || !ParseUnsigned(argv[1], &value)) return -1;
  return static_cast<int32_t>(value);
}

int RunQuorlet(int argc, const char* const* argv) {
  SetLogStream(stderr);
  const int32_t level = RequestedLevel(argc, argv);

  UsbDimmer dimmer;
  if (!dimmer.Connect()) {
    LogMessage("ERROR: could not connect\n");
    dimmer.Disconnect();
    return 1;
  }
  int status = 0;
  if (level < 0) {
    if (!PrintStatus(dimmer)) {
      LogMessage("ERROR: could not write the status\n");
      status = 1;
    }
  } else if (!ChangeLight(&dimmer, level)) {
    LogMessage("ERROR: could not change the light\n");
    status = 1;
  }
  dimmer.Disconnect();
  return status;
}
