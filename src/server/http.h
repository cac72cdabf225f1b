// The HTTP side: connections served by a few threads that never wait for a client (Boost.Beast
// on Asio), each request within a time limit from its first byte to its last, and a pool of
// handler threads for the answers that wait for the database.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
  std::string method;  // "GET" for a HEAD request too (`head` is then set)
  bool head = false;
  std::string path;   // without the query, not decoded
  std::string query;  // after '?', not decoded
  std::string authorization;
  std::string forwarded_for;  // the X-Forwarded-For header
  std::string remote;         // the peer's address
  std::string body;
};

struct HttpResponse {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class HttpApp {
 public:
  virtual ~HttpApp() = default;
  // The largest body a request to this method and path may carry.
  virtual size_t body_limit(const std::string& method, const std::string& path) const = 0;
  // Answers at once, on a connection thread, what needs no waiting; false hands the request
  // to answer() on a handler thread.
  virtual bool answer_now(const HttpRequest& req, HttpResponse* res) = 0;
  virtual void answer(const HttpRequest& req, HttpResponse* res) = 0;
  // The answer to a request the server refuses before the app sees it.
  virtual HttpResponse refusal(int status, const std::string& message) = 0;
};

struct HttpOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 8000;  // 0: any free port
  int io_threads = 2;
  int handler_threads = 8;
  // From a request's first byte (or the end of the one before on the connection) to its last.
  std::chrono::milliseconds request_timeout{10000};
  size_t max_connections = 1024;  // more are closed at once
};

class HttpServer {
 public:
  // Listens; returns nullptr with *error when the address cannot be used.
  static std::unique_ptr<HttpServer> start(const HttpOptions& options, HttpApp* app, std::string* error);
  virtual ~HttpServer() = default;
  virtual uint16_t port() const = 0;
  // Serves until SIGINT or SIGTERM arrives or stop() is called, then waits for the handler
  // threads to finish what they had started.
  virtual void run() = 0;
  virtual void stop() = 0;
};
