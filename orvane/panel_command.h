// The panel command tool's command line: the command line of a serial
// light panel (port number, then L Bnnn / D / V / O / C), carried out on
// the USB dimmer.
#ifndef ORVANE_PANEL_COMMAND_H_
#define ORVANE_PANEL_COMMAND_H_

// Runs one command line and returns the exit status: 0 when the command
// was carried out, 1 for a bad command line or a dimmer that could not be
// reached or set.
int RunOrvane(int argc, const char* const* argv);

#endif  // ORVANE_PANEL_COMMAND_H_
