// The Alpaca API as the HTTP layer's handler: browsers held to this
// server's own names (host_policy.h), the request target decoded for the
// API, and, with --verbose, a log line per request.
#ifndef ALPACA_ALPACA_HTTP_H_
#define ALPACA_ALPACA_HTTP_H_

#include "alpaca/alpaca_api.h"
#include "alpaca/host_policy.h"
#include "alpaca/http_handler.h"

class AlpacaHttp : public HttpHandler {
 public:
  AlpacaHttp(AlpacaApi& api, HostPolicy hosts, bool verbose)
      : api(api), hosts(std::move(hosts)), verbose(verbose) {}

  HttpReply Answer(const HttpRequest& request) override;

 private:
  HttpReply Route(const HttpRequest& request);

  AlpacaApi& api;
  const HostPolicy hosts;
  const bool verbose;
};

#endif  // ALPACA_ALPACA_HTTP_H_
