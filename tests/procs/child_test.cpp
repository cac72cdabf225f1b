// A test program killed with SIGKILL (as a ctest timeout does) takes with it the children it
// started through spawn_program, their children, and even those that left its session.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child.h"

namespace fs = std::filesystem;

namespace {

// Gone, or a zombie nobody has collected yet: either way it no longer runs.
bool running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z';
}

std::vector<pid_t> read_pids(const fs::path& file) {
  std::ifstream in(file);
  std::vector<pid_t> pids;
  for (pid_t p = 0; in >> p;) pids.push_back(p);
  return pids;
}

}  // namespace

// Run only as the victim of the test below: starts a shell that starts a process in its own
// session and another in the shell's, then becomes a third, and waits to be killed.
TEST(ChildHelper, DISABLED_StartsAFamilyAndWaits) {
  const char* out = std::getenv("PIXBRK_FAMILY_FILE");
  ASSERT_NE(out, nullptr);
  const std::string script = std::string("setsid sleep 301 & a=$!; sleep 302 & b=$!; ") +
                             "echo $$ $a $b > '" + out + ".tmp'; mv '" + out + ".tmp' '" + out + "'; exec sleep 303";
  ASSERT_GT(spawn_program({"bash", "-c", script}, {}, "", "", ""), 0);
  std::this_thread::sleep_for(std::chrono::seconds(60));
}

TEST(Child, NothingOutlivesATestProgramKilledWithSigkill) {
  const fs::path file = fs::temp_directory_path() / ("pixbrk-family-" + std::to_string(getpid()));
  fs::remove(file);
  const pid_t victim = spawn_program({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                                      "--gtest_filter=ChildHelper.DISABLED_StartsAFamilyAndWaits"},
                                     {"PIXBRK_FAMILY_FILE=" + file.string()}, "", "", "");
  ASSERT_GT(victim, 0);
  std::vector<pid_t> family;
  for (int i = 0; i < 1000 && family.size() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    family = read_pids(file);
  }
  fs::remove(file);
  ASSERT_EQ(family.size(), 3u) << "the victim did not start its children";
  for (pid_t p : family) ASSERT_TRUE(running(p)) << p;

  kill(victim, SIGKILL);
  EXPECT_EQ(wait_program(victim, 5000), 128 + SIGKILL);
  // The direct child goes at once; the watcher looks twice a second and gives SIGTERM 2 s.
  for (int i = 0; i < 100; ++i) {
    bool any = false;
    for (pid_t p : family) any = any || running(p);
    if (!any) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (pid_t p : family) EXPECT_FALSE(running(p)) << "process " << p << " outlived the killed test program";
}
