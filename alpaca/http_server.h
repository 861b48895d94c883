// The server's HTTP transport: one thread serves every connection, event
// by event, so that no number of idle or slow clients can keep another
// waiting. Each connection is held to limits of memory and time
// (http_exchange.h) and the server to a number of connections; requests on
// one connection, pipelined or not, are answered in order. The few requests
// whose answer may wait (HttpHandler::MayWait) are answered on threads of
// their own.
#ifndef ALPACA_HTTP_SERVER_H_
#define ALPACA_HTTP_SERVER_H_

#include <memory>
#include <string>

#include "alpaca/http_handler.h"

// Connections beyond these are closed as soon as they are accepted.
constexpr size_t kMaxConnections = 1024;
constexpr size_t kMaxConnectionsPerAddress = 64;
// A request must arrive whole this soon after its first byte, and a reply
// be taken this soon after it is sent.
constexpr int kRequestSeconds = 10;
// A connection that has no request under way is closed after this.
constexpr int kIdleSeconds = 30;

class HttpServer {
 public:
  explicit HttpServer(HttpHandler& handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Takes `port` on `address` ("" for every interface). False, with
  // `problem` set, when it cannot.
  bool Bind(const std::string& address, int port, std::string* problem);
  // Serves until Stop.
  void Run();
  // Any thread: stops taking connections and closes those that wait for a
  // request; replies under way are finished, for a second and a half at
  // most, and then Run returns.
  void Stop();

 private:
  class Serving;
  std::unique_ptr<Serving> serving;
};

#endif  // ALPACA_HTTP_SERVER_H_
