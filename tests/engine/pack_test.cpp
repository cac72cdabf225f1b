#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "pack/log.h"
#include "pack/pack.h"
#include "support/test_pack.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Bytes name_field(const std::string& name) {
  Bytes f(16, 0);
  for (size_t i = 0; i < name.size() && i < 16; ++i) f[i] = uint8_t(name[i] ^ 0x5C);
  return f;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string located(const std::string& msg, int line) {
  return msg + " <" + putlog_source() + ":" + std::to_string(line) + ">";
}

// The message part of a log line: everything after the 20-character time stamp.
std::string message_of(const std::string& line) { return line.size() >= 20 ? line.substr(20) : line; }

struct BrokenPack {
  const char* what;
  Bytes image;
  std::string message;  // "%s" stands for the path
  int line;
};

class BrokenPackTest : public ::testing::TestWithParam<BrokenPack> {};

TEST_P(BrokenPackTest, RefusedWithItsLogLine) {
  TempWorkDir dir;
  const BrokenPack& c = GetParam();
  EXPECT_EQ(load_raw_pack(c.image), -1);
  std::string msg = c.message;
  if (auto at = msg.find("%s"); at != std::string::npos) msg.replace(at, 2, "ROMDATA.BIN");
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(message_of(lines[0]), located("Load binary file: ROMDATA.BIN", 943));
  EXPECT_EQ(message_of(lines[1]), located(msg, c.line));
  // Nothing of a failed load can be found afterwards, and nothing close to the declared
  // sizes was allocated.
  EXPECT_EQ(pack_count(), 0);
  uint32_t size = 77;
  EXPECT_EQ(findbin("A", &size), nullptr);
  EXPECT_EQ(size, 77u);
  EXPECT_LE(pack_peak_bytes(), 64 + 2 * c.image.size());
}

const Bytes kOk = cat({le32(1), name_field("A"), be32(3), {1, 2, 3}});

INSTANTIATE_TEST_SUITE_P(
    Pack, BrokenPackTest,
    ::testing::Values(
        BrokenPack{"empty", {}, "File broken: %s", 953},
        BrokenPack{"three_byte_count", {1, 0, 0}, "File broken: %s", 953},
        // A negative count promises more names than any file holds: broken, never "No memory".
        BrokenPack{"negative_count", le32(0xFFFFFFFF), "File broken: %s", 969},
        BrokenPack{"most_negative_count", cat({le32(0x80000000), name_field("A")}), "File broken: %s", 969},
        BrokenPack{"negative_count_unterminated_name", cat({le32(0xFFFFFFF0), Bytes(16, 0x41)}), "File broken: %s",
                   975},
        BrokenPack{"huge_count_tiny_file", cat({le32(0x7FFFFFFF), name_field("A")}), "File broken: %s", 969},
        BrokenPack{"name_table_cut", cat({le32(2), name_field("A"), {1, 2, 3}}), "File broken: %s", 969},
        // Cut inside the name table: reported there although the data is missing too.
        BrokenPack{"names_before_data", cat({le32(3), name_field("A"), name_field("B")}), "File broken: %s", 969},
        BrokenPack{"unterminated_name", cat({le32(1), Bytes(16, 0x41), be32(0)}), "File broken: %s", 975},
        // Names are checked in table order: an unterminated one comes before the cut after it.
        BrokenPack{"unterminated_name_then_cut", cat({le32(2), Bytes(16, 0x41)}), "File broken: %s", 975},
        BrokenPack{"second_name_unterminated_then_cut", cat({le32(4), name_field("A"), Bytes(16, 0x41), {1, 2}}),
                   "File broken: %s", 975},
        BrokenPack{"huge_count_unterminated_name", cat({le32(0x7FFFFFFF), name_field("A"), Bytes(16, 0x41)}),
                   "File broken: %s", 975},
        BrokenPack{"size_missing", cat({le32(1), name_field("A"), {0, 0}}), "File broken: %s", 986},
        BrokenPack{"second_size_missing", cat({le32(2), name_field("A"), name_field("B"), be32(1), {9}}),
                   "File broken: %s", 986},
        BrokenPack{"data_cut", cat({le32(1), name_field("A"), be32(4), {1, 2, 3}}), "File broken: %s", 1003},
        BrokenPack{"size_2_to_the_31", cat({le32(1), name_field("A"), be32(0x80000000), {1}}), "File broken: %s",
                   1003},
        BrokenPack{"size_all_ones", cat({le32(1), name_field("A"), be32(0xFFFFFFFF)}), "File broken: %s", 1003}),
    [](const auto& p) { return std::string(p.param.what); });

TEST(Pack, MissingFileLogsOpenFailureWithErrno) {
  TempWorkDir dir;
  pack_unload();
  EXPECT_EQ(loadbin("NOPE.BIN"), -1);
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(message_of(lines[1]), located("Could not open: NOPE.BIN (" + std::to_string(ENOENT) + ")", 947));
}

TEST(Pack, LookupRules) {
  TempWorkDir dir;
  const Bytes image =
      cat({le32(5), name_field("FONT.CHR"), name_field("EMPTY"), name_field("FONT.CHR"), name_field("ABCDEFGHIJKLMNO"),
           cat({Bytes{'X' ^ 0x5C, 0, 0x77}, Bytes(13, 0x33)}),  // bytes after the terminator are ignored
           be32(2), {10, 11}, be32(0), be32(1), {12}, be32(3), {13, 14, 15}, be32(1), {16}, Bytes{0xEE, 0xEE}});
  ASSERT_EQ(load_raw_pack(image), 0);
  EXPECT_EQ(pack_count(), 5);
  uint32_t size = 99;
  const uint8_t* font = findbin("FONT.CHR", &size);  // first of two equal names wins
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(font[1], 11);
  EXPECT_NE(findbin("EMPTY", &size), nullptr);  // an empty entry is still found
  EXPECT_EQ(size, 0u);
  const uint8_t* longest = findbin("ABCDEFGHIJKLMNO", &size);  // 15 characters, terminator in byte 15
  ASSERT_NE(longest, nullptr);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(longest[2], 15);
  size = 42;
  EXPECT_EQ(findbin("font.chr", &size), nullptr);  // case-sensitive
  EXPECT_EQ(findbin("FONT.CH", &size), nullptr);
  EXPECT_EQ(findbin("", &size), nullptr);
  EXPECT_NE(findbin("X", nullptr), nullptr);
  EXPECT_EQ(size, 42u);  // a miss leaves the size alone
}

TEST(Pack, EmptyPackLoadsAndFindsNothing) {
  TempWorkDir dir;
  ASSERT_EQ(load_raw_pack(le32(0)), 0);
  EXPECT_EQ(pack_count(), 0);
  uint32_t size = 0;
  EXPECT_EQ(findbin("FONT.CHR", &size), nullptr);
  EXPECT_EQ(log_lines().size(), 1u);  // only the "Load binary file" line
}

}  // namespace
