// The programs' command lines, run as a person runs them: options in any order, --help on
// standard output with status 0, a mistake told in one line ending in "(try --help)" with
// status 2, and a file of the wrong kind told with its cause (status 1).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/test_pack.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Call {
  const char* program;
  std::vector<std::string> args;
  int rc;
  const char* out;  // the start of what it prints on standard output
  const char* err;  // all it prints on standard error
};

const std::string kAssets = std::string(PIXBRK_SOURCE_DIR) + "/assets";

const Call kCalls[] = {
    {PIXBRK_HEADLESS_PATH, {"--frobnicate"}, 2, "", "pixbrk-headless: unknown option '--frobnicate' (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--help"}, 0, "usage: pixbrk-headless", ""},
    {PIXBRK_HEADLESS_PATH, {"--frames", "x"}, 2, "",
     "pixbrk-headless: --frames needs a number of frames, not 'x' (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--script"}, 2, "", "pixbrk-headless: --script needs a file (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--bot"}, 2, "", "pixbrk-headless: --bot plays on for ever: give --frames too (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--compose-all=1", "--frames", "1"}, 2, "",
     "pixbrk-headless: --compose-all takes no value (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--frames", "1", "stray"}, 2, "", "pixbrk-headless: unexpected argument 'stray' (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--gif", "x.gif", "--gif-rate", "40", "--replay", "r.rep"}, 2, "",
     "pixbrk-headless: --gif-rate must be 50 or 60, not '40' (try --help)\n"},
    {PIXBRK_HEADLESS_PATH, {"--script", "/tmp"}, 1, "", "pixbrk-headless: --script /tmp: is a folder\n"},
    {PIXBRK_HEADLESS_PATH, {"--frames", "1", "--trace", "/dev/null"}, 1, "",
     "pixbrk-headless: --trace /dev/null: is a device, not a file\n"},
    {PIXBRK_HEADLESS_PATH, {"--json", "--info", "/dev/zero"}, 2, "",
     "pixbrk-headless: cannot read /dev/zero: is a device, not a file\n"},
    {PIXPACK_PATH, {"--frobnicate"}, 2, "", "pixpack: unknown option '--frobnicate' (try --help)\n"},
    {PIXPACK_PATH, {"--help"}, 0, "usage: pixpack build", ""},
    {PIXPACK_PATH, {"build", kAssets}, 2, "", "pixpack: build needs -o ROMDATA.BIN (try --help)\n"},
    {PIXPACK_PATH, {"-o", "p.bin", "build", kAssets}, 0, "", ""},
    {PIXPACK_PATH, {"list", "/tmp"}, 1, "", "pixpack: /tmp: cannot open (is a folder)\n"},
    {PIXPACK_PATH, {"list", "/dev/zero"}, 1, "", "pixpack: /dev/zero: cannot open (is a device, not a file)\n"},
    {PIXPACK_PATH, {"build", kAssets, "-o", "/tmp"}, 1, "", "pixpack: /tmp: cannot create (is a folder) (no pack written)\n"},
    {PIXART_PATH, {"--help"}, 0, "usage: pixart", ""},
    {PIXART_PATH, {"a", "b"}, 2, "", "pixart: unexpected argument 'b' (try --help)\n"},
    {PIXART_PATH, {"/dev/null"}, 1, "", "pixart: /dev/null: is not a folder\n"},
    {PIXSHOT_PATH, {}, 2, "", "pixshot: say which folder (try --help)\n"},
    {PIXSHOT_PATH, {"--out", "x"}, 2, "", "pixshot: unknown option '--out' (try --help)\n"},
#if defined(PIXBRK_PATH)
    {PIXBRK_PATH, {"--help"}, 0, "usage: pixbrk", ""},
    {PIXBRK_PATH, {"--bogus"}, 2, "", "pixbrk: unknown option '--bogus' (try --help)\n"},
    {PIXBRK_PATH, {"--fullscreen", "--window"}, 2, "", "pixbrk: --fullscreen and --window cannot both be given (try --help)\n"},
    {PIXBRK_PATH, {"--scale=0"}, 2, "", "pixbrk: --scale must be a whole number from 1 to 16, not '0' (try --help)\n"},
    {PIXBRK_PATH, {"--scale", "2", "--scale", "3"}, 2, "", "pixbrk: --scale is given twice (try --help)\n"},
#endif
};

TEST(CommandLines, AnswerAsRealToolsDo) {
  TempWorkDir dir;
  for (const Call& c : kCalls) {
    std::vector<std::string> argv{c.program};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string line;
    for (const std::string& a : argv) line += " " + a;
    const pid_t pid = spawn_program(argv, {}, dir.path(), "out.txt", "err.txt");
    ASSERT_GT(pid, 0) << line;
    int rc = wait_program(pid, 20000);
    if (rc == -1) rc = stop_program(pid, 0);  // read without end, or waiting for something
    EXPECT_EQ(rc, c.rc) << line;
    EXPECT_EQ(slurp("out.txt").rfind(c.out, 0), 0u) << line << "\n" << slurp("out.txt");
    EXPECT_EQ(slurp("err.txt"), c.err) << line;
  }
}

}  // namespace
