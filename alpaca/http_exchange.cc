#include "alpaca/http_exchange.h"

#include <string>

#include <boost/beast/http/error.hpp>

namespace http = boost::beast::http;

namespace {

std::string_view View(boost::beast::string_view text) { return {text.data(), text.size()}; }

// Headers every reply has, whoever made it.
void Common(HttpResponse& response, const char* content_type) {
  response.set(http::field::content_type, content_type);
  response.set("X-Content-Type-Options", "nosniff");
}

HttpResponse Refuse(unsigned status, const char* reason, unsigned version) {
  HttpResponse response{static_cast<http::status>(status), version < 10 ? 11 : version};
  Common(response, "text/plain; charset=utf-8");
  response.set(http::field::cache_control, "no-store");
  response.body() = reason;
  response.body() += '\n';
  response.keep_alive(false);
  response.prepare_payload();
  return response;
}

HttpResponse RefuseRead(const boost::beast::error_code& error, const RequestParser& parser) {
  if (error == boost::beast::error::timeout) {
    return Refuse(408, "The request did not arrive whole within 10 seconds.", 11);
  }
  if (error == http::error::body_limit ||
      (error == http::error::buffer_overflow && parser.is_header_done())) {
    return Refuse(413, "The request's body is larger than 64 KB.", 11);
  }
  if (error == http::error::header_limit || error == http::error::buffer_overflow) {
    return Refuse(431, "The request's header is larger than 32 KB.", 11);
  }
  return Refuse(400, "This is not an HTTP/1.1 request that the server can read.", 11);
}

// A refusal for a request that was read whole but breaks a rule, or 0.
const char* BrokenRule(const http::request<http::string_body>& request, unsigned* status) {
  if (request.target().size() > kMaxRequestLine) {
    *status = 414;
    return "The request's target is longer than 8 KB.";
  }
  size_t lines = 0;
  for (const auto& field : request) {
    if (field.name_string().size() + field.value().size() + 2 > kMaxHeaderLine) {
      *status = 431;
      return "A header line is longer than 8 KB.";
    }
    ++lines;
  }
  if (lines > kMaxHeaderLines) {
    *status = 431;
    return "The request has more than 100 header lines.";
  }
  // Two ways to frame one body is how requests are smuggled past proxies.
  if (request.count(http::field::content_length) != 0 &&
      request.count(http::field::transfer_encoding) != 0) {
    *status = 400;
    return "The request has both Content-Length and Transfer-Encoding.";
  }
  return nullptr;
}

}  // namespace

void LimitRequest(RequestParser& parser) {
  parser.header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
  parser.body_limit(kMaxRequestBody);
}

HttpResponse Respond(HttpHandler& handler, RequestParser& parser,
                     const boost::beast::error_code& error, std::string_view remote) {
  if (error) return RefuseRead(error, parser);
  const http::request<http::string_body>& request = parser.get();
  unsigned status = 0;
  if (const char* reason = BrokenRule(request, &status)) {
    return Refuse(status, reason, request.version());
  }
  const bool head = request.method() == http::verb::head;
  HttpRequest asked;
  asked.method = head ? std::string_view("GET") : View(request.method_string());
  asked.target = View(request.target());
  const auto field = [&request](http::field name) {
    const auto found = request.find(name);
    return found == request.end() ? std::string_view() : View(found->value());
  };
  asked.host = field(http::field::host);
  asked.origin = field(http::field::origin);
  const auto fetch_site = request.find("Sec-Fetch-Site");
  if (fetch_site != request.end()) asked.fetch_site = View(fetch_site->value());
  asked.body = request.body();
  asked.remote = remote;
  HttpReply reply = handler.Answer(asked);

  HttpResponse response{static_cast<http::status>(reply.status), request.version()};
  Common(response, reply.content_type);
  for (const HttpHeader* header = reply.headers; header != nullptr && header->name != nullptr;
       ++header) {
    response.set(header->name, header->value);
  }
  response.body() = std::move(reply.body);
  response.keep_alive(request.keep_alive());
  response.prepare_payload();
  // HEAD: the length GET's body would have, and no body.
  if (head) response.body().clear();
  return response;
}
