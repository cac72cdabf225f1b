#include "server/api.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "server/submission.h"

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;  // the keys in the order they are written

namespace {

constexpr auto kBoardCacheTime = std::chrono::seconds(1);
constexpr size_t kBoardCacheEntries = 4096;
constexpr int64_t kBoardLimitMax = 100;
constexpr int64_t kBoardOffsetMax = 1000000;
const std::string kApi = "/api/v1/";

// Milliseconds since 1970 on the server's clock: submissions are ordered by it.
int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void reply(HttpResponse* res, int status, const json& body) {
  res->status = status;
  res->content_type = "application/json";
  res->body = body.dump();
  res->headers.emplace_back("Cache-Control", "no-store");
}

void error(HttpResponse* res, int status, const std::string& message) { reply(res, status, json{{"error", message}}); }

void not_allowed(HttpResponse* res, const char* allow) {
  error(res, 405, std::string("this address takes ") + allow);
  res->headers.emplace_back("Allow", allow);
}

// A whole number from min to max, the whole text.
bool parse_count(const std::string& text, int64_t min, int64_t max, int64_t* out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return false;
  *out = v;
  return true;
}

const char* content_type_of(const fs::path& p) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},  {".js", "text/javascript"},      {".mjs", "text/javascript"},
      {".css", "text/css"},                   {".wasm", "application/wasm"},   {".json", "application/json"},
      {".webmanifest", "application/manifest+json"}, {".svg", "image/svg+xml"}, {".png", "image/png"},
      {".ico", "image/x-icon"},               {".BIN", "application/octet-stream"}};
  const std::string ext = p.extension().string();
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return nullptr;
}

json board_json(const BoardEntry& e) {
  return {{"rank", e.rank}, {"name", e.name}, {"score", e.score}, {"id", e.id}, {"date", e.date}, {"frames", e.frames}};
}

}  // namespace

bool load_reserved_names(const std::string& path, std::set<std::string>* keys, std::string* error) {
  if (!fs::exists(path)) {
    std::ofstream out(path);
    out << "# Names nobody may claim on this Hall of fame, one a line, in any case. Read at start-up.\n"
           "admin\nadministrator\nroot\nsystem\nserver\nmoderator\nofficial\nanonymous\nnobody\nnull\n"
           "pixbrk\npixel breaker\nhall of fame\n";
    if (!out) {
      *error = "cannot write " + path;
      return false;
    }
  }
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    size_t start = 0;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
    std::string key;
    for (size_t i = start; i < line.size(); ++i) key += static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
    if (!key.empty()) keys->insert(key);
  }
  return true;
}

// --- metrics -------------------------------------------------------------------------------------

void Metrics::submission(int status) {
  (status == 202 ? accepted_ : status == 200 ? duplicates_ : refused_) += 1;
}

void Metrics::verdict(const Verdict& v) {
  verdicts_[static_cast<size_t>(v.kind)] += 1;
  const std::lock_guard<std::mutex> lock(seconds_mutex_);
  for (size_t i = 0; i < kBuckets.size(); ++i)
    if (v.seconds <= kBuckets[i]) ++seconds_buckets_[i];
  seconds_sum_ += v.seconds;
  ++seconds_count_;
}

std::string Metrics::text(int64_t queue_depth, const std::string& build) const {
  std::ostringstream o;
  o << "# HELP pixbrk_queue_depth Replays waiting for a playback.\n# TYPE pixbrk_queue_depth gauge\n"
    << "pixbrk_queue_depth " << queue_depth << "\n"
    << "# HELP pixbrk_submissions_total Submission requests by result.\n"
       "# TYPE pixbrk_submissions_total counter\n"
    << "pixbrk_submissions_total{result=\"accepted\"} " << accepted_ << "\n"
    << "pixbrk_submissions_total{result=\"duplicate\"} " << duplicates_ << "\n"
    << "pixbrk_submissions_total{result=\"refused\"} " << refused_ << "\n"
    << "# HELP pixbrk_verified_total Replays this process verified.\n# TYPE pixbrk_verified_total counter\n"
    << "pixbrk_verified_total " << verdicts_[0] << "\n"
    << "# HELP pixbrk_rejected_total Replays this process rejected, by reason.\n"
       "# TYPE pixbrk_rejected_total counter\n";
  for (int k = 1; k < kVerdictKinds; ++k)
    o << "pixbrk_rejected_total{reason=\"" << verdict_kind_name(static_cast<VerdictKind>(k)) << "\"} "
      << verdicts_[static_cast<size_t>(k)] << "\n";
  o << "# HELP pixbrk_verification_seconds Time spent playing one replay.\n"
       "# TYPE pixbrk_verification_seconds histogram\n";
  {
    const std::lock_guard<std::mutex> lock(seconds_mutex_);
    for (size_t i = 0; i < kBuckets.size(); ++i)
      o << "pixbrk_verification_seconds_bucket{le=\"" << kBuckets[i] << "\"} " << seconds_buckets_[i] << "\n";
    o << "pixbrk_verification_seconds_bucket{le=\"+Inf\"} " << seconds_count_ << "\n"
      << "pixbrk_verification_seconds_sum " << seconds_sum_ << "\n"
      << "pixbrk_verification_seconds_count " << seconds_count_ << "\n";
  }
  o << "# HELP pixbrk_requeued_total Verdicts of another build queued again at start-up.\n"
       "# TYPE pixbrk_requeued_total counter\n"
    << "pixbrk_requeued_total " << requeued_ << "\n"
    << "# HELP pixbrk_build_info The build that gives this process's verdicts.\n# TYPE pixbrk_build_info gauge\n"
    << "pixbrk_build_info{build=\"" << build << "\"} 1\n";
  return o.str();
}

// --- rate limit ----------------------------------------------------------------------------------

int64_t RateLimiter::take(const std::string& address, std::chrono::steady_clock::time_point now) {
  if (per_minute_ <= 0) return 0;
  const double cap = static_cast<double>(per_minute_), per_second = cap / 60.0;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (buckets_.size() > 100000) {  // forget the addresses whose buckets are full again
    for (auto it = buckets_.begin(); it != buckets_.end();) {
      const double secs = std::chrono::duration<double>(now - it->second.at).count();
      it = it->second.tokens + secs * per_second >= cap ? buckets_.erase(it) : std::next(it);
    }
  }
  auto [it, fresh] = buckets_.try_emplace(address, Bucket{cap, now});
  Bucket& b = it->second;
  if (!fresh) {
    b.tokens = std::min(cap, b.tokens + std::chrono::duration<double>(now - b.at).count() * per_second);
    b.at = now;
  }
  if (b.tokens >= 1) {
    b.tokens -= 1;
    return 0;
  }
  return std::max<int64_t>(1, static_cast<int64_t>(std::ceil((1 - b.tokens) / per_second)));
}

// --- the API -------------------------------------------------------------------------------------

Api::Api(ApiOptions options, Store* store, Metrics* metrics)
    : options_(std::move(options)), store_(store), metrics_(metrics), limiter_(options_.rate_per_minute) {}

size_t Api::body_limit(const std::string& method, const std::string& path) const {
  // Elsewhere a small body is read and left unused, so that a wrong method is told as such.
  return method == "POST" && path == kApi + "submissions" ? replay_file_max_bytes() : 65536;
}

HttpResponse Api::refusal(int status, const std::string& message) {
  HttpResponse res;
  error(&res, status, message);
  return res;
}

std::string Api::client(const HttpRequest& req) const {
  if (!options_.trust_proxy || req.forwarded_for.empty()) return req.remote;
  std::string last = req.forwarded_for.substr(req.forwarded_for.rfind(',') + 1);
  while (!last.empty() && last.front() == ' ') last.erase(0, 1);
  while (!last.empty() && last.back() == ' ') last.pop_back();
  return last.empty() ? req.remote : last;
}

bool Api::answer_now(const HttpRequest& req, HttpResponse* res) {
  if (req.path == kApi + "boards" && req.method == "GET") return board(req, res, true);
  if (req.path.rfind("/api/", 0) == 0 || req.path == "/healthz" || req.path == "/metrics") return false;
  return file(req, res);
}

void Api::answer(const HttpRequest& req, HttpResponse* res) {
  const std::string& p = req.path;
  if (p == "/healthz") {
    if (req.method != "GET") return not_allowed(res, "GET");
    if (!store_->healthy()) return error(res, 503, "the database does not answer");
    return reply(res, 200, json{{"status", "ok"}, {"build", options_.build}});
  }
  if (p == "/metrics") {
    if (req.method != "GET") return not_allowed(res, "GET");
    res->content_type = "text/plain; version=0.0.4";
    res->body = metrics_->text(store_->queue_depth(), options_.build);
    return;
  }
  if (p == kApi + "boards") {
    if (req.method != "GET") return not_allowed(res, "GET");
    board(req, res, false);
    return;
  }
  if (p == kApi + "submissions") {
    if (req.method != "POST") return not_allowed(res, "POST");
    return submit(req, res);
  }
  const std::string prefix = kApi + "submissions/";
  if (p.rfind(prefix, 0) == 0) return submission(p.substr(prefix.size()), req, res);
  error(res, 404, "no such address");
}

void Api::submit(const HttpRequest& req, HttpResponse* res) {
  const int64_t wait = limiter_.take(client(req), std::chrono::steady_clock::now());
  if (wait > 0) {
    metrics_->submission(429);
    error(res, 429, "too many submissions from this address: try again in " + std::to_string(wait) + " s");
    res->headers.emplace_back("Retry-After", std::to_string(wait));
    return;
  }
  std::map<std::string, std::string> q;
  Submission s;
  Refusal refusal;
  SubmitOutcome out;
  if (!parse_query(req.query, &q)) {
    out = {400, "", "", "", "the query is not well formed"};
  } else {
    const auto name = q.find("name");
    if (!parse_submission(name == q.end() ? std::nullopt : std::optional<std::string_view>(name->second),
                          req.authorization, req.body, &s, &refusal)) {
      out = {refusal.status, "", "", "", refusal.message};
    } else {
      out = store_->submit(s, now_ms(), options_.queue_cap, options_.reserved.count(s.name_key) == 0);
    }
  }
  metrics_->submission(out.status);
  if (out.status == 202 && on_queued_) on_queued_();
  if (out.status == 202 || out.status == 200) {
    json body{{"id", out.id}, {"status", out.state}};
    if (!out.token.empty()) body["token"] = out.token;
    return reply(res, out.status, body);
  }
  error(res, out.status, out.message);
  if (out.status == 401) res->headers.emplace_back("WWW-Authenticate", "Bearer");
  if (out.status == 503) res->headers.emplace_back("Retry-After", "10");
}

void Api::submission(const std::string& rest, const HttpRequest& req, HttpResponse* res) {
  const size_t slash = rest.find('/');
  const std::string id = rest.substr(0, slash), what = slash == std::string::npos ? "" : rest.substr(slash);
  if (!is_submission_id(id) || (!what.empty() && what != "/replay")) return error(res, 404, "no such submission");
  if (what == "/replay") {
    if (req.method != "GET") return not_allowed(res, "GET");
    std::string bytes;
    if (!store_->replay(id, &bytes)) return error(res, 404, "no such submission");
    res->content_type = "application/octet-stream";
    res->body = std::move(bytes);
    res->headers.emplace_back("Content-Disposition", "attachment; filename=\"PIXBRK-" + id.substr(0, 8) + ".REP\"");
    return;
  }
  if (req.method == "DELETE") {
    const int64_t wait = limiter_.take(client(req), std::chrono::steady_clock::now());
    if (wait > 0) {
      error(res, 429, "too many requests from this address: try again in " + std::to_string(wait) + " s");
      res->headers.emplace_back("Retry-After", std::to_string(wait));
      return;
    }
    std::string token;
    Refusal refusal;
    if (!bearer_token(req.authorization, &token, &refusal)) return error(res, refusal.status, refusal.message);
    switch (store_->withdraw(id, token)) {
      case 200:
        boards_changed();
        return reply(res, 200, json{{"id", id}, {"withdrawn", true}});
      case 401:
        error(res, 401, "withdrawing needs the name's token: \"Authorization: Bearer TOKEN\"");
        res->headers.emplace_back("WWW-Authenticate", "Bearer");
        return;
      case 403: return error(res, 403, "the token is not this name's");
      default: return error(res, 404, "no such submission");
    }
  }
  if (req.method != "GET") return not_allowed(res, "GET, DELETE");
  const auto rec = store_->find(id);
  if (!rec) return error(res, 404, "no such submission");
  reply(res, 200,
        json{{"id", rec->id},
             {"name", rec->name},
             {"status", rec->status},
             {"reason", rec->reason.empty() ? json(nullptr) : json(rec->reason)},
             {"score", rec->score},
             {"frames", rec->frames},
             {"guide", rec->guide},
             {"floor", rec->floor},
             {"date", rec->date},
             {"rank", rec->rank ? json(*rec->rank) : json(nullptr)},
             {"build", rec->build.empty() ? json(nullptr) : json(rec->build.substr(0, 16))}});
}

bool Api::board(const HttpRequest& req, HttpResponse* res, bool cached_only) {
  std::map<std::string, std::string> q;
  if (!parse_query(req.query, &q)) return error(res, 400, "the query is not well formed"), true;
  const auto get = [&](const char* key, const char* fallback) {
    const auto it = q.find(key);
    return it == q.end() ? std::string(fallback) : it->second;
  };
  int64_t guide = 0, floor = 0, limit = 0, offset = 0;
  const std::string period = get("period", "all");
  if (!parse_count(get("guide", "0"), 0, 1, &guide)) return error(res, 400, "guide is 0 or 1"), true;
  if (!parse_count(get("floor", "0"), 0, 1, &floor)) return error(res, 400, "floor is 0 or 1"), true;
  if (period != "day" && period != "week" && period != "all")
    return error(res, 400, "period is day, week or all"), true;
  if (!parse_count(get("limit", "50"), 1, kBoardLimitMax, &limit)) return error(res, 400, "limit is 1 to 100"), true;
  if (!parse_count(get("offset", "0"), 0, kBoardOffsetMax, &offset))
    return error(res, 400, "offset is 0 to 1000000"), true;
  // With a name, the reply tells that name's own best and place on the board too.
  const auto name = q.find("name");
  std::string name_key, why;
  if (name != q.end() && !check_name(name->second, &name_key, &why)) return error(res, 400, "bad name: " + why), true;

  const std::string key = std::to_string(guide) + std::to_string(floor) + period + " " + std::to_string(limit) + " " +
                          std::to_string(offset) + " " + name_key;
  const auto now = std::chrono::steady_clock::now();
  const int64_t generation = generation_;
  {
    const std::lock_guard<std::mutex> lock(cache_mutex_);
    const auto it = cache_.find(key);
    if (it != cache_.end() && it->second.generation == generation && now - it->second.at < kBoardCacheTime) {
      res->body = it->second.body;
      res->headers.emplace_back("Cache-Control", "no-store");
      return true;
    }
  }
  if (cached_only) return false;

  constexpr int64_t kDay = 86400 * 1000;
  const int64_t since = period == "day" ? now_ms() - kDay : period == "week" ? now_ms() - 7 * kDay : 0;
  const Board b = store_->board(guide != 0, floor != 0, since, limit, offset);
  json entries = json::array();
  for (const BoardEntry& e : b.entries) entries.push_back(board_json(e));
  json body{{"entries", std::move(entries)}, {"total", b.total}};
  if (name != q.end()) {
    const auto own = store_->board_place(guide != 0, floor != 0, since, name_key);
    body["own"] = own ? board_json(*own) : json(nullptr);
  }
  reply(res, 200, body);
  const std::lock_guard<std::mutex> lock(cache_mutex_);
  if (cache_.size() >= kBoardCacheEntries) cache_.clear();
  cache_[key] = Cached{res->body, generation, now};
  return true;
}

bool Api::file(const HttpRequest& req, HttpResponse* res) {
  if (options_.web_dir.empty()) return error(res, 404, "no such address"), true;
  if (req.method != "GET") return not_allowed(res, "GET"), true;
  std::string path;
  if (!percent_decode(req.path, false, &path) || path.empty() || path[0] != '/')
    return error(res, 404, "no such file"), true;
  if (path.back() == '/') path += "index.html";
  // Only plain names under the page's folder: no "..", no hidden files, no other kinds of file.
  fs::path rel;
  std::istringstream parts(path.substr(1));
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part.empty() || part[0] == '.' || part.find('\\') != std::string::npos || part.find('\0') != std::string::npos)
      return error(res, 404, "no such file"), true;
    rel /= part;
  }
  const fs::path full = fs::path(options_.web_dir) / rel;
  const char* type = content_type_of(full);
  std::error_code ec;
  if (type == nullptr || !fs::is_regular_file(full, ec)) return error(res, 404, "no such file"), true;
  std::ifstream in(full, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return error(res, 404, "no such file"), true;
  res->content_type = type;
  res->body = std::move(bytes);
  res->headers.emplace_back("Cache-Control", "no-cache");
  res->headers.emplace_back("X-Content-Type-Options", "nosniff");
  if (full.extension() == ".html") {
    // The page carries its own policy; a header adds what a page cannot say about itself. And
    // the page learns from its own headers where the Hall of fame's API is.
    res->headers.emplace_back("Content-Security-Policy", "frame-ancestors 'self'");
    res->headers.emplace_back("X-Pixbrk-Api", kApi);
  }
  return true;
}
