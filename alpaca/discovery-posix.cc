#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "alpaca/discovery.h"

namespace {

// How often the serving thread looks whether it is to stop.
constexpr int kStopCheckMs = 100;

// Several Alpaca servers on one machine share the discovery port.
int OpenUdp(int family) {
  const int socket_fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_fd < 0) return -1;
  const int yes = 1;
  setsockopt(socket_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  return socket_fd;
}

void JoinMulticastEverywhere(int socket_fd) {
  ipv6_mreq request = {};
  inet_pton(AF_INET6, Discovery::kMulticastGroup, &request.ipv6mr_multiaddr);
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return;
  for (const struct if_nameindex* entry = interfaces; entry->if_index != 0; ++entry) {
    request.ipv6mr_interface = entry->if_index;
    setsockopt(socket_fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request);
  }
  if_freenameindex(interfaces);
}

}  // namespace

bool Discovery::Start(const std::string& address, int port, int server_port,
                      std::string* problem) {
  http_port = server_port;
  sockaddr_in v4 = {};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(static_cast<uint16_t>(port));
  v4.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool everywhere = address.empty() || address == "0.0.0.0" || address == "::";
  const bool ipv4_address = !everywhere && inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1;
  if (everywhere || ipv4_address) {
    ipv4 = OpenUdp(AF_INET);
    if (ipv4 < 0 || bind(ipv4, reinterpret_cast<sockaddr*>(&v4), sizeof v4) != 0) {
      *problem = std::strerror(errno);
      Stop();
      return false;
    }
  }
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  v6.sin6_port = htons(static_cast<uint16_t>(port));
  v6.sin6_addr = in6addr_any;
  // IPv6 where the machine has it: its absence is no reason to fail.
  if (everywhere && (ipv6 = OpenUdp(AF_INET6)) >= 0) {
    const int yes = 1;
    setsockopt(ipv6, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    if (bind(ipv6, reinterpret_cast<sockaddr*>(&v6), sizeof v6) == 0) {
      JoinMulticastEverywhere(ipv6);
    } else {
      close(ipv6);
      ipv6 = -1;
    }
  }
  if (ipv4 < 0 && ipv6 < 0) {
    *problem = "not an IPv4 address";
    return false;
  }
  stopping = false;
  thread = std::thread([this] { Serve(); });
  return true;
}

void Discovery::Stop() {
  stopping = true;
  if (thread.joinable()) thread.join();
  if (ipv4 >= 0) close(ipv4);
  if (ipv6 >= 0) close(ipv6);
  ipv4 = ipv6 = -1;
}

void Discovery::Serve() {
  char answer[32];
  const int answer_length = std::snprintf(answer, sizeof answer, "{\"AlpacaPort\":%d}", http_port);
  pollfd sockets[2] = {{ipv4, POLLIN, 0}, {ipv6, POLLIN, 0}};
  while (!stopping) {
    if (poll(sockets, 2, kStopCheckMs) <= 0) continue;
    for (const pollfd& entry : sockets) {
      if (entry.fd < 0 || (entry.revents & POLLIN) == 0) continue;
      char request[64];
      sockaddr_storage sender = {};
      socklen_t sender_length = sizeof sender;
      const ssize_t length = recvfrom(entry.fd, request, sizeof request, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &sender_length);
      const size_t expected = sizeof kRequest - 1;
      if (length < static_cast<ssize_t>(expected) || std::memcmp(request, kRequest, expected) != 0) {
        continue;
      }
      sendto(entry.fd, answer, static_cast<size_t>(answer_length), 0,
             reinterpret_cast<sockaddr*>(&sender), sender_length);
    }
  }
}
