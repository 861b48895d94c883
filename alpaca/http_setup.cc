#include "alpaca/http_setup.h"

#include <httplib.h>

#include "alpaca/server_platform.h"

void SetUpHttpLibrary(httplib::Server& server, intptr_t* listening) {
  server.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
  server.set_read_timeout(kHttpTimeoutSeconds, 0);
  server.set_write_timeout(kHttpTimeoutSeconds, 0);
  server.set_keep_alive_timeout(kHttpTimeoutSeconds);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_payload_max_length(kMaxRequestBody);
  // Small replies go out at once, not after the peer's delayed ACK.
  server.set_tcp_nodelay(true);
  // One server per port: no second one may bind it beside this one.
  server.set_socket_options([listening](socket_t socket) {
    ClaimPort(static_cast<intptr_t>(socket));
    *listening = static_cast<intptr_t>(socket);
  });
}
