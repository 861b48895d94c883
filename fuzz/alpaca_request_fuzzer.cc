// The Alpaca API's handling of one request (route, query and body parsing,
// parameter checks, the members), with the request from the fuzz input:
// method, path, query string and body, separated by newlines. The dimmer is
// the simulated one, in this process.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "alpaca/alpaca_api.h"
#include "alpaca/url_encoding.h"
#include "simulation/simulated_hid_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two simulated dimmers, their map kept for the run only.
  static std::string problem;
  static DeviceRegistry devices(SimulatedHid(2), nullptr, DeviceMap("", "", &problem));
  static const bool scanned = (devices.Scan(), true);
  static AlpacaApi api(devices, "fuzz");
  (void)scanned;
  std::string parts[4];
  size_t part = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && part < 3) {
      ++part;
    } else {
      parts[part] += static_cast<char>(data[i]);
    }
  }
  AlpacaApi::Query query;
  ParseFormText(parts[2], &query);
  const HttpReply reply = api.Handle(parts[0], parts[1], query, parts[3]);
  if (reply.status == 200 && std::string(reply.content_type) == "application/json") {
    // Every JSON reply is JSON, with the Alpaca envelope.
    const nlohmann::json json = nlohmann::json::parse(reply.body, nullptr, false);
    if (json.is_discarded() || !json.contains("ServerTransactionID")) std::abort();
  } else if (reply.status != 200 && (reply.status < 400 || reply.body.empty())) {
    std::abort();
  }
  return 0;
}
