// The Alpaca protocol over HTTP, apart from the HTTP library itself: which
// path is which member, where parameters come from and what they may hold,
// and the envelope every JSON reply has. No member sees HTTP, and none
// repeats these rules.
//
// - Device API v1 at /api/v1/covercalibrator/<number>/<member>, in lower
//   case, for each device registered; Management API v1 under /management;
//   the setup page at /setup.
// - GET parameters come from the query string, their names matched without
//   regard to case; PUT parameters from the form body, names matched
//   exactly.
// - A request the device cannot take as it stands (an unknown path, device
//   or member, the wrong verb, a missing or malformed parameter) is HTTP
//   400 or 404 with a reason in plain text; everything else is HTTP 200 with
//   JSON, whose ErrorNumber says how it went.
#ifndef ALPACA_ALPACA_API_H_
#define ALPACA_ALPACA_API_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "alpaca/cover_calibrator.h"
#include "alpaca/device_registry.h"
#include "alpaca/http_handler.h"

class AlpacaApi {
 public:
  // The devices of `devices`, on the machine called `location`.
  AlpacaApi(DeviceRegistry& devices, std::string location)
      : devices(devices), location(std::move(location)) {}

  // Parameters by name, decoded.
  using Query = std::multimap<std::string, std::string>;

  // One request: its HTTP method, its path (decoded), the parameters of its
  // query string and its body.
  HttpReply Handle(const std::string& method, const std::string& path, const Query& query,
                   const std::string& body);

  // Whether a PUT to `path` may wait for the dimmer: Connected does, until
  // the dimmer is opened or closed.
  static bool MayWait(const std::string& path);

  // A refusal: `status`, with the reason as plain text.
  static HttpReply Refuse(int status, std::string reason);

 private:
  HttpReply Management(const std::string& path, const Query& query);
  HttpReply Device(CoverCalibrator& device, const std::string& method,
                   std::string_view member_name, const Query& query, const std::string& body);
  HttpReply SetupPage(const std::string& path);

  DeviceRegistry& devices;
  const std::string location;
  std::atomic<uint32_t> transactions{0};
};

#endif  // ALPACA_ALPACA_API_H_
