#include "orvane/panel_command.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dimmer/number_parse.h"
#include "dimmer/platform.h"
#include "dimmer/standard_output.h"
#include "orvane/panel.h"

namespace {

constexpr char kUsage[] =
    "Usage: orvane.exe OPTIONS\n"
    "\n"
    "orvane.exe <COM port number> L Bnnn S      - turns the panel on to brightness nnn 1-255\n"
    "orvane.exe <COM port number> D S           - turns the panel off\n"
    "orvane.exe <COM port number> V             - version: x.x.x\n"
    "orvane.exe <COM port number> O S           - opens the Covanel\n"
    "orvane.exe <COM port number> C S           - closes the Covanel\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 1;
}

// The letter that counts: the first of the word, in upper case.
char Letter(const char* word) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
}

// "Bnnn" with nnn from 1 to 255.
bool ParseBrightness(const char* word, uint8_t* level) {
  uint32_t value = 0;
  if (Letter(word) != 'B' || !ParseUnsigned(word + 1, &value)) return false;
  if (value - 1 > 254) return false;
  *level = static_cast<uint8_t>(value);
  return true;
}

// Switches the panel on at `level`, or off for 0: the dimmer whose ID is
// `id`, or with none the first in the stable order.
int SetPanel(uint8_t level, const char* id) {
  Panel panel;
  const DimmerResult connected = panel.Connect(id);
  if (connected == DimmerResult::kAbsent && id != nullptr) {
    std::fputs("no usb dimmer ", stderr);
    std::fputs(id, stderr);
    std::fputs(" attached!\n", stderr);
    panel.Disconnect();
    return 1;
  }
  if (connected != DimmerResult::kDone) {
    std::fputs("could not connect to usb dimmer!\n", stderr);
    panel.Disconnect();
    return 1;
  }
  bool done;
  if (level > 0) {
    // LightOn runs even when the level could not be set, as the panel did.
    const bool set = panel.SetBrightness(level);
    done = panel.LightOn() && set;
  } else {
    done = panel.LightOff();
  }
  panel.Disconnect();
  if (!done) {
    std::fputs("could not set usb dimmer!\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

int RunOrvane(int argc, const char* const* argv) {
  ProtectStandardStreams();
  // "--dimmer ID" before the panel's command line chooses the unit.
  const char* id = nullptr;
  if (argc >= 3 && std::strcmp(argv[1], "--dimmer") == 0) {
    id = argv[2];
    argc -= 2;
    argv += 2;
  }
  // argv[1] is the panel's port number, which the USB dimmer has no use for.
  if (argc < 3) return Usage();
  switch (Letter(argv[2])) {
    case 'O':
    case 'C':
      return 0;
    case 'V':
      return PrintAndFlush("version: " PROJECT_VERSION_TEXT "\n") ? 0 : 1;
    case 'D':
      return SetPanel(0, id);
    case 'L': {
      uint8_t level = 0;
      if (argc < 4 || !ParseBrightness(argv[3], &level)) return Usage();
      return SetPanel(level, id);
    }
    default:
      return Usage();
  }
}
