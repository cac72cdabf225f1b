// pixbrk-server: the Hall of fame. Stores submitted replays, plays each one again on worker
// threads and ranks the verified ones.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pack/args.h"
#include "server/api.h"
#include "server/crypto.h"
#include "server/http.h"
#include "server/store.h"
#include "server/verify.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWorkerNice = 10;  // workers' priority below the threads that answer requests

constexpr const char* kUsage =
    "usage: pixbrk-server --data DIR [--listen HOST:PORT] [--db postgresql://...] [--web DIR] [--rom FILE]\n"
    "                     [--workers N] [--threads N] [--queue-cap N] [--rate-limit N] [--job-timeout S]\n"
    "                     [--client-timeout S] [--trust-proxy]\n"
    "\n"
    "The Hall of fame: an online ranking of replays that the server verifies by playing them again.\n"
    "\n"
    "  --data DIR           the SQLite database and the reserved names (reserved-names.txt); made if missing\n"
    "  --listen HOST:PORT   where to serve (default 127.0.0.1:8000; port 0 picks a free one; [::1]:PORT)\n"
    "  --db URL             keep everything in PostgreSQL instead; several servers may share one database\n"
    "  --web DIR            the page served at / (default: the web build beside this program, if any)\n"
    "  --rom FILE           the game's ROMDATA.BIN (default: the one beside this program)\n"
    "  --workers N          threads playing replays (default: one per core; 0: this process only takes\n"
    "                       requests, while others sharing its PostgreSQL database play the replays)\n"
    "  --threads N          threads answering requests that wait for the database (default 8)\n"
    "  --queue-cap N        refuse submissions with 503 while N replays wait (default 10000)\n"
    "  --rate-limit N       submissions and withdrawals a minute from one address (default 30; 0: no limit)\n"
    "  --job-timeout S      longest playback of one replay in seconds (default 10)\n"
    "  --client-timeout S   longest time a client may take to send one request (default 10)\n"
    "  --trust-proxy        take the client's address from X-Forwarded-For (behind a reverse proxy)\n"
    "  --help, --version\n";

struct Options {
  std::string data, listen = "127.0.0.1:8000", db, web, rom;
  bool web_given = false;
  int64_t workers = -1, threads = 8, queue_cap = 10000, rate_limit = 30, job_timeout = 10, client_timeout = 10;
  bool trust_proxy = false;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "pixbrk-server: %s (try --help)\n", message.c_str());
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "pixbrk-server: %s\n", message.c_str());
  return 1;
}

bool parse_number(const char* text, int64_t min, int64_t max, int64_t* out) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

bool split_listen(const std::string& s, std::string* host, uint16_t* port) {
  const size_t colon = s.rfind(':');
  if (colon == std::string::npos) return false;
  *host = s.substr(0, colon);
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
  int64_t p = 0;
  if (host->empty() || !parse_number(s.c_str() + colon + 1, 0, 65535, &p)) return false;
  *port = static_cast<uint16_t>(p);
  return true;
}

fs::path program_dir() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

// Worker threads: each takes the oldest waiting replay, plays it and records the verdict.
class Workers {
 public:
  Workers(Store* store, Verifier* verifier, Metrics* metrics, Api* api, int64_t job_timeout_s, size_t count)
      : store_(store), verifier_(verifier), metrics_(metrics), api_(api), limit_(job_timeout_s * 1000) {
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    name_ = std::string(host) + ":" + std::to_string(getpid()) + ":" + random_hex(4);
    // A live worker always finishes within its lease: the others may play before it.
    lease_ = job_timeout_s * static_cast<int64_t>(count + 1) + 30;
    for (size_t i = 0; i < count; ++i) threads_.emplace_back([this] { loop(); });
  }
  ~Workers() {
    stopping_ = true;
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  // A job was queued: a waiting worker looks at once.
  void wake() { wake_.notify_one(); }

 private:
  void loop() {
    // Playing replays waits for a moment when the machine is busy; answering requests does not.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
    while (!stopping_) {
      bool worked = false;
      try {
        worked = one_job();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "pixbrk-server: worker: %s\n", e.what());
      }
      if (worked) continue;
      // Nothing waiting (or the database failed): look again a little later; other processes
      // sharing a PostgreSQL queue add jobs this one hears nothing of.
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(250));
    }
  }

  bool one_job() {
    const auto job = store_->take_job(std::time(nullptr), lease_);
    if (!job) return false;
    Verdict v;
    std::string error;
    if (!verifier_->verify(job->replay, limit_, &v, &error)) {
      std::fprintf(stderr, "pixbrk-server: cannot play %s: %s\n", job->id.c_str(), error.c_str());
      store_->release_job(*job, std::time(nullptr) + 30);
      return false;
    }
    if (store_->finish_job(*job, v, verifier_->build(), name_, std::time(nullptr))) {
      metrics_->verdict(v);
      api_->boards_changed();
    } else {
      std::fprintf(stderr, "pixbrk-server: the lease on %s ran out before its verdict\n", job->id.c_str());
    }
    return true;
  }

  Store* store_;
  Verifier* verifier_;
  Metrics* metrics_;
  Api* api_;
  std::chrono::milliseconds limit_;
  int64_t lease_ = 0;
  std::string name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  ArgReader a("pixbrk-server", argc, argv,
              std::string(PIXBRK_VERSION) + " (game code " + std::string(game_source_hash()).substr(0, 16) + ")");
  struct Number {
    const char* flag;
    int64_t* out;
    int64_t min, max;
  };
  const Number numbers[] = {{"--workers", &o.workers, 0, 64},           {"--threads", &o.threads, 1, 256},
                            {"--queue-cap", &o.queue_cap, 1, 100000000}, {"--rate-limit", &o.rate_limit, 0, 1000000},
                            {"--job-timeout", &o.job_timeout, 1, 3600},  {"--client-timeout", &o.client_timeout, 1, 3600}};
  while (a.next()) {
    if (a.is_help()) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a.is_version()) return 0;
    if (a.is_flag("--trust-proxy")) {
      o.trust_proxy = true;
      continue;
    }
    const Number* number = nullptr;
    for (const Number& n : numbers) number = a.is(n.flag) ? &n : number;
    std::string v;
    if (number != nullptr) {
      if (!a.value(&v, "a number")) return 2;
      if (!parse_number(v.c_str(), number->min, number->max, number->out))
        return a.usage_error(a.arg() + " takes a number from " + std::to_string(number->min) + " to " +
                             std::to_string(number->max));
    } else if (a.is("--data") || a.is("--listen") || a.is("--db") || a.is("--web") || a.is("--rom")) {
      const std::string name = a.arg();
      if (!a.value(&v, "a value")) return 2;
      (name == "--data" ? o.data : name == "--listen" ? o.listen : name == "--db" ? o.db : name == "--web" ? o.web : o.rom) = v;
      o.web_given = o.web_given || name == "--web";
    } else {
      return a.unexpected();
    }
  }
  if (a.failed()) return 2;
  if (o.data.empty()) return usage_error("--data DIR is needed");
  HttpOptions http;
  if (!split_listen(o.listen, &http.host, &http.port)) return usage_error("--listen takes HOST:PORT");

  // Every path is made absolute now.
  std::error_code ec;
  fs::create_directories(o.data, ec);
  const fs::path data = fs::absolute(o.data, ec);
  if (!fs::is_directory(data)) return fail("cannot use the data folder " + o.data);
  const fs::path here = program_dir();
  const fs::path rom = o.rom.empty() ? here / "ROMDATA.BIN" : fs::absolute(o.rom);
  fs::path web;
  if (o.web_given) {
    web = fs::absolute(o.web);
    if (!fs::is_regular_file(web / "index.html")) return fail("--web " + o.web + " holds no index.html");
  } else if (fs::is_regular_file(here.parent_path() / "web" / "index.html")) {
    web = here.parent_path() / "web";
  }

  ApiOptions api_options;
  std::string error;
  if (!load_reserved_names((data / "reserved-names.txt").string(), &api_options.reserved, &error)) return fail(error);
  const size_t workers = o.workers >= 0 ? static_cast<size_t>(o.workers) : std::max(1u, std::thread::hardware_concurrency());
  auto store = Store::open(o.db, data.string(), static_cast<size_t>(o.threads) + workers, &error);
  if (!store) return fail(error);
  auto verifier = Verifier::open(rom.string(), &error);
  if (!verifier) return fail(error);

  Metrics metrics;
  if (store->dialect() == Dialect::Sqlite) store->clear_leases();
  // Verdicts another build gave are played again by this one (a process that plays nothing
  // leaves them to those that do).
  const int64_t requeued = workers > 0 ? store->requeue_other_builds(verifier->build()) : 0;
  metrics.requeued(requeued);

  api_options.web_dir = web.string();
  api_options.queue_cap = o.queue_cap;
  api_options.rate_per_minute = o.rate_limit;
  api_options.trust_proxy = o.trust_proxy;
  api_options.build = verifier->build();
  Api api(api_options, store.get(), &metrics);
  http.request_timeout = std::chrono::seconds(o.client_timeout);
  // As many connections as the descriptors allow, with room for the database and the files.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    http.max_connections = static_cast<size_t>(std::clamp<rlim_t>(files.rlim_cur, 128, 65536) - 100);
  }
  http.handler_threads = static_cast<int>(o.threads);
  http.io_threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  auto server = HttpServer::start(http, &api, &error);
  if (!server) return fail(error);

  const bool v6 = http.host.find(':') != std::string::npos;
  std::printf("pixbrk-server: listening on http://%s%s%s:%u/ (build %.16s, %s%s, %zu workers%s%s)\n",
              v6 ? "[" : "", http.host.c_str(), v6 ? "]" : "", static_cast<unsigned>(server->port()),
              verifier->build().c_str(), store->dialect() == Dialect::Sqlite ? "SQLite in " : "PostgreSQL",
              store->dialect() == Dialect::Sqlite ? data.c_str() : "", workers, web.empty() ? "" : ", page ",
              web.c_str());
  if (requeued > 0) std::printf("pixbrk-server: %lld verdicts of another build queued again\n", static_cast<long long>(requeued));
  std::fflush(stdout);
  {
    Workers running(store.get(), verifier.get(), &metrics, &api, o.job_timeout, workers);
    api.set_on_queued([&running] { running.wake(); });
    server->run();
    api.set_on_queued(nullptr);
  }
  std::printf("pixbrk-server: stopped\n");
  return 0;
}
