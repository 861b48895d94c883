// The Alpaca protocol over HTTP, apart from the HTTP library itself: which
// path is which member, where parameters come from and what they may hold,
// and the envelope every JSON reply has. No member sees HTTP, and none
// repeats these rules.
//
// - Device API v1 at /api/v1/covercalibrator/0/<member>, in lower case;
//   Management API v1 under /management; the setup page at /setup.
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
#include "alpaca/http_handler.h"

// What the management API tells about this server.
struct ServerIdentity {
  std::string unique_id;  // the device's, the same after a restart
  std::string location;   // the machine's name
};

class AlpacaApi {
 public:
  AlpacaApi(CoverCalibrator& device, ServerIdentity identity)
      : device(device), identity(std::move(identity)) {}

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
  HttpReply Device(const std::string& method, std::string_view member_name, const Query& query,
                   const std::string& body);
  HttpReply SetupPage(const std::string& path);

  CoverCalibrator& device;
  const ServerIdentity identity;
  std::atomic<uint32_t> transactions{0};
};

#endif  // ALPACA_ALPACA_API_H_
