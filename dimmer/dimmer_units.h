// The dimmers attached now, each with an ID that names it from run to run,
// in a stable order: several telescopes, several dimmers on one computer.
//
// A unit's ID is its USB serial number where that is non-empty and no other
// attached dimmer has the same; otherwise its USB port location (see
// usb_port.h), which stays as long as the unit stays in its socket; and
// where neither is known (a virtual device), HIDAPI's path. Units are
// sorted by ID, so the first is the same whatever order the system lists
// them in.
#ifndef DIMMER_DIMMER_UNITS_H_
#define DIMMER_DIMMER_UNITS_H_

#include "dimmer/hid_link.h"

constexpr int kMaxDimmerUnits = 16;

struct DimmerUnit {
  char id[96];
  char serial[64];  // the USB serial string; empty when it has none (or none usable)
  char port[64];    // the USB port location; empty where none is known
  char path[256];   // HIDAPI's path, for opening it
};

// Lists up to kMaxDimmerUnits attached dimmers into `units`, sorted by ID,
// and returns how many. `sysfs_root` is "/sys" but in tests.
int ListDimmerUnits(const HidLink& hid, DimmerUnit units[kMaxDimmerUnits],
                    const char* sysfs_root = "/sys");

// The unit whose ID is `id`, or null.
const DimmerUnit* FindDimmerUnit(const DimmerUnit units[], int count, const char* id);

#endif  // DIMMER_DIMMER_UNITS_H_
