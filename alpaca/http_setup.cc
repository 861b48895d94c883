#include "alpaca/http_setup.h"

#include <sys/socket.h>

#include <httplib.h>

void SetUpHttpLibrary(httplib::Server& server, int* listening) {
  server.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
  server.set_read_timeout(kHttpTimeoutSeconds, 0);
  server.set_write_timeout(kHttpTimeoutSeconds, 0);
  server.set_keep_alive_timeout(kHttpTimeoutSeconds);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_payload_max_length(kMaxRequestBody);
  // Small replies go out at once, not after the peer's delayed ACK.
  server.set_tcp_nodelay(true);
  // One server per port: no second one may bind it beside this one.
  server.set_socket_options([listening](socket_t socket_fd) {
    const int yes = 1;
    setsockopt(socket_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    *listening = static_cast<int>(socket_fd);
  });
}

void WidenBacklog(int listening) {
  // The library listens with a backlog of 5: beyond that, clients that
  // connect at once would wait a second to try again.
  listen(listening, SOMAXCONN);
}
