// The HTTP side of the server, on the HTTP library set up as http_setup
// says: every request handed to the Alpaca API.
#ifndef ALPACA_HTTP_SERVER_H_
#define ALPACA_HTTP_SERVER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "alpaca/alpaca_api.h"

namespace httplib {
class Server;
}

class HttpServer {
 public:
  HttpServer(AlpacaApi& api, bool verbose);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Takes `port` on `address` ("" for every interface). False, with
  // `problem` set, when it cannot.
  bool Bind(const std::string& address, int port, std::string* problem);
  // Serves until Stop; replies under way are finished first.
  void Run();
  void Stop();

 private:
  std::unique_ptr<httplib::Server> server;
  intptr_t listening = -1;
};

#endif  // ALPACA_HTTP_SERVER_H_
