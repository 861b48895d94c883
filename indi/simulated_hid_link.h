// The dimmer that the driver's SIMULATION switch puts in place of the real
// one: the same device model that the tests stand in for the dimmer with,
// kept in the driver process, so users can try the driver without the
// hardware. It keeps its intensity from one connection to the next, and
// reports itself busy for two polls after each change.
#ifndef INDI_SIMULATED_HID_LINK_H_
#define INDI_SIMULATED_HID_LINK_H_

#include "dimmer/hid_link.h"

const HidLink& SimulatedHid();

#endif  // INDI_SIMULATED_HID_LINK_H_
