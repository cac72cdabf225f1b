// Writes a game of the runner's built-in player, saved as a replay, to the file named by the one
// argument: the game bench_verify plays (which links the server's build of the core and so
// cannot run the runner itself).
#include <cstdio>
#include <fstream>

#include "support/server.h"

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: record_game FILE\n"), 2;
  std::string error;
  const std::string bytes = record_replay("", &error);
  if (bytes.empty()) return std::fprintf(stderr, "record_game: %s\n", error.c_str()), 1;
  std::ofstream(argv[1], std::ios::binary) << bytes;
  return 0;
}
