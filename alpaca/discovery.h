// Alpaca discovery: a client's "alpacadiscovery1" datagram, broadcast or
// sent straight to the discovery port over IPv4, or to the multicast group
// ff12::a1:9aca over IPv6, is answered with the HTTP port,
// {"AlpacaPort":N}, so that clients find the server without being told.
#ifndef ALPACA_DISCOVERY_H_
#define ALPACA_DISCOVERY_H_

#include <atomic>
#include <string>
#include <thread>

#include "alpaca/server_platform.h"

class Discovery {
 public:
  Discovery() = default;
  ~Discovery() { Stop(); }
  Discovery(const Discovery&) = delete;
  Discovery& operator=(const Discovery&) = delete;

  // Answers on `port` of `address` ("" for every interface; a specific
  // address leaves IPv6 multicast out) for the server on `http_port`. False,
  // with `problem` set, when the port cannot be taken.
  bool Start(const std::string& address, int port, int http_port, std::string* problem);
  void Stop();

  static constexpr char kRequest[] = "alpacadiscovery1";
  static constexpr char kMulticastGroup[] = "ff12::a1:9aca";

 private:
  void Serve();

  UdpSocket ipv4;
  UdpSocket ipv6;
  int http_port = 0;
  std::atomic<bool> stopping{false};
  std::thread thread;
};

#endif  // ALPACA_DISCOVERY_H_
