#include "alpaca/alpaca_api.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "alpaca/alpaca_values.h"
#include "alpaca/setup_page.h"
#include "alpaca/url_encoding.h"

namespace {

constexpr char kDeviceType[] = "covercalibrator";
// How often clients' requests make the server look for new units at most:
// they may ask often, and the system's listing is not free.
constexpr unsigned kScanPeriodMs = 500;

// What clients must not keep: every answer but the setup page's style and
// script says the state of the moment.
const HttpHeader kNoStore[] = {{"Cache-Control", "no-store"}, {nullptr, nullptr}};
// The setup page works the light: no other site may show it in a frame of
// its own (click-jacking), and it runs only its own script.
const HttpHeader kPageHeaders[] = {
    {"Cache-Control", "no-store"},
    {"X-Frame-Options", "DENY"},
    {"Content-Security-Policy",
     "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
    {nullptr, nullptr}};

HttpReply Reply(const char* content_type, std::string body, const HttpHeader* headers) {
  HttpReply reply;
  reply.content_type = content_type;
  reply.body = std::move(body);
  reply.headers = headers;
  return reply;
}

// A request's parameters: from the query string with names in any case
// (GET), or from the form body with names as given (PUT).
class Parameters {
 public:
  explicit Parameters(const AlpacaApi::Query& query) : params(query), exact(false) {}
  explicit Parameters(const std::string& body) : params(parsed), exact(true) {
    ParseFormText(body, &parsed);
  }
  Parameters(const Parameters&) = delete;  // it may refer to its own copy
  const std::string* Find(const std::string& name) const {
    for (const auto& param : params) {
      if (exact ? param.first == name : EqualsIgnoringCase(param.first, name)) {
        return &param.second;
      }
    }
    return nullptr;
  }

 private:
  AlpacaApi::Query parsed;
  const AlpacaApi::Query& params;
  bool exact;
};

// The parameters that `parameter` names, read into `arguments`; "" when all
// are there and well formed, else why not.
std::string ReadArguments(Parameter parameter, const Parameters& given,
                          MemberArguments* arguments) {
  auto missing = [](const char* name) { return std::string("Missing parameter ") + name + "."; };
  auto text = [&](const char* name, std::string* out) {
    const std::string* value = given.Find(name);
    if (value == nullptr) return missing(name);
    if (out != nullptr) *out = *value;
    return std::string();
  };
  auto boolean = [&](const char* name, bool* out) {
    const std::string* value = given.Find(name);
    if (value == nullptr) return missing(name);
    if (!ParseBool(*value, out)) {
      return std::string(name) + " must be True or False, not \"" + *value + "\".";
    }
    return std::string();
  };
  std::string problem;
  bool raw = false;
  switch (parameter) {
    case Parameter::kNone:
      break;
    case Parameter::kBrightness: {
      const std::string* value = given.Find("Brightness");
      if (value == nullptr) return missing("Brightness");
      if (!ParseInt32(*value, &arguments->brightness)) {
        return "Brightness must be a whole number in decimal digits within 32 bits, not \"" +
               *value + "\".";
      }
      break;
    }
    case Parameter::kConnected:
      problem = boolean("Connected", &arguments->connected);
      break;
    case Parameter::kAction:
      problem = text("Action", &arguments->action);
      if (problem.empty()) problem = text("Parameters", nullptr);
      break;
    case Parameter::kCommand:
      problem = text("Command", nullptr);
      if (problem.empty()) problem = boolean("Raw", &raw);
      break;
  }
  return problem;
}

// The elements of a path after its leading "/", at most kMax of them; the
// count may be more.
struct PathElements {
  static constexpr size_t kMax = 5;
  std::string_view element[kMax];
  size_t count = 0;
};

PathElements Split(std::string_view path) {
  PathElements elements;
  path.remove_prefix(1);
  while (true) {
    const size_t slash = path.find('/');
    if (elements.count < PathElements::kMax) elements.element[elements.count] = path.substr(0, slash);
    ++elements.count;
    if (slash == std::string_view::npos) return elements;
    path.remove_prefix(slash + 1);
  }
}

bool HasUpperCase(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

HttpReply AlpacaApi::Handle(const std::string& method, const std::string& path,
                            const Query& query, const std::string& body) {
  if (path == "/setup" || path.rfind("/setup/", 0) == 0) {
    if (method != "GET") return Refuse(400, "The setup page is read with GET.");
    return SetupPage(path);
  }
  if (path.rfind("/management/", 0) == 0) {
    if (method != "GET") return Refuse(400, "The management API is read with GET.");
    return Management(path, query);
  }
  if (path.rfind("/api/", 0) != 0) return Refuse(404, "Nothing here: " + path);
  if (method != "GET" && method != "PUT") {
    return Refuse(400, "The Alpaca API takes GET and PUT, not " + method + ".");
  }
  const PathElements elements = Split(path);  // api, v1, type, number, member
  if (elements.count < 2 || elements.element[1] != "v1") {
    return Refuse(400, "This server speaks version 1 of the Alpaca API: /api/v1/.");
  }
  if (elements.count != 5) {
    return Refuse(400, "Alpaca URLs are /api/v1/<device type>/<device number>/<member>.");
  }
  if (HasUpperCase(path)) return Refuse(400, "Alpaca URLs are in lower case: " + path);
  const std::string_view number = elements.element[3];
  CoverCalibrator* device = nullptr;
  // Device numbers as Alpaca writes them: decimal, without leading zeros.
  if (elements.element[2] == kDeviceType && !number.empty() && number.size() <= 2 &&
      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      (number.size() == 1 || number[0] != '0')) {
    device = devices.Find(std::stoi(std::string(number)));
  }
  if (device == nullptr) {
    const int count = devices.count();
    return Refuse(400, "No " + std::string(elements.element[2]) + " number " + std::string(number) +
                           " here: this server has covercalibrator 0" +
                           (count == 1 ? std::string(" only.")
                                       : " to " + std::to_string(count - 1) + "."));
  }
  // A client connecting may be the first to find a new unit.
  if (method == "PUT" && (elements.element[4] == "connected" || elements.element[4] == "connect")) {
    devices.Scan(kScanPeriodMs);
  }
  return Device(*device, method, elements.element[4], query, body);
}

HttpReply AlpacaApi::Device(CoverCalibrator& device, const std::string& method,
                            std::string_view member_name, const Query& query,
                            const std::string& body) {
  const bool put = method == "PUT";
  const Member* member = CoverCalibrator::Find(member_name, put);
  if (member == nullptr) {
    if (!CoverCalibrator::Known(member_name)) {
      return Refuse(400, "CoverCalibrator has no member \"" + std::string(member_name) + "\".");
    }
    return Refuse(400, std::string(member_name) + " is read with " + (put ? "GET" : "PUT") + ", not " +
                           method + ".");
  }
  const Parameters given = put ? Parameters(body) : Parameters(query);
  MemberArguments arguments;
  const std::string problem = ReadArguments(member->parameter, given, &arguments);
  if (!problem.empty()) return Refuse(400, problem);

  const std::string* client_id = given.Find("ClientID");
  const std::string* transaction = given.Find("ClientTransactionID");
  const uint32_t client = client_id != nullptr ? ParseClientNumber(*client_id) : 0;
  MemberResult result = device.Call(*member, client, arguments);

  // The envelope is written as it stands, as nlohmann-json would write it
  // (clients poll many times a second); the value and the message, which
  // may hold anything, are written by the JSON library.
  const auto dump = [](const Json& json) {
    // Whatever a client sent, the reply is valid UTF-8.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  std::string text;
  text.reserve(160 + result.value_text.size() + result.error_message.size());
  text += '{';
  if (!put && result.error_number == 0) {
    text += "\"Value\":";
    text += result.value_text.empty() ? dump(result.value) : result.value_text;
    text += ',';
  }
  text += "\"ClientTransactionID\":";
  text += std::to_string(transaction != nullptr ? ParseClientNumber(*transaction) : 0);
  text += ",\"ServerTransactionID\":";
  text += std::to_string(++transactions);
  text += ",\"ErrorNumber\":";
  text += std::to_string(result.error_number);
  text += ",\"ErrorMessage\":";
  text += result.error_message.empty() ? "\"\"" : dump(result.error_message);
  text += '}';
  return Reply("application/json", std::move(text), kNoStore);
}

HttpReply AlpacaApi::Management(const std::string& path, const Query& query) {
  Json value;
  if (path == "/management/apiversions") {
    value = Json::array({1});
  } else if (path == "/management/v1/description") {
    value = {{"ServerName", "Light Dimmer Alpaca Server"},
             {"Manufacturer", "Light Dimmer"},
             {"ManufacturerVersion", PROJECT_VERSION_TEXT},
             {"Location", location}};
  } else if (path == "/management/v1/configureddevices") {
    devices.Scan(kScanPeriodMs);
    value = Json::array();
    for (const DeviceRegistry::Listed& device : devices.List()) {
      value.push_back({{"DeviceName", device.name},
                       {"DeviceType", "CoverCalibrator"},
                       {"DeviceNumber", device.number},
                       {"UniqueID", device.unique_id}});
    }
  } else {
    return Refuse(404, "The management API has no " + path);
  }
  const Parameters given(query);
  const std::string* transaction = given.Find("ClientTransactionID");
  Json reply = {
      {"Value", value},
      {"ClientTransactionID", transaction != nullptr ? ParseClientNumber(*transaction) : 0},
      {"ServerTransactionID", ++transactions},
      {"ErrorNumber", 0},
      {"ErrorMessage", ""}};
  return Reply("application/json", reply.dump(), kNoStore);
}

HttpReply AlpacaApi::SetupPage(const std::string& path) {
  // The page, also at each device's setup address, whose number it reads.
  const std::string_view device_page = "/setup/v1/covercalibrator/";
  const std::string_view page_end = "/setup";
  if (path == "/setup" ||
      (path.size() > device_page.size() + page_end.size() && path.rfind(device_page, 0) == 0 &&
       path.compare(path.size() - page_end.size(), page_end.size(), page_end) == 0)) {
    return Reply("text/html; charset=utf-8", kSetupPage, kPageHeaders);
  }
  if (path == kSetupStylePath) return Reply("text/css; charset=utf-8", kSetupStyle, nullptr);
  if (path == kSetupScriptPath) {
    return Reply("text/javascript; charset=utf-8", kSetupScript, nullptr);
  }
  return Refuse(404, "Nothing here: " + path);
}

bool AlpacaApi::MayWait(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  const PathElements elements = Split(path);
  return elements.count == 5 && elements.element[4] == "connected";
}

HttpReply AlpacaApi::Refuse(int status, std::string reason) {
  HttpReply reply = Reply("text/plain; charset=utf-8", std::move(reason) + "\n", kNoStore);
  reply.status = status;
  return reply;
}
