// Nothing acknowledged is lost: the server is killed with SIGKILL in the middle of a burst of
// submissions; after a restart every submission it answered with 202 is there and verified, by
// the build that restarted (its pack changed, so it plays again what the first one verified).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/child.h"
#include "support/server.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

TEST(ServerCrash, EverySubmissionAcknowledgedBeforeAKillIsKeptAndVerified) {
  if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN is not built";
  std::string error;
  const std::string game = record_replay(std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt", &error);
  ASSERT_FALSE(game.empty()) << error;
  TempFolder data;
  const std::vector<std::string> args{"--data", data.path(), "--listen", "127.0.0.1:0", "--rate-limit", "0",
                                      "--workers", "1"};
  ServerProcess server;
  ASSERT_TRUE(start_server(args, &server, &error)) << error;

  // Four clients submit distinct replays (one game under other dates) as fast as they are
  // answered, until the server is gone.
  constexpr int kMax = 5000;
  std::atomic<int> next{0};
  std::mutex mutex;
  std::vector<std::string> acknowledged;
  std::string token;
  {
    const HttpReply first = http_request(server.port, "POST", "/api/v1/submissions?name=Burst", with_date(game, 0));
    ASSERT_EQ(first.status, 202) << first.body;
    acknowledged.push_back(json::parse(first.body)["id"]);
    token = json::parse(first.body)["token"];
  }
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      for (int n; (n = ++next) < kMax;) {
        const HttpReply r = http_request(server.port, "POST", "/api/v1/submissions?name=Burst", with_date(game, n),
                                         {"Authorization: Bearer " + token});
        if (r.status != 202) break;  // killed: no answer
        const std::lock_guard<std::mutex> lock(mutex);
        acknowledged.push_back(json::parse(r.body)["id"]);
      }
    });
  }
  for (int i = 0; i < 3000; ++i) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (acknowledged.size() >= 200) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(kill(server.pid, SIGKILL), 0);
  EXPECT_EQ(wait_program(server.pid, 10000), 128 + SIGKILL);
  server.pid = -1;
  fs::remove(server.log);
  for (std::thread& t : clients) t.join();
  ASSERT_GE(acknowledged.size(), 200u);
  ASSERT_LT(next.load(), kMax) << "the burst ended before the kill";

  // Started again with a changed pack (a byte more at its end): the jobs the dead worker held
  // are taken again, and what the first build verified is played again by the new one.
  const std::string pack = (fs::path(data.path()) / "changed.bin").string();
  fs::copy_file(real_pack_path(), pack);
  std::ofstream(pack, std::ios::app) << 'x';
  std::vector<std::string> changed = args;
  changed.insert(changed.end(), {"--rom", pack});
  ServerProcess again;
  ASSERT_TRUE(start_server(changed, &again, &error)) << error;
  const std::string build =
      json::parse(http_request(again.port, "GET", "/healthz").body)["build"].get<std::string>().substr(0, 16);
  size_t verified = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  for (const std::string& id : acknowledged) {
    json s;
    for (;;) {
      const HttpReply r = http_request(again.port, "GET", "/api/v1/submissions/" + id);
      s = r.status == 200 ? json::parse(r.body) : json{{"status", std::to_string(r.status)}};
      if ((s["status"] != "pending" && s["build"] == build) || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(s["status"], "verified") << id;
    EXPECT_EQ(s["build"], build) << id;
    verified += s["status"] == "verified" && s["build"] == build;
  }
  EXPECT_EQ(verified, acknowledged.size());
  // The servers play from the pack's bytes in memory: neither the killed one nor the running one
  // leaves a work folder in the data folder.
  int work_folders = 0;
  for (const auto& e : fs::directory_iterator(data.path())) work_folders += e.path().filename().string().rfind("work.", 0) == 0 && e.is_directory();
  EXPECT_EQ(work_folders, 0);
  EXPECT_EQ(stop_server(&again), 0);
}
