#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "alpaca/server_platform.h"

namespace {

HANDLE stop_requested = nullptr;
HANDLE stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  SetEvent(stop_requested);
  // Windows ends the process once this returns from a closed console,
  // logoff or shutdown: first let the program close the dimmer.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(stopped, 4000);
  }
  return TRUE;
}

std::string SocketError() {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(WSAGetLastError()), 0, text, sizeof text, nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

}  // namespace

void PrepareForStopRequest() {
  stop_requested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStopRequest() { WaitForSingleObject(stop_requested, INFINITE); }

void Stopped() { SetEvent(stopped); }

void RequestStop() { SetEvent(stop_requested); }

std::string StateFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || *local == '\0') return "";
  return std::string(local) + "\\light-dimmer";
}

std::string MachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof name;
  GetComputerNameA(name, &size);
  return name;
}

void ClaimPort(intptr_t socket) {
  // SO_REUSEADDR would let another program take the port from under it.
  const BOOL yes = TRUE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&yes), sizeof yes);
}


// Windows sets no such limit on sockets.
void RaiseFileLimit(unsigned) {}

bool UdpSocket::Open(bool ipv6, const std::string& address, int port, std::string* problem) {
  StartWinsock();
  sockaddr_storage where = {};
  int length;
  const char* numeric = address.c_str();
  if (ipv6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&where);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<u_short>(port));
    v6->sin6_addr = in6addr_any;
    if (!address.empty() && inet_pton(AF_INET6, numeric, &v6->sin6_addr) != 1) {
      *problem = "discovery needs an address in digits, not a name";
      return false;
    }
    length = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&where);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<u_short>(port));
    v4->sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && inet_pton(AF_INET, numeric, &v4->sin_addr) != 1) {
      *problem = "discovery needs an address in digits, not a name";
      return false;
    }
    length = sizeof *v4;
  }
  const SOCKET socket_handle = socket(where.ss_family, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_handle == INVALID_SOCKET) {
    *problem = SocketError();
    return false;
  }
  const BOOL yes = TRUE;
  // Several Alpaca servers on one machine share the discovery port.
  setsockopt(socket_handle, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
             sizeof yes);
  if (ipv6) {
    setsockopt(socket_handle, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&yes),
               sizeof yes);
  }
  if (bind(socket_handle, reinterpret_cast<sockaddr*>(&where), length) != 0) {
    *problem = SocketError();
    closesocket(socket_handle);
    return false;
  }
  handle = static_cast<intptr_t>(socket_handle);
  return true;
}

void UdpSocket::JoinGroup(const char* group) {
  // Interface 0: the one Windows routes the group through.
  ipv6_mreq request = {};
  inet_pton(AF_INET6, group, &request.ipv6mr_multiaddr);
  setsockopt(static_cast<SOCKET>(handle), IPPROTO_IPV6, IPV6_JOIN_GROUP,
             reinterpret_cast<const char*>(&request), sizeof request);
}

int UdpSocket::Receive(char* buffer, int size, Peer* from) {
  int length = sizeof from->address;
  const int count = recvfrom(static_cast<SOCKET>(handle), buffer, size, 0,
                             reinterpret_cast<sockaddr*>(from->address), &length);
  from->length = length;
  return count;
}

void UdpSocket::Send(const char* data, int size, const Peer& to) {
  sendto(static_cast<SOCKET>(handle), data, size, 0,
         reinterpret_cast<const sockaddr*>(to.address), to.length);
}

void UdpSocket::Close() {
  if (handle != kNone) closesocket(static_cast<SOCKET>(handle));
  handle = kNone;
}

void UdpSocket::Wait(UdpSocket* const sockets[], int count, int timeout_ms, bool readable[]) {
  WSAPOLLFD entries[4] = {};
  for (int i = 0; i < count; ++i) {
    entries[i].fd = static_cast<SOCKET>(sockets[i]->handle);
    entries[i].events = POLLRDNORM;
  }
  const int ready = WSAPoll(entries, static_cast<ULONG>(count), timeout_ms);
  for (int i = 0; i < count; ++i) {
    readable[i] = ready > 0 && (entries[i].revents & POLLRDNORM) != 0;
  }
}
