// What the HTTP layer asks of whoever answers its requests, in plain types:
// the server's transport (http_server.h) reads, limits and writes; a handler
// only turns one whole request into one reply.
#ifndef ALPACA_HTTP_HANDLER_H_
#define ALPACA_HTTP_HANDLER_H_

#include <string>
#include <string_view>

// A header a reply carries beyond those every reply has.
struct HttpHeader {
  const char* name;
  const char* value;
};

struct HttpReply {
  int status = 200;
  const char* content_type = "application/json";
  std::string body;
  // A list that ends with {nullptr, nullptr}, or null for none.
  const HttpHeader* headers = nullptr;
};

// One request as it arrived, checked against the transport's limits.
struct HttpRequest {
  std::string_view method;  // as sent; HEAD comes as GET, its body dropped later
  std::string_view target;  // path and query string, still encoded
  std::string_view host;    // the Host header, "" without one
  // Set by browsers, never by plain ASCOM clients: "" when absent.
  std::string_view origin;
  std::string_view fetch_site;  // Sec-Fetch-Site
  std::string_view body;
  std::string_view remote;  // the peer's address
};

class HttpHandler {
 public:
  virtual HttpReply Answer(const HttpRequest& request) = 0;
  // Whether answering a request with this method and target may wait (for
  // a device, say): the transport answers those on threads of their own,
  // and the rest at once.
  virtual bool MayWait(std::string_view method, std::string_view target) const = 0;

 protected:
  ~HttpHandler() = default;
};

#endif  // ALPACA_HTTP_HANDLER_H_
