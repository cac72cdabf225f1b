#include "server/http.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <limits>
#include <optional>
#include <thread>

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr size_t kHeaderLimit = 8192;
constexpr auto kWriteTimeout = std::chrono::seconds(30);
// After refusing a body, what the client still sends is read and dropped for a while, so that
// it sees the answer instead of a reset connection.
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr size_t kDrainBytes = 16 << 20;

class Server;

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket&& socket, Server* server, std::string remote);
  ~Session();
  void start() { read_header(); }

 private:
  void read_header();
  void on_header(beast::error_code ec);
  void read_body();
  void on_request(beast::error_code ec);
  void send(HttpResponse res, bool close);
  void refuse(int status, const std::string& message);
  void drain();

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::shared_ptr<http::response<http::string_body>> response_;
  Server* server_;
  std::string remote_;
  bool head_ = false;
  size_t drained_ = 0;
  char sink_[16384];
};

class Server final : public HttpServer {
 public:
  Server(const HttpOptions& o, HttpApp* handler)
      : options(o), app(handler), io_(o.io_threads), acceptor_(net::make_strand(io_)), pool_(static_cast<size_t>(o.handler_threads)),
        signals_(io_, SIGINT, SIGTERM) {}

  bool listen(std::string* error) {
    beast::error_code ec;
    const auto address = net::ip::make_address(options.host, ec);
    if (ec) {
      *error = "cannot listen on " + options.host + ": not an IP address";
      return false;
    }
    const tcp::endpoint at(address, options.port);
    acceptor_.open(at.protocol(), ec);
    if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(at, ec);
    if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
      *error = "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " + ec.message();
      return false;
    }
    port_ = acceptor_.local_endpoint().port();
    return true;
  }

  uint16_t port() const override { return port_; }

  void run() override {
    signals_.async_wait([this](beast::error_code ec, int) {
      if (!ec) stop();
    });
    accept();
    std::vector<std::thread> threads;
    for (int i = 1; i < options.io_threads; ++i) threads.emplace_back([this] { io_.run(); });
    io_.run();
    for (std::thread& t : threads) t.join();
    pool_.join();
  }

  void stop() override {
    net::post(acceptor_.get_executor(), [this] {
      beast::error_code ec;
      acceptor_.close(ec);
    });
    io_.stop();
  }

  // Runs `work` on a handler thread.
  template <typename F>
  void handle(F&& work) {
    net::post(pool_, std::forward<F>(work));
  }

  const HttpOptions options;
  HttpApp* const app;
  std::atomic<size_t> connections{0};

 private:
  void accept() {
    acceptor_.async_accept(net::make_strand(io_), [this](beast::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted) return;
      if (ec) {
        // Out of file descriptors, say: try again in a moment rather than at once, for ever.
        pause_.expires_after(std::chrono::milliseconds(50));
        pause_.async_wait([this](beast::error_code e) {
          if (!e) accept();
        });
        return;
      }
      beast::error_code e;
      const auto peer = socket.remote_endpoint(e);
      if (!e && connections.load() < options.max_connections) {
        socket.set_option(tcp::no_delay(true), e);
        std::make_shared<Session>(std::move(socket), this, peer.address().to_string())->start();
      }
      // Over the limit the socket closes here, at once.
      accept();
    });
  }

  net::io_context io_;
  tcp::acceptor acceptor_;
  net::thread_pool pool_;
  net::signal_set signals_;
  net::steady_timer pause_{acceptor_.get_executor()};
  uint16_t port_ = 0;
};

Session::Session(tcp::socket&& socket, Server* server, std::string remote)
    : stream_(std::move(socket)), server_(server), remote_(std::move(remote)) {
  ++server_->connections;
}

Session::~Session() { --server_->connections; }

void Session::read_header() {
  parser_.emplace();
  parser_->header_limit(kHeaderLimit);
  // Set for the request once its header has arrived (Boost 1.74 takes no limit for a limit of 0).
  parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  // One deadline for the whole request: a client that trickles its bytes is cut off at it.
  stream_.expires_after(server_->options.request_timeout);
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code ec, size_t) { self->on_header(ec); });
}

void Session::on_header(beast::error_code ec) {
  if (ec == http::error::header_limit) return refuse(431, "the request's header is too large");
  if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::operation_aborted) {
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    return;
  }
  if (ec) return refuse(400, "not an HTTP request this server understands (" + ec.message() + ")");
  const auto& req = parser_->get();
  const std::string target(req.target());
  const std::string method = req.method() == http::verb::head ? "GET" : std::string(req.method_string());
  const size_t limit = server_->app->body_limit(method, target.substr(0, target.find('?')));
  parser_->body_limit(limit);
  if (parser_->content_length() && *parser_->content_length() > limit)
    return refuse(413, "the body is larger than " + std::to_string(limit) + " bytes");
  if (beast::iequals(req[http::field::expect], "100-continue")) {
    auto cont = std::make_shared<http::response<http::empty_body>>(http::status::continue_, req.version());
    http::async_write(stream_, *cont, [self = shared_from_this(), cont](beast::error_code e, size_t) {
      if (!e) self->read_body();
    });
    return;
  }
  read_body();
}

void Session::read_body() {
  http::async_read(stream_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code ec, size_t) { self->on_request(ec); });
}

void Session::on_request(beast::error_code ec) {
  if (ec == http::error::body_limit) return refuse(413, "the body is too large");
  if (ec) {
    // Cut short, or too slow: nothing of it is used.
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    return;
  }
  auto& msg = parser_->get();
  HttpRequest req;
  head_ = msg.method() == http::verb::head;
  req.head = head_;
  req.method = head_ ? "GET" : std::string(msg.method_string());
  const std::string target(msg.target());
  const size_t q = target.find('?');
  req.path = target.substr(0, q);
  if (q != std::string::npos) req.query = target.substr(q + 1);
  req.authorization = std::string(msg[http::field::authorization]);
  req.forwarded_for = std::string(msg["X-Forwarded-For"]);
  req.remote = remote_;
  req.body = std::move(msg.body());
  const bool close = !msg.keep_alive();
  HttpResponse res;
  if (server_->app->answer_now(req, &res)) return send(std::move(res), close);
  server_->handle([self = shared_from_this(), req = std::move(req), close] {
    HttpResponse r;
    try {
      self->server_->app->answer(req, &r);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "pixbrk-server: %s %s: %s\n", req.method.c_str(), req.path.c_str(), e.what());
      r = self->server_->app->refusal(500, "the server failed to answer; try again later");
    }
    net::post(self->stream_.get_executor(), [self, r = std::move(r), close]() mutable { self->send(std::move(r), close); });
  });
}

void Session::send(HttpResponse res, bool close) {
  response_ = std::make_shared<http::response<http::string_body>>();
  auto& out = *response_;
  out.version(parser_->get().version());
  out.result(static_cast<unsigned>(res.status));
  out.set(http::field::content_type, res.content_type);
  for (auto& [k, v] : res.headers) out.set(k, v);
  out.keep_alive(!close);
  const size_t size = res.body.size();
  out.body() = std::move(res.body);
  out.prepare_payload();
  if (head_) {
    out.body().clear();
    out.content_length(size);
  }
  stream_.expires_after(kWriteTimeout);
  http::async_write(stream_, out, [self = shared_from_this(), close](beast::error_code ec, size_t) {
    if (ec) return;
    if (close) {
      self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
      return;
    }
    self->read_header();
  });
}

void Session::refuse(int status, const std::string& message) {
  HttpResponse res = server_->app->refusal(status, message);
  response_ = std::make_shared<http::response<http::string_body>>();
  auto& out = *response_;
  out.version(11);
  out.result(static_cast<unsigned>(status));
  out.set(http::field::content_type, res.content_type);
  out.keep_alive(false);
  out.body() = std::move(res.body);
  out.prepare_payload();
  stream_.expires_after(kWriteTimeout);
  http::async_write(stream_, out, [self = shared_from_this()](beast::error_code ec, size_t) {
    if (ec) return;
    self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    self->stream_.expires_after(kDrainTime);
    self->drain();
  });
}

void Session::drain() {
  stream_.async_read_some(net::buffer(sink_), [self = shared_from_this()](beast::error_code ec, size_t n) {
    self->drained_ += n;
    if (!ec && self->drained_ < kDrainBytes) self->drain();
  });
}

}  // namespace

std::unique_ptr<HttpServer> HttpServer::start(const HttpOptions& options, HttpApp* app, std::string* error) {
  auto s = std::make_unique<Server>(options, app);
  if (!s->listen(error)) return nullptr;
  return s;
}
