// The dimmer that the long-running programs put in place of the real one
// when asked to simulate (the INDI driver's SIMULATION switch, the Alpaca
// server's --simulation): the same device model that the tests stand in for
// the dimmer with, kept in the program's own process, so users can try them
// without the hardware. It keeps its intensity from one connection to the
// next, and reports itself busy for two polls after each change.
#ifndef SIMULATION_SIMULATED_HID_LINK_H_
#define SIMULATION_SIMULATED_HID_LINK_H_

#include "dimmer/hid_link.h"

const HidLink& SimulatedHid();

#endif  // SIMULATION_SIMULATED_HID_LINK_H_
