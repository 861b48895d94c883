#include "quorlet/control_command.h"

#include <cstdio>
#include <cstring>

#include "dimmer/dimmer_protocol.h"
#include "dimmer/log.h"
#include "dimmer/number_parse.h"
#include "dimmer/platform.h"
#include "dimmer/standard_output.h"
#include "dimmer/usb_dimmer.h"

namespace {

constexpr char kHelp[] =
    "Usage: quorlet [LEVEL]\n"
    "Reports or sets the light of the USB light dimmer.\n"
    "\n"
    "  quorlet            print whether the light is on, and its intensity\n"
    "  quorlet LEVEL      set the intensity to LEVEL (1-" DIMMER_MAX_INTENSITY_TEXT
    "; more acts as " DIMMER_MAX_INTENSITY_TEXT ")\n"
    "                     and switch the light on; 0 switches it off\n"
    "  quorlet --help     print this text\n"
    "  quorlet --version  print the version\n"
    "\n"
    "Exit status: 0 when done; 1 when the dimmer could not be opened or read,\n"
    "the light could not be changed, or the state could not be written.\n";

// Prints the state read at connection; false when standard output failed.
bool PrintStatus(const UsbDimmer& dimmer) {
  const LightState light = dimmer.state();
  if (light.on) {
    return PrintAndFlush("light is on, intensity %d\n", static_cast<int>(light.intensity));
  }
  return PrintAndFlush("light is off\n");
}

bool IsOption(int argc, const char* const* argv, const char* option) {
  return argc == 2 && std::strcmp(argv[1], option) == 0;
}

// Every step is taken even after a failure, so the device sees the same
// requests either way; the result says whether all of them succeeded.
bool ChangeLight(UsbDimmer* dimmer, int32_t level) {
  if (level == 0) return dimmer->TurnOff() == DimmerResult::kDone;
  const DimmerResult set = dimmer->SetIntensity(static_cast<uint32_t>(level));
  const DimmerResult on = dimmer->TurnOn();
  return set == DimmerResult::kDone && on == DimmerResult::kDone;
}

}  // namespace

int32_t RequestedLevel(int argc, const char* const* argv) {
  uint32_t value = 0;
  if (argc != 2 || !ParseUnsigned(argv[1], &value)) return -1;
  return static_cast<int32_t>(value);
}

int RunQuorlet(int argc, const char* const* argv) {
  ProtectStandardStreams();
  if (IsOption(argc, argv, "--help")) return PrintAndFlush("%s", kHelp) ? 0 : 1;
  if (IsOption(argc, argv, "--version")) {
    return PrintAndFlush("quorlet " PROJECT_VERSION_TEXT "\n") ? 0 : 1;
  }
  const int32_t level = RequestedLevel(argc, argv);

  UsbDimmer dimmer(SystemHid(), stderr);
  if (dimmer.Connect() != DimmerResult::kDone) {
    LogTo(stderr, "ERROR: could not connect\n");
    dimmer.Disconnect();
    return 1;
  }
  int status = 0;
  if (level < 0) {
    if (!PrintStatus(dimmer)) {
      LogTo(stderr, "ERROR: could not write the status\n");
      status = 1;
    }
  } else if (!ChangeLight(&dimmer, level)) {
    LogTo(stderr, "ERROR: could not change the light\n");
    status = 1;
  }
  dimmer.Disconnect();
  return status;
}
