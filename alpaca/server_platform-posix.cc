#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "alpaca/server_platform.h"

namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void PrepareForStopRequest() {
  // Blocked in every thread, so that WaitForStopRequest alone takes them.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForStopRequest() {
  const sigset_t signals = StopSignals();
  int signal_number = 0;
  sigwait(&signals, &signal_number);
}

void Stopped() {}

void RequestStop() { kill(getpid(), SIGTERM); }

std::string StateFolder() {
  const char* service = std::getenv("STATE_DIRECTORY");
  if (service != nullptr && *service != '\0') {
    // systemd may list several, separated by colons: the first is ours.
    const std::string folders(service);
    return folders.substr(0, folders.find(':'));
  }
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/light-dimmer";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.local/state/light-dimmer";
  return "";
}

std::string MachineName() {
  char name[256] = "";
  gethostname(name, sizeof name - 1);
  return name;
}

void ClaimPort(intptr_t socket) {
  // Not SO_REUSEPORT, which would let a second server bind it too.
  const int yes = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}


void RaiseFileLimit(unsigned count) {
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= count) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > count ? count : limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

bool UdpSocket::Open(bool ipv6, const std::string& address, int port, std::string* problem) {
  sockaddr_storage where = {};
  socklen_t length;
  if (ipv6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&where);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    v6->sin6_addr = in6addr_any;
    if (!address.empty() && inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1) {
      *problem = "discovery needs an address in digits, not a name";
      return false;
    }
    length = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&where);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(port));
    v4->sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1) {
      *problem = "discovery needs an address in digits, not a name";
      return false;
    }
    length = sizeof *v4;
  }
  const int fd = socket(where.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *problem = std::strerror(errno);
    return false;
  }
  const int yes = 1;
  // Several Alpaca servers on one machine share the discovery port.
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (ipv6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  if (bind(fd, reinterpret_cast<sockaddr*>(&where), length) != 0) {
    *problem = std::strerror(errno);
    close(fd);
    return false;
  }
  handle = fd;
  return true;
}

void UdpSocket::JoinGroup(const char* group) {
  ipv6_mreq request = {};
  inet_pton(AF_INET6, group, &request.ipv6mr_multiaddr);
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return;
  for (const struct if_nameindex* entry = interfaces; entry->if_index != 0; ++entry) {
    request.ipv6mr_interface = entry->if_index;
    setsockopt(static_cast<int>(handle), IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request);
  }
  if_freenameindex(interfaces);
}

int UdpSocket::Receive(char* buffer, int size, Peer* from) {
  socklen_t length = sizeof from->address;
  const ssize_t count = recvfrom(static_cast<int>(handle), buffer, static_cast<size_t>(size), 0,
                                 reinterpret_cast<sockaddr*>(from->address), &length);
  from->length = static_cast<int>(length);
  return static_cast<int>(count);
}

void UdpSocket::Send(const char* data, int size, const Peer& to) {
  sendto(static_cast<int>(handle), data, static_cast<size_t>(size), 0,
         reinterpret_cast<const sockaddr*>(to.address), static_cast<socklen_t>(to.length));
}

void UdpSocket::Close() {
  if (handle != kNone) close(static_cast<int>(handle));
  handle = kNone;
}

void UdpSocket::Wait(UdpSocket* const sockets[], int count, int timeout_ms, bool readable[]) {
  pollfd entries[4] = {};
  for (int i = 0; i < count; ++i) entries[i] = {static_cast<int>(sockets[i]->handle), POLLIN, 0};
  const int ready = poll(entries, static_cast<nfds_t>(count), timeout_ms);
  for (int i = 0; i < count; ++i) readable[i] = ready > 0 && (entries[i].revents & POLLIN) != 0;
}
