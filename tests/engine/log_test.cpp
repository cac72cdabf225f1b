#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "engine_test_util.h"
#include "pack/log.h"
#include "support/test_pack.h"

namespace {
const std::regex kStamp(R"(^(\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2}) )");

TEST(Log, LineFormatWithAndWithoutLocation) {
  TempWorkDir dir;
  putlog(nullptr, 0, "Executes \"%s\" %d", "x", 7);
  putlog(".\\src\\nox_w.cpp", 1003, "File broken: %s", "ROMDATA.BIN");
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 2u);
  std::smatch m;
  for (const std::string& line : lines) {
    ASSERT_TRUE(std::regex_search(line, m, kStamp)) << line;
    EXPECT_EQ(m.length(0), 20);
    const int month = std::stoi(m[2]), day = std::stoi(m[3]), hour = std::stoi(m[4]);
    EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23) << line;
  }
  EXPECT_EQ(lines[0].substr(20), "Executes \"x\" 7");  // no trailing space or bracket
  EXPECT_EQ(lines[1].substr(20), "File broken: ROMDATA.BIN <.\\src\\nox_w.cpp:1003>");
}

// A folder or a link (planted between the deletion at start-up and the first line) where the
// log goes: the lines are lost silently, and nothing is written through the link.
TEST(Log, UnopenableFileOrALinkIsSilent) {
  TempWorkDir dir;
  std::filesystem::create_directory("LOG.TXT");
  putlog(putlog_source(), 1, "lost %d", 1);
  EXPECT_TRUE(std::filesystem::is_empty("LOG.TXT"));
  std::filesystem::remove("LOG.TXT");
  std::ofstream("decoy") << "DECOY\n";
  std::filesystem::create_symlink("decoy", "LOG.TXT");
  putlog(putlog_source(), 2, "lost %d", 2);
  EXPECT_EQ(std::filesystem::file_size("decoy"), 6u);
  EXPECT_TRUE(std::filesystem::is_symlink("LOG.TXT"));
}

// Two threads logging at once must never produce a torn or merged line.
TEST(Log, ConcurrentLinesStayWhole) {
  TempWorkDir dir;
  constexpr int kLines = 150;
  auto writer = [](char tag) {
    for (int i = 0; i < kLines; ++i) putlog(".\\src\\nox_w.cpp", 900 + i, "%c-line-%03d-%c", tag, i, tag);
  };
  std::thread a(writer, 'A');
  std::thread b(writer, 'B');
  a.join();
  b.join();
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 2u * kLines);
  const std::regex whole(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} ([AB])-line-(\d{3})-\1 <\.\\src\\nox_w\.cpp:(\d+)>$)");
  int seen[2] = {0, 0};
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
    EXPECT_EQ(std::stoi(m[3]), 900 + std::stoi(m[2]));
    ++seen[m[1] == "A" ? 0 : 1];
  }
  EXPECT_EQ(seen[0], kLines);
  EXPECT_EQ(seen[1], kLines);
}
}  // namespace
