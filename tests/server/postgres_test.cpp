// Two servers share one PostgreSQL database and its queue: every replay is played by one of
// them, each plays some, none is played twice. The database is a private PostgreSQL 15
// cluster made for the test in a temporary folder and removed with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/child.h"
#include "support/server.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

const fs::path kBin = "/usr/lib/postgresql/15/bin";

// A cluster of its own on a free port; PostgreSQL refuses to run as root, so then it runs as
// the postgres user.
class Cluster {
 public:
  bool start(std::string* error) {
    dir_ = folder_.path();
    if (geteuid() == 0 && run({"chown", "postgres", dir_.string()}) != 0) return fail("cannot chown", error);
    port_ = free_port();
    if (run(as_owner({(kBin / "initdb").string(), "-D", (dir_ / "data").string(), "-A", "trust", "-U", "pixbrk"})) != 0)
      return fail("initdb failed", error);
    started_ = run(as_owner({(kBin / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-o",
                             "-k " + dir_.string() + " -c listen_addresses=127.0.0.1 -p " + std::to_string(port_),
                             "-l", (dir_ / "log").string(), "-w", "start"})) == 0;
    return started_ || fail("pg_ctl start failed", error);
  }
  ~Cluster() {
    if (started_) run(as_owner({(kBin / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-m", "fast", "-w", "stop"}));
  }
  std::string url() const { return "postgresql://pixbrk@127.0.0.1:" + std::to_string(port_) + "/postgres"; }

  // One line of psql's unaligned output.
  std::string query(const std::string& sql) const {
    const std::string out = (dir_ / "psql.out").string();
    const pid_t pid = spawn_program({"psql", url(), "-tAc", sql}, {}, "", out, "");
    if (pid < 0 || wait_program(pid, 20000) != 0) return "psql failed";
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    return line;
  }

 private:
  static std::vector<std::string> as_owner(std::vector<std::string> argv) {
    if (geteuid() == 0) argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
    return argv;
  }
  static int run(const std::vector<std::string>& argv) { return run_program(argv, {}); }
  static bool fail(const char* what, std::string* error) {
    *error = what;
    return false;
  }

  TempFolder folder_;  // removed after the cluster has stopped
  fs::path dir_;
  int port_ = 0;
  bool started_ = false;
};

int64_t verified_by(int port) {
  const std::string text = http_request(port, "GET", "/metrics").body;
  const size_t at = text.find("\npixbrk_verified_total ");
  return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 23);
}

}  // namespace

TEST(ServerPostgres, TwoServersShareOneQueueAndPlayEachReplayOnce) {
  if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN is not built";
  if (!fs::exists(kBin / "initdb")) GTEST_SKIP() << "PostgreSQL 15 is not installed (postgresql-15)";
  std::string error;
  const std::string game = record_replay(std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt", &error);
  ASSERT_FALSE(game.empty()) << error;
  Cluster pg;
  ASSERT_TRUE(pg.start(&error)) << error;

  TempFolder base;
  ServerProcess a, b;
  for (ServerProcess* s : {&a, &b}) {
    const std::string data = (fs::path(base.path()) / (s == &a ? "a" : "b")).string();
    ASSERT_TRUE(start_server({"--data", data, "--db", pg.url(), "--listen", "127.0.0.1:0", "--workers", "1",
                              "--rate-limit", "0"},
                             s, &error))
        << error;
  }
  struct Stop {
    ServerProcess *a, *b;
    ~Stop() {
      stop_server(a);
      stop_server(b);
    }
  } stop{&a, &b};

  // The name claimed through one server is known to the other.
  constexpr int kJobs = 60;
  std::string auth;
  for (int n = 0; n < kJobs; ++n) {
    const HttpReply r = http_request(n % 2 == 0 ? a.port : b.port, "POST", "/api/v1/submissions?name=Shared",
                                     with_date(game, n), n == 0 ? std::vector<std::string>{} : std::vector{auth});
    ASSERT_EQ(r.status, 202) << r.body;
    if (n == 0) auth = "Authorization: Bearer " + json::parse(r.body)["token"].get<std::string>();
  }
  for (int i = 0; i < 1200 && verified_by(a.port) + verified_by(b.port) < kJobs; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

  EXPECT_EQ(verified_by(a.port) + verified_by(b.port), kJobs);
  EXPECT_GT(verified_by(a.port), 0);
  EXPECT_GT(verified_by(b.port), 0);
  // Every job verified, by one of the two, on its first and only lease.
  EXPECT_EQ(pg.query("SELECT count(*), count(DISTINCT verified_by), min(attempts), max(attempts) FROM submissions"
                     " WHERE status = 'verified'"),
            std::to_string(kJobs) + "|2|1|1");
  json board = json::parse(http_request(b.port, "GET", "/api/v1/boards?guide=1&floor=1").body);
  EXPECT_EQ(board["total"], 1);
  EXPECT_EQ(board["entries"][0]["name"], "Shared");
  EXPECT_EQ(stop_server(&a), 0);
  EXPECT_EQ(stop_server(&b), 0);
}
