// The least an Alpaca server can do for a request: the same HTTP library,
// set up as alpaca_light_dimmer sets it up, answering every GET and PUT with
// a fixed JSON reply of the size of the server's.
//   alpaca_floor PORT REPLY_BYTES
#include <cstdlib>
#include <string>

#include <httplib.h>

#include "alpaca/http_setup.h"
#include "alpaca/server_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int port = std::atoi(argv[1]);
  // A JSON object padded with spaces to the size asked for.
  std::string reply = "{\"Value\":1}";
  reply.insert(reply.size() - 1, std::string(std::strtoul(argv[2], nullptr, 10) - reply.size(), ' '));
  httplib::Server server;
  intptr_t listening = -1;
  SetUpHttpLibrary(server, &listening);
  const auto answer = [&reply](const httplib::Request&, httplib::Response& response) {
    response.set_content(reply, "application/json");
  };
  server.Get(".*", answer);
  server.Put(".*", answer);
  if (!server.bind_to_port("127.0.0.1", port)) return 1;
  WidenBacklog(listening);
  return server.listen_after_bind() ? 0 : 1;
}
