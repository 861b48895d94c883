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
    "Usage: quorlet [--dimmer ID] [LEVEL]\n"
    "Reports or sets the light of the USB light dimmer.\n"
    "\n"
    "  quorlet            print whether the light is on, and its intensity\n"
    "  quorlet LEVEL      set the intensity to LEVEL (1-" DIMMER_MAX_INTENSITY_TEXT
    "; more acts as " DIMMER_MAX_INTENSITY_TEXT ")\n"
    "                     and switch the light on; 0 switches it off\n"
    "  quorlet --list     print each attached dimmer: its ID, serial number,\n"
    "                     USB port and light, separated by tabs\n"
    "  quorlet --dimmer ID [LEVEL]\n"
    "                     the same on the dimmer with that ID; without it,\n"
    "                     the first one --list prints\n"
    "  quorlet --help     print this text\n"
    "  quorlet --version  print the version\n"
    "\n"
    "Exit status: 0 when done; 1 when the dimmer could not be found, opened or\n"
    "read, the light could not be changed, or the state could not be written.\n";

// The light as read at connection, as quorlet words it.
const char* LightText(const UsbDimmer& dimmer, char* text, size_t size) {
  const LightState light = dimmer.state();
  if (!light.on) return "light is off";
  std::snprintf(text, size, "light is on, intensity %d", static_cast<int>(light.intensity));
  return text;
}

// One line per attached dimmer, its fields separated by tabs, the ID first;
// a unit that cannot be read is listed with its light unknown. The status
// is 1 when none is attached or one could not be read or listed.
int ListDimmers(const DimmerUnit units[], int count) {
  UsbDimmer dimmer(SystemHid(), stderr);
  if (count == 0) {
    dimmer.ConnectTo(nullptr);  // says that none is attached
    LogTo(stderr, "ERROR: could not connect\n");
    return 1;
  }
  int status = 0;
  for (int i = 0; i < count; ++i) {
    const DimmerUnit& unit = units[i];
    char text[48];
    const char* light = "light unknown";
    if (dimmer.ConnectTo(&unit) == DimmerResult::kDone) {
      light = LightText(dimmer, text, sizeof text);
    } else {
      status = 1;
    }
    dimmer.Disconnect();
    if (!PrintAndFlush("%s\tserial %s\tport %s\t%s\n", unit.id,
                       unit.serial[0] != '\0' ? unit.serial : "-",
                       unit.port[0] != '\0' ? unit.port : "-", light)) {
      LogTo(stderr, "ERROR: could not write the list\n");
      return 1;
    }
  }
  return status;
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
  DimmerUnit units[kMaxDimmerUnits];
  if (IsOption(argc, argv, "--list")) return ListDimmers(units, ListDimmerUnits(SystemHid(), units));
  // "--dimmer ID" names the unit; the rest means what it means without it.
  const char* id = nullptr;
  if (argc >= 2 && std::strcmp(argv[1], "--dimmer") == 0) {
    if (argc == 2) {
      LogTo(stderr, "ERROR: --dimmer needs the ID of a dimmer (quorlet --list prints them)\n");
      return 1;
    }
    id = argv[2];
    argc -= 2;
    argv += 2;
  }
  const int32_t level = RequestedLevel(argc, argv);

  const int count = ListDimmerUnits(SystemHid(), units);
  const DimmerUnit* unit = count > 0 ? &units[0] : nullptr;
  if (id != nullptr) {
    unit = FindDimmerUnit(units, count, id);
    if (unit == nullptr) {
      LogTo(stderr, "ERROR: no dimmer %s attached\n", id);
      return 1;
    }
  } else if (count > 1) {
    LogTo(stderr, "WARN: %d dimmers are attached; using %s, the first (choose one with --dimmer ID; quorlet --list prints them)\n",
          count, unit->id);
  }

  UsbDimmer dimmer(SystemHid(), stderr);
  if (dimmer.ConnectTo(unit) != DimmerResult::kDone) {
    LogTo(stderr, "ERROR: could not connect\n");
    dimmer.Disconnect();
    return 1;
  }
  int status = 0;
  if (level < 0) {
    char text[48];
    if (!PrintAndFlush("%s\n", LightText(dimmer, text, sizeof text))) {
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
