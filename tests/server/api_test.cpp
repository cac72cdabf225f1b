// The Hall of fame's API over real HTTP: one table of requests (hostile ones among them), then
// what the workers made of the stored replays, the boards and a withdrawal.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/server.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

struct Case {
  std::string what, method, target, body;
  std::string auth;  // "{token:K}" stands for the token that the submission kept as K received
  int status;
  std::string expect;  // in the reply's body
  std::string keep = "";    // keeps the reply's id (and token) under this key
  std::string from = "";    // the client's address (X-Forwarded-For); each case has its own by default
};

struct Client {
  int port;
  std::map<std::string, std::string> ids, tokens;

  std::string subst(std::string s) const {
    for (const auto* m : {&ids, &tokens}) {
      for (const auto& [k, v] : *m) {
        const std::string key = std::string(m == &ids ? "{id:" : "{token:") + k + "}";
        for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), v);
      }
    }
    return s;
  }
  json get(const std::string& target) const {
    const HttpReply r = http_request(port, "GET", subst(target));
    return r.status == 200 ? json::parse(r.body) : json{{"status_code", r.status}};
  }
  // Waits until no submission of `keys` is pending any more.
  bool settled(const std::vector<std::string>& keys) const {
    for (int i = 0; i < 600; ++i) {
      bool pending = false;
      for (const auto& k : keys) pending = pending || get("/api/v1/submissions/{id:" + k + "}")["status"] == "pending";
      if (!pending) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
};

std::string metric(int port, const std::string& name) {
  const std::string text = http_request(port, "GET", "/metrics").body;
  const size_t at = text.find("\n" + name + " ");
  return at == std::string::npos ? "" : text.substr(at + name.size() + 2, text.find('\n', at + 1) - at - name.size() - 2);
}

}  // namespace

TEST(ServerApi, RequestsAnswersAndVerdicts) {
  if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN is not built";
  std::string error;
  // Guide and floor on, 738 frames, 260 points; and a game of the built-in player without them.
  const std::string good = record_replay(std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt", &error);
  ASSERT_FALSE(good.empty()) << error;
  const std::string bot = record_replay("", &error);
  ASSERT_FALSE(bot.empty()) << error;
  const auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(good[at + i])} << (8 * i);
    return v;
  };
  const uint32_t frames = le32(16), score = le32(20);

  TempFolder data, web, intake_data;
  const fs::path page = web.path();
  std::ofstream(page / "index.html") << "<title>Hall of fame</title>";
  std::ofstream(page / "notes.txt") << "not a file of the page";
  fs::create_directories(page / ".git");
  std::ofstream(page / ".git" / "config.json") << "{}";
  std::ofstream(fs::path(data.path()) / "reserved-names.txt") << "# ours\nAdmin\n";

  ServerProcess server, intake;
  ASSERT_TRUE(start_server({"--data", data.path(), "--listen", "127.0.0.1:0", "--web", web.path(), "--trust-proxy",
                            "--rate-limit", "4", "--client-timeout", "2", "--workers", "1"},
                           &server, &error))
      << error;
  // Takes submissions and plays none: its queue only grows.
  ASSERT_TRUE(start_server({"--data", intake_data.path(), "--listen", "127.0.0.1:0", "--workers", "0", "--queue-cap",
                            "2", "--rate-limit", "0"},
                           &intake, &error))
      << error;
  struct Stop {
    ServerProcess* a;
    ServerProcess* b;
    ~Stop() {
      stop_server(a);
      stop_server(b);
    }
  } stop{&server, &intake};

  std::string undated = good, not_replay(200, 'x');
  undated.replace(0, 16, 16, '\0');  // a game ended by Escape
  const std::string post = "/api/v1/submissions?name=";
  const std::string wrong = "Bearer " + std::string(64, '0');
  std::vector<Case> cases = {
      {"a new name is claimed", "POST", post + "Ann%20Lee", good, "", 202, "\"status\":\"pending\"", "good"},
      {"the same bytes again", "POST", post + "Ann%20Lee", good, "", 200, "{id:good}"},
      {"the same bytes under another name stay the first one's", "POST", post + "Thief", good, "", 200, "{id:good}"},
      {"a claimed name without its token", "POST", post + "ann%20lee", bot, "", 401, "claimed"},
      {"a claimed name with a wrong token", "POST", post + "Ann%20Lee", bot, wrong, 403, "not this name's"},
      {"an Authorization that is not a bearer token", "POST", post + "Ann%20Lee", bot, "Basic YTpi", 401, "Bearer"},
      {"the name's token, in another case", "POST", post + "ANN%20LEE", bot, "Bearer {token:good}", 202, "pending", "bot"},
      {"an empty body", "POST", post + "Cy%20Two", "", "", 422, "not a replay"},
      {"10 MB", "POST", post + "Cy%20Two", std::string(10 << 20, 'x'), "", 413, "larger than"},
      {"a truncated replay", "POST", post + "Cy%20Two", good.substr(0, good.size() - 100), "", 422, "broken header"},
      {"not a replay", "POST", post + "Cy%20Two", not_replay, "", 422, "not a replay"},
      {"a game ended by Escape", "POST", post + "Cy%20Two", undated, "", 422, "unfinished"},
      {"more frames than a game holds", "POST", post + "Cy%20Two", with_header_u32(good, 16, 131073), "", 422,
       "too long"},
      {"markup in a name", "POST", post + "%3Cb%3Ebold%3C%2Fb%3E", good, "", 400, "bad name"},
      {"SQL in a name", "POST", post + "x%27%3B%20DROP%20TABLE%20names%3B--", good, "", 400, "bad name"},
      {"a name of 300 characters", "POST", post + std::string(300, 'a'), good, "", 400, "3 to 16"},
      {"a name with a space at its end", "POST", post + "Ann%20", good, "", 400, "bad name"},
      {"no name", "POST", "/api/v1/submissions", good, "", 400, "name is missing"},
      {"a broken query", "POST", post + "%zz", good, "", 400, "not well formed"},
      {"a reserved name", "POST", post + "ADMIN", with_date(good, 3), "", 403, "reserved"},
      {"a name that reads as SQL is only a name", "POST", post + "DROP%20TABLE%20names", with_date(good, 1), "", 202,
       "pending", "sql"},
      {"a tampered score is taken, then rejected", "POST", post + "Eve", with_header_u32(good, 20, score + 10), "", 202,
       "pending", "score"},
      {"a tampered length is taken, then rejected", "POST", post + "Mal",
       with_header_u32(good, 16, frames - 1).substr(0, good.size() - 12), "", 202, "pending", "length"},
      {"a board that does not exist", "GET", "/api/v1/boards?guide=2", "", "", 400, "guide is 0 or 1"},
      {"a limit out of range", "GET", "/api/v1/boards?limit=0", "", "", 400, "limit"},
      {"a period not offered", "GET", "/api/v1/boards?period=year", "", "", 400, "period"},
      {"a board asked for a name with markup", "GET", "/api/v1/boards?name=%3Cb%3Ex%3C%2Fb%3E", "", "", 400, "bad name"},
      {"an unknown submission", "GET", "/api/v1/submissions/0123456789abcdef0123456789abcdef", "", "", 404, "no such"},
      {"a path where an id goes", "GET", "/api/v1/submissions/..%2F..%2Fetc%2Fpasswd", "", "", 404, "no such"},
      {"a withdrawal without the token", "DELETE", "/api/v1/submissions/{id:good}", "", "", 401, "token"},
      {"a withdrawal with another's token", "DELETE", "/api/v1/submissions/{id:good}", "", wrong, 403, "not this"},
      {"a method the address does not take", "PUT", "/api/v1/submissions", "x", "", 405, "POST"},
      {"an unknown address", "GET", "/api/v2/boards", "", "", 404, "no such"},
      {"the page", "GET", "/", "", "", 200, "<title>Hall of fame</title>"},
      {"a way out of the page's folder", "GET", "/%2e%2e/%2e%2e/etc/passwd", "", "", 404, "no such"},
      {"a hidden folder", "GET", "/.git/config.json", "", "", 404, "no such"},
      {"a kind of file the page has not", "GET", "/notes.txt", "", "", 404, "no such"},
      {"health", "GET", "/healthz", "", "", 200, "\"status\":\"ok\""},
      {"metrics", "GET", "/metrics", "", "", 200, "pixbrk_queue_depth"},
  };
  // One address: a budget of 4 submissions a minute, then 429.
  for (int i = 0; i < 5; ++i)
    cases.push_back({"submission " + std::to_string(i + 1) + " from one address", "POST", post + "Rex", not_replay, "",
                     i < 4 ? 422 : 429, i < 4 ? "not a replay" : "try again in", "", "10.9.9.9"});

  Client run{server.port, {}, {}};
  int accepted = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::vector<std::string> headers{"X-Forwarded-For: 198.51.100.1, " +
                                     (c.from.empty() ? "10.0.0." + std::to_string(i) : c.from)};
    if (!c.auth.empty()) headers.push_back("Authorization: " + run.subst(c.auth));
    const HttpReply r = http_request(server.port, c.method, run.subst(c.target), c.body, headers);
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.body;
    EXPECT_NE(r.body.find(run.subst(c.expect)), std::string::npos) << c.what << ": " << r.body;
    if (r.status >= 400) {
      const json e = json::parse(r.body, nullptr, false);
      EXPECT_TRUE(e.is_object() && e.contains("error") && e["error"].is_string()) << c.what << ": " << r.body;
    }
    if (r.status == 429) {
      EXPECT_EQ(r.headers.count("retry-after"), 1u) << c.what;
    }
    if (r.status == 202) ++accepted;
    if (!c.keep.empty() && r.status == 202) {
      const json j = json::parse(r.body);
      run.ids[c.keep] = j["id"];
      if (j.contains("token")) run.tokens[c.keep] = j["token"];
      EXPECT_EQ(j.contains("token"), c.keep == "good" || c.keep == "sql" || c.keep == "score" || c.keep == "length")
          << c.what << ": a token only for a new name";
    }
  }
  ASSERT_EQ(run.ids.size(), 5u);

  // What the worker made of them.
  ASSERT_TRUE(run.settled({"good", "bot", "sql", "score", "length"}));
  json g = run.get("/api/v1/submissions/{id:good}");
  EXPECT_EQ(g["status"], "verified");
  EXPECT_EQ(g["name"], "Ann Lee");
  EXPECT_EQ(g["score"], score * 10);
  EXPECT_EQ(g["frames"], frames);
  EXPECT_EQ(g["guide"], true);
  EXPECT_EQ(g["floor"], true);
  EXPECT_EQ(g["date"], good.substr(0, 16));
  EXPECT_EQ(g["rank"], 1);
  EXPECT_TRUE(g["reason"].is_null());
  EXPECT_EQ(run.get("/api/v1/submissions/{id:bot}")["guide"], false);
  EXPECT_EQ(run.get("/api/v1/submissions/{id:bot}")["rank"], 1);
  json sc = run.get("/api/v1/submissions/{id:score}"), len = run.get("/api/v1/submissions/{id:length}");
  EXPECT_EQ(sc["status"], "rejected");
  EXPECT_EQ(sc["reason"].get<std::string>().rfind("score: the game ended with " + std::to_string(score * 10), 0), 0u) << sc;
  EXPECT_TRUE(sc["rank"].is_null());
  EXPECT_EQ(len["status"], "rejected");
  EXPECT_EQ(len["reason"].get<std::string>().rfind("length: ", 0), 0u) << len;
  EXPECT_EQ(http_request(server.port, "GET", run.subst("/api/v1/submissions/{id:good}/replay")).body, good);

  // Each name's best verified game, on the board of its options only; equal scores share a place.
  json both = run.get("/api/v1/boards?guide=1&floor=1&period=day");
  ASSERT_EQ(both["total"], 2) << both;
  EXPECT_EQ(both["entries"][0]["name"], "Ann Lee");
  EXPECT_EQ(both["entries"][1]["name"], "DROP TABLE names");
  EXPECT_EQ(both["entries"][1]["rank"], 1);
  EXPECT_EQ(both["entries"][0]["id"], run.ids["good"]);
  EXPECT_EQ(run.get("/api/v1/boards?guide=1&floor=1&limit=1&offset=1")["entries"][0]["name"], "DROP TABLE names");
  EXPECT_EQ(run.get("/api/v1/boards")["entries"][0]["id"], run.ids["bot"]);
  EXPECT_EQ(run.get("/api/v1/boards?guide=1")["total"], 0);
  // Asked with a name, a board tells that name's best and place, also beyond the entries sent.
  const json own = run.get("/api/v1/boards?guide=1&floor=1&limit=1&name=drop%20table%20NAMES")["own"];
  EXPECT_EQ(own["name"], "DROP TABLE names");
  EXPECT_EQ(own["rank"], 1);
  EXPECT_EQ(own["id"], run.ids["sql"]);
  EXPECT_TRUE(run.get("/api/v1/boards?guide=1&floor=1&name=Eve")["own"].is_null());
  EXPECT_FALSE(run.get("/api/v1/boards?guide=1&floor=1").contains("own"));
  // The page learns from its own headers where the API is, and may not be framed elsewhere.
  HttpReply index = http_request(server.port, "GET", "/");
  EXPECT_EQ(index.headers["x-pixbrk-api"], "/api/v1/");
  EXPECT_EQ(index.headers["content-security-policy"], "frame-ancestors 'self'");

  // A withdrawal takes the game off its board at once, and the submission with it.
  const HttpReply w = http_request(server.port, "DELETE", run.subst("/api/v1/submissions/{id:good}"), "",
                                   {"Authorization: Bearer " + run.tokens["good"]});
  EXPECT_EQ(w.status, 200) << w.body;
  EXPECT_EQ(run.get("/api/v1/submissions/{id:good}")["status_code"], 404);
  EXPECT_EQ(run.get("/api/v1/boards?guide=1&floor=1&period=day")["total"], 1);

  EXPECT_EQ(metric(server.port, "pixbrk_verified_total"), "3");
  EXPECT_EQ(metric(server.port, "pixbrk_rejected_total{reason=\"score\"}"), "1");
  EXPECT_EQ(metric(server.port, "pixbrk_rejected_total{reason=\"length\"}"), "1");
  EXPECT_EQ(metric(server.port, "pixbrk_submissions_total{result=\"accepted\"}"), std::to_string(accepted));

  // Slow clients hold no thread: while they trickle, others are answered; at the time limit
  // they are cut off. A body cut short stores nothing.
  std::vector<int> slow;
  for (int i = 0; i < 40; ++i) {
    slow.push_back(connect_local(server.port));
    const std::string part = i % 2 == 0 ? "GET /api/v1/bo" : "POST " + post + "Slow HTTP/1.1\r\nContent-Length: 8888\r\n\r\nabc";
    send(slow.back(), part.data(), part.size(), MSG_NOSIGNAL);
  }
  EXPECT_EQ(http_request(server.port, "GET", "/healthz").status, 200);
  for (const int fd : slow) {
    EXPECT_TRUE(wait_closed(fd, 20000));
    close(fd);
  }
  EXPECT_EQ(metric(server.port, "pixbrk_submissions_total{result=\"accepted\"}"), std::to_string(accepted));

  // A full queue refuses with 503 until the workers catch up; the same bytes are still known.
  std::vector<std::string> auth;
  for (int i = 0; i < 3; ++i) {
    const HttpReply r = http_request(intake.port, "POST", post + "Queue", with_date(good, 10 + i), auth);
    EXPECT_EQ(r.status, i < 2 ? 202 : 503) << r.body;
    if (i == 0 && r.status == 202) auth = {"Authorization: Bearer " + json::parse(r.body)["token"].get<std::string>()};
    if (i == 2) {
      EXPECT_EQ(r.headers.count("retry-after"), 1u);
    }
  }
  EXPECT_EQ(http_request(intake.port, "POST", post + "Queue", with_date(good, 10)).status, 200);
  EXPECT_EQ(metric(intake.port, "pixbrk_queue_depth"), "2");
  EXPECT_EQ(stop_server(&server), 0);
}

// Each worker thread plays a game of its own: with four at once, every replay still gets the
// verdict it gets alone (games sharing any state would disagree with their headers).
TEST(ServerApi, WorkersPlayAtOnceAndEachGetsItsOwnVerdict) {
  if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN is not built";
  std::string error;
  const std::string bot = record_replay("", &error);
  ASSERT_FALSE(bot.empty()) << error;
  const uint32_t score = static_cast<uint8_t>(bot[20]) | static_cast<uint32_t>(static_cast<uint8_t>(bot[21])) << 8;
  TempFolder data;
  ServerProcess server;
  ASSERT_TRUE(start_server({"--data", data.path(), "--listen", "127.0.0.1:0", "--workers", "4", "--rate-limit", "0"},
                           &server, &error))
      << error;
  struct Stop {
    ServerProcess* s;
    ~Stop() { stop_server(s); }
  } stop{&server};
  Client run{server.port, {}, {}};
  std::map<std::string, std::string> want;  // key: the verdict it should get
  for (int i = 0; i < 12; ++i) {
    std::string replay = with_date(bot, 100 + i);
    const std::string key = "p" + std::to_string(i);
    want[key] = i % 4 == 3 ? "rejected" : "verified";
    if (i % 4 == 3) replay = with_header_u32(replay, 20, score + 1);  // a tampered score
    const HttpReply r = http_request(server.port, "POST", "/api/v1/submissions?name=Worker" + std::to_string(i), replay);
    ASSERT_EQ(r.status, 202) << r.body;
    run.ids[key] = json::parse(r.body)["id"];
  }
  std::vector<std::string> keys;
  for (const auto& [k, v] : want) keys.push_back(k);
  ASSERT_TRUE(run.settled(keys));
  for (const auto& [k, v] : want) EXPECT_EQ(run.get("/api/v1/submissions/{id:" + k + "}")["status"], v) << k;
}
