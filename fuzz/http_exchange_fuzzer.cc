// The server's HTTP layer without its socket: the fuzz input is what a
// client sends on a new connection. It is read as the server reads it, with
// the same limits, and each request answered as the server answers it, by
// the Alpaca API on the simulated dimmer in this process; the replies must
// be well formed, and refusals must close the connection.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <boost/beast/http/error.hpp>

#include "alpaca/alpaca_http.h"
#include "alpaca/http_exchange.h"
#include "simulation/simulated_hid_link.h"

namespace http = boost::beast::http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two simulated dimmers, their map kept for the run only.
  static std::string problem;
  static DeviceRegistry devices(SimulatedHid(2), nullptr, DeviceMap("", "", &problem));
  static const bool scanned = (devices.Scan(), true);
  static AlpacaApi api(devices, "fuzz");
  (void)scanned;
  static AlpacaHttp handler(api, HostPolicy("fuzz", {"allowed.example"}), nullptr);
  boost::asio::const_buffer input(data, size);
  // Pipelined requests, one after the other, as on one connection.
  for (int count = 0; count < 8 && input.size() != 0; ++count) {
    RequestParser parser;
    LimitRequest(parser);
    boost::beast::error_code error;
    while (input.size() != 0 && !parser.is_done()) {
      const size_t used = parser.put(input, error);
      input += used;
      if (error == http::error::need_more) error = {};
      if (error || used == 0) break;
    }
    if (!error && !parser.is_done()) return 0;  // the rest would still come
    const auto& request = parser.get();
    handler.MayWait({request.method_string().data(), request.method_string().size()},
                    {request.target().data(), request.target().size()});
    const HttpResponse response = Respond(handler, parser, error, "127.0.0.1");
    if (response.result_int() < 200 || response.result_int() > 599) std::abort();
    if (response[http::field::content_type].empty()) std::abort();
    if (response.result_int() >= 400 && response.body().empty() &&
        parser.get().method() != http::verb::head) {
      std::abort();
    }
    if (!response.keep_alive()) return 0;
  }
  return 0;
}
