// The least an Alpaca server can do for a request: the server's own HTTP
// transport, answering every request with a fixed JSON reply of the size of
// the server's, with the headers every API reply carries.
//   alpaca_floor PORT REPLY_BYTES
#include <cstdlib>
#include <string>

#include "alpaca/http_server.h"

namespace {

const HttpHeader kApiHeaders[] = {{"Cache-Control", "no-store"}, {nullptr, nullptr}};

class FixedReply : public HttpHandler {
 public:
  explicit FixedReply(size_t size) {
    // A JSON object padded with spaces to the size asked for.
    reply.body = "{\"Value\":1}";
    if (size > reply.body.size()) reply.body.insert(reply.body.size() - 1, size - reply.body.size(), ' ');
    reply.headers = kApiHeaders;
  }
  HttpReply Answer(const HttpRequest&) override { return reply; }
  bool MayWait(std::string_view, std::string_view) const override { return false; }

 private:
  HttpReply reply;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FixedReply handler(std::strtoul(argv[2], nullptr, 10));
  HttpServer server(handler);
  std::string problem;
  if (!server.Bind("127.0.0.1", std::atoi(argv[1]), &problem)) return 1;
  server.Run();
  return 0;
}
