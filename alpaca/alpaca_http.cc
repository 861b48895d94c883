#include "alpaca/alpaca_http.h"

#include <string>

#include "alpaca/url_encoding.h"
#include "dimmer/log.h"

namespace {

// Text for a log line: control bytes and bytes beyond ASCII as \xNN, so
// that no request can write into the log what it likes.
std::string Printable(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '\\') {
      static const char kHex[] = "0123456789abcdef";
      printable += "\\x";
      printable += kHex[byte >> 4];
      printable += kHex[byte & 15];
    } else {
      printable += c;
    }
  }
  return printable;
}

}  // namespace

HttpReply AlpacaHttp::Answer(const HttpRequest& request) {
  HttpReply reply = Route(request);
  if (log != nullptr) {
    LogTo(log, "INFO: %.*s %s %d from %.*s\n", static_cast<int>(request.method.size()),
               request.method.data(), Printable(request.target).c_str(), reply.status,
               static_cast<int>(request.remote.size()), request.remote.data());
  }
  return reply;
}

bool AlpacaHttp::MayWait(std::string_view method, std::string_view target) const {
  return method == "PUT" && AlpacaApi::MayWait(PercentDecode(target.substr(0, target.find('?')), false));
}

HttpReply AlpacaHttp::Route(const HttpRequest& request) {
  const bool browser = !request.origin.empty() || !request.fetch_site.empty();
  if (browser && !hosts.Allows(request.host)) {
    return AlpacaApi::Refuse(403, "A browser reached this server as \"" + Printable(request.host) +
                                      "\", which is not one of its names: use its address, or "
                                      "start it with --allowed-host and that name.");
  }
  const size_t mark = request.target.find('?');
  const std::string_view path = request.target.substr(0, mark);
  if (path.empty() || path[0] != '/') {
    return AlpacaApi::Refuse(400, "The request's target is not a path.");
  }
  AlpacaApi::Query query;
  if (mark != std::string_view::npos) ParseFormText(request.target.substr(mark + 1), &query);
  return api.Handle(std::string(request.method), PercentDecode(path, false), query,
                    std::string(request.body));
}
