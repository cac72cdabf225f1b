// Writes replay_layout.js, the replay file's layout for the page's script, from the game's own
// replay codec: run at build time (under Node.js), so that the script never types an offset.
#include <cstdio>

#include "game/replay.h"

int main(int argc, char** argv) {
  std::FILE* out = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
  if (out == nullptr) return 1;
  std::fprintf(out,
               "// The replay file's layout (written at build time from the game's replay codec).\n"
               "export const REPLAY = Object.freeze({\n"
               "  dateAt: %u, dateBytes: %u, framesAt: %u, scoreAt: %u, guideAt: %u, floorAt: %u,\n"
               "  headerBytes: %u, recordsAt: %u, recordBytes: %u, minFrames: %u, maxFrames: %u, maxBytes: %u,\n"
               "});\n",
               REPLAY_DATE_AT, REPLAY_DATE_BYTES, REPLAY_FRAMES_AT, REPLAY_SCORE_AT, REPLAY_GUIDE_AT, REPLAY_FLOOR_AT,
               REPLAY_HEADER_BYTES, REPLAY_RECORDS_AT, REPLAY_RECORD_BYTES, REPLAY_MIN_FRAMES, REPLAY_MAX_FRAMES,
               REPLAY_BUFFER_BYTES);
  return std::fclose(out) == 0 ? 0 : 1;
}
