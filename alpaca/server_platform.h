// The few services of the operating system that the server needs beyond
// the dimmer code's: stopping on request, a folder for its state, the
// machine's name, and UDP sockets for discovery. One source file per
// platform implements them; the build picks it.
#ifndef ALPACA_SERVER_PLATFORM_H_
#define ALPACA_SERVER_PLATFORM_H_

#include <cstdint>
#include <string>

// The request to stop: SIGINT or SIGTERM (POSIX); Ctrl+C, Ctrl+Break or a
// closed console window (Windows). Call PrepareForStopRequest before any
// thread starts; WaitForStopRequest returns once a stop is asked for, and
// the program calls Stopped when it has finished, as Windows waits for that
// before it closes a console.
void PrepareForStopRequest();
void WaitForStopRequest();
void Stopped();
// Asks for the stop from within the program (a service's stop control).
void RequestStop();

// The folder the server keeps its state in, "" when there is none:
// $STATE_DIRECTORY (a systemd service), else $XDG_STATE_HOME/light-dimmer,
// else ~/.local/state/light-dimmer (POSIX); %LOCALAPPDATA%\light-dimmer
// (Windows).
std::string StateFolder();

// This machine's name, for clients to tell servers apart.
std::string MachineName();

// The listening socket of the HTTP server, before it binds: no other server
// may take the same port beside it.
void ClaimPort(intptr_t socket);

// Lets the process hold `count` open files and sockets where it may, as a
// server with many connections needs more than the usual default of 1024.
void RaiseFileLimit(unsigned count);

// One UDP socket, for discovery.
class UdpSocket {
 public:
  // Where a datagram came from, to answer it.
  struct Peer {
    unsigned char address[128];
    int length = 0;
  };

  UdpSocket() = default;
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Opens it on `port` of `address` ("" for every address), shared with
  // other servers on the same port; IPv6 sockets take IPv6 alone. False,
  // with `problem` set, when it cannot be opened.
  bool Open(bool ipv6, const std::string& address, int port, std::string* problem);
  // IPv6: joins the multicast `group` on every interface there is.
  void JoinGroup(const char* group);
  bool IsOpen() const { return handle != kNone; }
  // The datagram's length, or -1.
  int Receive(char* buffer, int size, Peer* from);
  void Send(const char* data, int size, const Peer& to);
  void Close();

  // Waits up to `timeout_ms` for a datagram on any of the `count` sockets
  // (closed ones are left out); `readable[i]` says which have one.
  static void Wait(UdpSocket* const sockets[], int count, int timeout_ms, bool readable[]);

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle = kNone;
};

#endif  // ALPACA_SERVER_PLATFORM_H_
