// The Alpaca API as the HTTP layer's handler: browsers held to this
// server's own names (host_policy.h), the request target decoded for the
// API, and a log line per request where there is a log for them
// (--verbose).
#ifndef ALPACA_ALPACA_HTTP_H_
#define ALPACA_ALPACA_HTTP_H_

#include <cstdio>

#include "alpaca/alpaca_api.h"
#include "alpaca/host_policy.h"
#include "alpaca/http_handler.h"

class AlpacaHttp : public HttpHandler {
 public:
  // `log`: where each request is logged, or null.
  AlpacaHttp(AlpacaApi& api, HostPolicy hosts, std::FILE* log)
      : api(api), hosts(std::move(hosts)), log(log) {}

  HttpReply Answer(const HttpRequest& request) override;
  bool MayWait(std::string_view method, std::string_view target) const override;

 private:
  HttpReply Route(const HttpRequest& request);

  AlpacaApi& api;
  const HostPolicy hosts;
  std::FILE* const log;
};

#endif  // ALPACA_ALPACA_HTTP_H_
