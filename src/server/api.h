// The Hall of fame's API, the page and the server's own pages (/healthz, /metrics), on top of
// the store; and the counters the workers add their verdicts to.
#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "server/http.h"
#include "server/store.h"
#include "server/verify.h"

// Counters for /metrics, in this process.
class Metrics {
 public:
  void submission(int status);
  void verdict(const Verdict& v);
  void requeued(int64_t n) { requeued_ += n; }
  // Prometheus' text format.
  std::string text(int64_t queue_depth, const std::string& build) const;

 private:
  static constexpr std::array<double, 9> kBuckets = {0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 10};
  std::atomic<int64_t> accepted_{0}, duplicates_{0}, refused_{0}, requeued_{0};
  std::array<std::atomic<int64_t>, kVerdictKinds> verdicts_{};
  mutable std::mutex seconds_mutex_;
  std::array<int64_t, kBuckets.size()> seconds_buckets_{};
  double seconds_sum_ = 0;
  int64_t seconds_count_ = 0;
};

// Submissions and withdrawals per client address: a bucket of `per_minute` that refills
// evenly; an empty one answers 429 with the seconds until the next.
class RateLimiter {
 public:
  explicit RateLimiter(int64_t per_minute) : per_minute_(per_minute) {}
  // 0 when the request may go on, else the seconds to wait.
  int64_t take(const std::string& address, std::chrono::steady_clock::time_point now);

 private:
  struct Bucket {
    double tokens;
    std::chrono::steady_clock::time_point at;
  };
  int64_t per_minute_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
};

struct ApiOptions {
  std::string web_dir;  // the page, served at "/"; empty: none
  int64_t queue_cap = 10000;
  int64_t rate_per_minute = 30;
  bool trust_proxy = false;  // the client's address is the last one in X-Forwarded-For
  std::set<std::string> reserved;  // names nobody may claim, in lower case
  std::string build;
};

class Api final : public HttpApp {
 public:
  Api(ApiOptions options, Store* store, Metrics* metrics);

  size_t body_limit(const std::string& method, const std::string& path) const override;
  bool answer_now(const HttpRequest& req, HttpResponse* res) override;
  void answer(const HttpRequest& req, HttpResponse* res) override;
  HttpResponse refusal(int status, const std::string& message) override;

  // A verdict or a withdrawal changed the boards.
  void boards_changed() { ++generation_; }
  // Called after each submission stored (set before serving).
  void set_on_queued(std::function<void()> f) { on_queued_ = std::move(f); }

 private:
  void submit(const HttpRequest& req, HttpResponse* res);
  void submission(const std::string& id, const HttpRequest& req, HttpResponse* res);
  bool board(const HttpRequest& req, HttpResponse* res, bool cached_only);
  bool file(const HttpRequest& req, HttpResponse* res);
  std::string client(const HttpRequest& req) const;

  const ApiOptions options_;
  Store* const store_;
  Metrics* const metrics_;
  RateLimiter limiter_;
  std::function<void()> on_queued_;

  // Board replies, each kept for a second or until the boards change.
  struct Cached {
    std::string body;
    int64_t generation;
    std::chrono::steady_clock::time_point at;
  };
  std::atomic<int64_t> generation_{0};
  std::mutex cache_mutex_;
  std::map<std::string, Cached> cache_;
};

// Reads the reserved names (one a line, '#' starts a comment) from `path`, writing a first list
// there when there is no file. Returns false with *error when neither works.
bool load_reserved_names(const std::string& path, std::set<std::string>* keys, std::string* error);
