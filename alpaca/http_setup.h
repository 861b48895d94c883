// How the server sets the HTTP library up: limits on what a request may be
// and how long a connection may idle, and a pool of threads for concurrent
// clients. The benchmark's floor sets it up the same way.
#ifndef ALPACA_HTTP_SETUP_H_
#define ALPACA_HTTP_SETUP_H_

#include <cstddef>
#include <cstdint>

namespace httplib {
class Server;
}

// A request body larger than this is refused with 413.
constexpr size_t kMaxRequestBody = 64 * 1024;
// Threads, so that many idle connections cannot keep others waiting.
constexpr int kHttpThreads = 64;
constexpr int kHttpTimeoutSeconds = 5;
constexpr int kKeepAliveRequests = 1000;

// `listening` receives the listening socket, for WidenBacklog (in
// server_platform.h: the library listens with a backlog of 5, and clients
// beyond that wait a second to try again) once the server is bound.
void SetUpHttpLibrary(httplib::Server& server, intptr_t* listening);

#endif  // ALPACA_HTTP_SETUP_H_
