// The pack tool's three jobs: build ROMDATA.BIN from an assets folder, list a pack, and
// extract a pack into loose files that build accepts back.
//
// An assets folder holds manifest.txt, one entry per line in pack order:
//   NAME  chr  picture.png        indexed PNG, stored as a CHR picture with its palette
//   NAME  pcm  sound.wav          16-bit mono 22,050 Hz WAV, stored as a PCM effect
//   NAME  pcm  synth:ID           effect ID of the sound description file, rendered
//   NAME  raw  file               stored byte for byte
// and optionally the directives
//   sounds FILE                   the sound description file (default sounds.txt)
//   palette shared                every CHR picture must carry the same palette
// Lines may end in a # comment.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/packwriter.h"

// Reads the assets folder, makes the entries and writes the pack to `out_path`. Returns "" or a
// message naming the file; on any error nothing is written.
std::string build_pack(const std::string& assets_dir, const std::string& out_path);

// Splits a pack image into its entries. Returns "" or a description of the damage.
std::string parse_pack(const std::vector<uint8_t>& image, std::vector<PackEntry>& entries);

// One line per entry: index, name, size, and what the entry holds.
std::string list_pack(const std::vector<PackEntry>& entries);

// Writes every entry as a loose file plus manifest.txt into `dir` (created if needed).
std::string extract_pack(const std::vector<PackEntry>& entries, const std::string& dir);
