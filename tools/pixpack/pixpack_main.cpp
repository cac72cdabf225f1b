// pixpack: builds, lists and extracts the game's resource pack.
#include <cstdio>
#include <cstring>
#include <string>

#include "media.h"
#include "packtool.h"
#include "pixbrk_version.h"

namespace {

int usage() {
  std::fputs(
      "usage: pixpack build ASSETS_DIR -o ROMDATA.BIN   build the pack from an assets folder\n"
      "       pixpack list ROMDATA.BIN                 show the entries of a pack\n"
      "       pixpack extract ROMDATA.BIN DIR           write every entry as PNG, WAV or raw file\n",
      stderr);
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "pixpack: %s\n", message.c_str());
  return 1;
}

std::string load_pack(const std::string& path, std::vector<PackEntry>& entries) {
  std::vector<uint8_t> image;
  if (std::string err = read_whole_file(path, image); !err.empty()) return err;
  if (std::string err = parse_pack(image, entries); !err.empty()) return path + ": not a usable pack: " + err;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (pixbrk_answer_version(argc, argv, "pixpack")) return 0;
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  if (cmd == "build" && argc == 5 && std::strcmp(argv[3], "-o") == 0) {
    if (std::string err = build_pack(argv[2], argv[4]); !err.empty()) return fail(err + " (no pack written)");
    return 0;
  }
  if (cmd == "list" && argc == 3) {
    std::vector<PackEntry> entries;
    if (std::string err = load_pack(argv[2], entries); !err.empty()) return fail(err);
    std::fputs(list_pack(entries).c_str(), stdout);
    return 0;
  }
  if (cmd == "extract" && argc == 4) {
    std::vector<PackEntry> entries;
    if (std::string err = load_pack(argv[2], entries); !err.empty()) return fail(err);
    if (std::string err = extract_pack(entries, argv[3]); !err.empty()) return fail(err);
    return 0;
  }
  return usage();
}
