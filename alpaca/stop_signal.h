// The request to stop: SIGINT or SIGTERM (POSIX), Ctrl+C or a closed
// console (Windows).
#ifndef ALPACA_STOP_SIGNAL_H_
#define ALPACA_STOP_SIGNAL_H_

// Call before any thread starts, so that every thread leaves the signals to
// WaitForStopSignal.
void BlockStopSignals();
// Returns once a stop is asked for.
void WaitForStopSignal();

#endif  // ALPACA_STOP_SIGNAL_H_
