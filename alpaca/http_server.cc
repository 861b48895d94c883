#include "alpaca/http_server.h"

#include <cerrno>
#include <cstring>

#include <httplib.h>

#include "alpaca/http_setup.h"
#include "alpaca/server_platform.h"
#include "dimmer/log.h"

HttpServer::HttpServer(AlpacaApi& api, bool verbose) : server(new httplib::Server) {
  SetUpHttpLibrary(*server, &listening);
  const auto handle = [&api, verbose](const httplib::Request& request,
                                      httplib::Response& response) {
    // The library's parameters are the query string's, and also a form
    // body's where there is one: then the query string is read alone.
    httplib::Params query;
    if (!request.body.empty()) {
      const size_t mark = request.target.find('?');
      if (mark != std::string::npos) {
        httplib::detail::parse_query_text(request.target.substr(mark + 1), query);
      }
    }
    HttpReply reply = api.Handle(request.method, request.path,
                                 request.body.empty() ? request.params : query, request.body);
    response.status = reply.status;
    response.set_header("Content-Type", reply.content_type);
    response.body = std::move(reply.body);
    if (verbose) {
      LogMessage("INFO: %s %s %d from %s\n", request.method.c_str(), request.target.c_str(),
                 reply.status, request.remote_addr.c_str());
    }
  };
  server->Get(".*", handle);
  server->Put(".*", handle);
  server->Post(".*", handle);
  server->Delete(".*", handle);
  server->Patch(".*", handle);
  server->Options(".*", handle);
}

HttpServer::~HttpServer() = default;

bool HttpServer::Bind(const std::string& address, int port, std::string* problem) {
  errno = 0;
  // Every interface: IPv6 and IPv4 on one socket where the machine has
  // IPv6, else IPv4 alone.
  bool bound = address.empty() ? server->bind_to_port("::", port) ||
                                     server->bind_to_port("0.0.0.0", port)
                               : server->bind_to_port(address.c_str(), port);
  if (!bound) {
    *problem = errno != 0 ? std::strerror(errno) : "no such address";
    return false;
  }
  WidenBacklog(listening);
  return true;
}

void HttpServer::Run() { server->listen_after_bind(); }

void HttpServer::Stop() { server->stop(); }
