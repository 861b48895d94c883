// The dimmer that the long-running programs put in place of the real one
// when asked to simulate (the INDI driver's SIMULATION switch, the Alpaca
// server's --simulation): the same device model that the tests stand in for
// the dimmer with, kept in the program's own process, so users can try them
// without the hardware. It keeps its intensity from one connection to the
// next, and reports itself busy for two polls after each change.
//
// It can present several units, as a computer with several dimmers: their
// serial numbers are SIM-1, SIM-2, ..., and each keeps a state of its own.
#ifndef SIMULATION_SIMULATED_HID_LINK_H_
#define SIMULATION_SIMULATED_HID_LINK_H_

#include "dimmer/hid_link.h"

constexpr int kMaxSimulatedUnits = 4;

// The first `units` simulated units (1 to kMaxSimulatedUnits).
const HidLink& SimulatedHid(int units = 1);

#endif  // SIMULATION_SIMULATED_HID_LINK_H_
