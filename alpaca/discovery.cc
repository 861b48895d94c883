#include "alpaca/discovery.h"

#include <cstdio>
#include <cstring>

namespace {

// How often the serving thread looks whether it is to stop.
constexpr int kStopCheckMs = 100;

}  // namespace

bool Discovery::Start(const std::string& address, int port, int server_port,
                      std::string* problem) {
  http_port = server_port;
  if (address.empty() || address == "0.0.0.0" || address == "::") {
    if (!ipv4.Open(false, "", port, problem)) return false;
    // IPv6 where the machine has it: its absence is no reason to fail.
    std::string ignored;
    if (ipv6.Open(true, "", port, &ignored)) ipv6.JoinGroup(kMulticastGroup);
  } else {
    const bool ipv6_address = address.find(':') != std::string::npos;
    if (!(ipv6_address ? ipv6 : ipv4).Open(ipv6_address, address, port, problem)) return false;
  }
  stopping = false;
  thread = std::thread([this] { Serve(); });
  return true;
}

void Discovery::Stop() {
  stopping = true;
  if (thread.joinable()) thread.join();
  ipv4.Close();
  ipv6.Close();
}

void Discovery::Serve() {
  char answer[32];
  const int answer_length = std::snprintf(answer, sizeof answer, "{\"AlpacaPort\":%d}", http_port);
  UdpSocket* open[2];
  int count = 0;
  for (UdpSocket* socket : {&ipv4, &ipv6}) {
    if (socket->IsOpen()) open[count++] = socket;
  }
  while (!stopping) {
    bool readable[2] = {false, false};
    UdpSocket::Wait(open, count, kStopCheckMs, readable);
    for (int i = 0; i < count; ++i) {
      if (!readable[i]) continue;
      char request[64];
      UdpSocket::Peer sender;
      const int length = open[i]->Receive(request, sizeof request, &sender);
      const int expected = static_cast<int>(sizeof kRequest - 1);
      if (length < expected || std::memcmp(request, kRequest, expected) != 0) continue;
      open[i]->Send(answer, answer_length, sender);
    }
  }
}
