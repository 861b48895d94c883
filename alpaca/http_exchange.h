// One HTTP exchange apart from its socket: the limits a request is read
// under, and the reply to what was read, a refusal when the request broke a
// limit or the rules. The server reads from its connections with it, and the
// fuzzer from its input.
#ifndef ALPACA_HTTP_EXCHANGE_H_
#define ALPACA_HTTP_EXCHANGE_H_

#include <cstddef>
#include <string_view>

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "alpaca/http_handler.h"

// What one request may be. The header, request line included, is at most
// kMaxHeaderBytes in kMaxHeaderLines lines of at most kMaxHeaderLine bytes.
constexpr size_t kMaxRequestLine = 8 * 1024;
constexpr size_t kMaxHeaderLine = 8 * 1024;
constexpr size_t kMaxHeaderBytes = 32 * 1024;
constexpr size_t kMaxHeaderLines = 100;
constexpr size_t kMaxRequestBody = 64 * 1024;

using RequestParser = boost::beast::http::request_parser<boost::beast::http::string_body>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

// Sets the limits of a parser for the next request.
void LimitRequest(RequestParser& parser);

// The reply to the request that `parser` read, by `handler`; or, when
// reading ended with `error` (boost::beast::error::timeout for a request
// that took too long), the refusal that says why. A refusal closes the
// connection.
HttpResponse Respond(HttpHandler& handler, RequestParser& parser,
                     const boost::beast::error_code& error, std::string_view remote);

#endif  // ALPACA_HTTP_EXCHANGE_H_
