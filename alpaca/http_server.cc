#include "alpaca/http_server.h"

#include <chrono>
#include <map>
#include <optional>
#include <unordered_set>
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "alpaca/http_exchange.h"
#include "alpaca/server_platform.h"

namespace net = boost::asio;
namespace http = boost::beast::http;
using boost::beast::error_code;
using tcp = net::ip::tcp;

namespace {

// Threads for the requests that may wait for the device.
constexpr int kWaitingThreads = 4;
// How long a stop lets replies under way finish.
constexpr auto kStopGrace = std::chrono::milliseconds(1500);
// How long a refused client is read from, and not answered, before its
// connection closes: closing on unread bytes would reset the connection and
// could destroy the refusal before the client has read it.
constexpr int kLingerSeconds = 1;

}  // namespace

class HttpServer::Serving {
 public:
  explicit Serving(HttpHandler& handler) : handler(handler) {}

  bool Bind(const std::string& address, int port, std::string* problem);
  void Run();
  void Stop();

 private:
  class Connection;

  void Accept();
  void Admit(tcp::socket socket);
  void Forget(Connection* connection);

  HttpHandler& handler;
  // One thread runs it: 1 tells the library so.
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::thread_pool waiting{kWaitingThreads};
  net::steady_timer retry{io};
  net::steady_timer grace{io};
  // The rest belongs to the serving thread.
  bool stopping = false;
  std::unordered_set<Connection*> connections;
  std::map<net::ip::address, size_t> per_address;
};

class HttpServer::Serving::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Serving& server, tcp::socket socket, net::ip::address address)
      : server(server),
        socket(std::move(socket)),
        timer(server.io),
        address(address),
        remote(address.to_string()) {}

  const net::ip::address& Address() const { return address; }
  void Start() { WaitForRequest(); }
  // The server stops: a connection with no reply under way closes now.
  void Stop() {
    if (phase == Phase::kIdle || phase == Phase::kReading) Close();
  }
  void Close() {
    if (phase == Phase::kClosed) return;
    phase = Phase::kClosed;
    error_code ignored;
    socket.close(ignored);
    timer.cancel();
    server.Forget(this);
  }

 private:
  enum class Phase { kIdle, kReading, kAnswering, kWriting, kLingering, kClosed };

  void WaitForRequest() {
    if (server.stopping) return Close();
    if (buffer.size() != 0) return ReadRequest();  // pipelined
    phase = Phase::kIdle;
    Arm(kIdleSeconds);
    socket.async_read_some(buffer.prepare(kFirstRead),
                           [self = shared_from_this()](error_code error, size_t size) {
                             self->buffer.commit(size);
                             if (error || self->phase != Phase::kIdle) return self->Close();
                             self->ReadRequest();
                           });
  }

  void ReadRequest() {
    phase = Phase::kReading;
    timed_out = false;
    parser.emplace();
    LimitRequest(*parser);
    Arm(kRequestSeconds);
    http::async_read(socket, buffer, *parser,
                     [self = shared_from_this()](error_code error, size_t) {
                       if (self->phase != Phase::kReading) return;
                       if (self->timed_out) {
                         error = boost::beast::error::timeout;
                       } else if (error == net::error::operation_aborted ||
                                  error == http::error::end_of_stream ||
                                  error == http::error::partial_message ||
                                  error == net::error::eof ||
                                  error == net::error::connection_reset) {
                         return self->Close();  // the client went away
                       }
                       self->Answer(error);
                     });
  }

  void Answer(error_code error) {
    phase = Phase::kAnswering;
    timer.cancel();
    const auto& request = parser->get();
    if (error || !server.handler.MayWait({request.method_string().data(),
                                          request.method_string().size()},
                                         {request.target().data(), request.target().size()})) {
      response = Respond(server.handler, *parser, error, remote);
      return Write();
    }
    net::post(server.waiting, [self = shared_from_this()] {
      HttpResponse answered = Respond(self->server.handler, *self->parser, {}, self->remote);
      net::post(self->server.io, [self, answered = std::move(answered)]() mutable {
        self->response = std::move(answered);
        self->Write();
      });
    });
  }

  void Write() {
    if (phase == Phase::kClosed) return;
    phase = Phase::kWriting;
    const bool keep = response.keep_alive() && !server.stopping;
    response.keep_alive(keep);
    Arm(kRequestSeconds);
    http::async_write(socket, response, [self = shared_from_this(), keep](error_code error, size_t) {
      if (self->phase != Phase::kWriting) return;
      if (error) return self->Close();
      if (!keep) return self->Linger();
      self->parser.reset();
      self->WaitForRequest();
    });
  }

  // Reads what the client still sends, for a while, after the last reply.
  void Linger() {
    phase = Phase::kLingering;
    error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    buffer.clear();
    Arm(kLingerSeconds);
    Discard();
  }
  void Discard() {
    socket.async_read_some(buffer.prepare(kFirstRead),
                           [self = shared_from_this()](error_code error, size_t) {
                             if (error || self->phase != Phase::kLingering) return self->Close();
                             self->Discard();
                           });
  }

  void Arm(int seconds) {
    timer.expires_after(std::chrono::seconds(seconds));
    timer.async_wait([self = shared_from_this()](error_code error) {
      // Set again meanwhile: that later time counts.
      if (error || self->timer.expiry() > net::steady_timer::clock_type::now()) return;
      self->TimeOut();
    });
  }
  void TimeOut() {
    if (phase == Phase::kReading) {
      // Answered with 408 once the read gives up.
      timed_out = true;
      error_code ignored;
      socket.cancel(ignored);
    } else if (phase != Phase::kAnswering) {
      Close();
    }
  }

  static constexpr size_t kFirstRead = 4096;

  Serving& server;
  tcp::socket socket;
  net::steady_timer timer;
  const net::ip::address address;
  const std::string remote;
  Phase phase = Phase::kIdle;
  bool timed_out = false;
  // Room for the largest request the limits allow, and a pipelined start
  // of the next.
  boost::beast::flat_buffer buffer{kMaxHeaderBytes + kMaxRequestBody + kFirstRead};
  std::optional<RequestParser> parser;
  HttpResponse response;
};

bool HttpServer::Serving::Bind(const std::string& address, int port, std::string* problem) {
  error_code error;
  const auto listen = [&](const tcp::endpoint& where, bool dual_stack) {
    acceptor.open(where.protocol(), error);
    if (error) return false;
    error_code ignored;
    if (dual_stack) acceptor.set_option(net::ip::v6_only(false), ignored);
    ClaimPort(static_cast<intptr_t>(acceptor.native_handle()));
    acceptor.bind(where, error);
    if (!error) acceptor.listen(net::socket_base::max_listen_connections, error);
    if (!error) return true;
    acceptor.close(ignored);
    return false;
  };
  const auto at = static_cast<unsigned short>(port);
  bool bound = false;
  if (address.empty()) {
    // Every interface: IPv6 and IPv4 on one socket where the machine has
    // IPv6, else IPv4 alone.
    bound = listen({tcp::v6(), at}, true) || listen({tcp::v4(), at}, false);
  } else {
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(address, std::to_string(port),
                                        tcp::resolver::passive | tcp::resolver::numeric_service,
                                        error);
    if (error) {
      *problem = "no such address";
      return false;
    }
    for (const auto& entry : found) {
      if ((bound = listen(entry.endpoint(), false))) break;
    }
  }
  if (!bound) *problem = error.message();
  return bound;
}

void HttpServer::Serving::Run() {
  Accept();
  io.run();
  waiting.join();
}

void HttpServer::Serving::Stop() {
  net::post(io, [this] {
    stopping = true;
    error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    const std::unordered_set<Connection*> open = connections;
    for (Connection* connection : open) connection->Stop();
    if (connections.empty()) return;
    grace.expires_after(kStopGrace);
    grace.async_wait([this](error_code error) {
      if (error) return;
      const std::unordered_set<Connection*> left = connections;
      for (Connection* connection : left) connection->Close();
    });
  });
}

void HttpServer::Serving::Accept() {
  acceptor.async_accept([this](error_code error, tcp::socket socket) {
    if (stopping || error == net::error::operation_aborted) return;
    if (error) {
      // Out of sockets, most likely: try again shortly, not at once.
      retry.expires_after(std::chrono::milliseconds(50));
      retry.async_wait([this](error_code waited) {
        if (!waited && !stopping) Accept();
      });
      return;
    }
    Admit(std::move(socket));
    Accept();
  });
}

void HttpServer::Serving::Admit(tcp::socket socket) {
  error_code error;
  net::ip::address address = socket.remote_endpoint(error).address();
  if (error) return;
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    address = net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6());
  }
  size_t& from_there = per_address[address];
  if (connections.size() >= kMaxConnections || from_there >= kMaxConnectionsPerAddress) {
    // Refused at once: a queue would only make every client wait.
    if (from_there == 0) per_address.erase(address);
    socket.close(error);
    return;
  }
  ++from_there;
  // Small replies go out at once, not after the peer's delayed ACK.
  socket.set_option(tcp::no_delay(true), error);
  const auto connection = std::make_shared<Connection>(*this, std::move(socket), address);
  connections.insert(connection.get());
  connection->Start();
}

void HttpServer::Serving::Forget(Connection* connection) {
  connections.erase(connection);
  const auto from_there = per_address.find(connection->Address());
  if (from_there != per_address.end() && --from_there->second == 0) per_address.erase(from_there);
  if (stopping && connections.empty()) grace.cancel();
}

HttpServer::HttpServer(HttpHandler& handler) : serving(new Serving(handler)) {}

HttpServer::~HttpServer() = default;

bool HttpServer::Bind(const std::string& address, int port, std::string* problem) {
  return serving->Bind(address, port, problem);
}

void HttpServer::Run() { serving->Run(); }

void HttpServer::Stop() { serving->Stop(); }
