// pixpack: builds, lists and extracts the game's resource pack.
#include <cstdio>
#include <string>
#include <vector>

#include "media.h"
#include "pack/args.h"
#include "packtool.h"
#include "pixbrk_version.h"

namespace {

constexpr const char* kUsage =
    "usage: pixpack build ASSETS_DIR -o ROMDATA.BIN   build the pack from an assets folder\n"
    "       pixpack list ROMDATA.BIN                 show the entries of a pack\n"
    "       pixpack extract ROMDATA.BIN DIR           write every entry as PNG, WAV or raw file\n"
    "       pixpack --help | --version               show this text, or the version\n"
    "Exit status: 0 done, 1 failed (the reason in one line), 2 a bad command line.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "pixpack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ArgReader a("pixpack", argc, argv, PIXBRK_VERSION);
  std::vector<std::string> operands;  // the command, then its files
  std::string out;
  bool has_out = false;
  while (a.next()) {
    if (a.is_help()) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.is_version()) {
      return 0;
    } else if (a.is("-o") || a.is("--output")) {
      if (has_out) return a.usage_error("-o is given twice");
      if (!a.value(&out, "a file name")) return 2;
      has_out = true;
    } else if (a.is_operand()) {
      operands.push_back(a.arg());
    } else {
      return a.unexpected();
    }
  }
  if (a.failed()) return 2;
  if (operands.empty()) return a.usage_error("say what to do: build, list or extract");
  const std::string& cmd = operands[0];
  const size_t want = cmd == "build" ? 2 : cmd == "list" ? 2 : cmd == "extract" ? 3 : 0;
  if (want == 0) return a.usage_error("unknown command '" + cmd + "'");
  if (operands.size() != want)
    return a.usage_error(cmd + (operands.size() < want ? " needs " : " takes only ") +
                         (cmd == "build" ? "ASSETS_DIR" : cmd == "list" ? "ROMDATA.BIN" : "ROMDATA.BIN and DIR"));
  if (has_out != (cmd == "build")) return a.usage_error(has_out ? "-o goes with build" : "build needs -o ROMDATA.BIN");

  if (cmd == "build") {
    if (std::string err = build_pack(operands[1], out); !err.empty()) return fail(err + " (no pack written)");
    return 0;
  }
  std::vector<uint8_t> image;
  std::vector<PackEntry> entries;
  if (std::string err = read_whole_file(operands[1], image); !err.empty()) return fail(err);
  if (std::string err = parse_pack(image, entries); !err.empty())
    return fail(operands[1] + ": not a usable pack: " + err);
  if (cmd == "list") {
    std::fputs(list_pack(entries).c_str(), stdout);
    return 0;
  }
  if (std::string err = extract_pack(entries, operands[2]); !err.empty()) return fail(err);
  return 0;
}
