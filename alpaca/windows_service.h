// The server as a Windows service, started by the service control manager
// with its options on the service's command line (--service among them).
// Stop, shutdown and preshutdown controls ask it to stop, as Ctrl+C does in
// a console; it keeps its state in %ProgramData%\light-dimmer, and writes
// its log lines to a file there, kept below kMaxLogBytes with the one
// before it.
//
// Other systems run the server under their own service managers (systemd),
// where it is the console program: there RunAsService only says so.
#ifndef ALPACA_WINDOWS_SERVICE_H_
#define ALPACA_WINDOWS_SERVICE_H_

#include <cstdio>
#include <string>

constexpr long kMaxLogBytes = 1024 * 1024;
// The name the installer registers the service under.
constexpr char kServiceName[] = "LightDimmerAlpaca";

// Runs `serve(context)` as the service that started this process and
// returns its status; -1 with `problem` set when no service control manager
// started it. `serve` calls ServiceRunning once it answers clients.
int RunAsService(int (*serve)(void* context), void* context, std::string* problem);
void ServiceRunning();
// Where the service logs: a stream whose lines a thread of its own writes
// to the log file (null when there is none).
std::FILE* ServiceLog();

// The folder shared by every user and the service: %ProgramData%\light-dimmer
// ("" where there is none).
std::string ServiceStateFolder();

#endif  // ALPACA_WINDOWS_SERVICE_H_
