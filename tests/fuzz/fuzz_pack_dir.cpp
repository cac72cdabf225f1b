// Any ROMDATA.BIN: the game's loader and the pack tool's reader must agree on every image.
// Both accept it or both refuse it; when accepted, every name finds the data of its first
// entry, and a refused image leaves nothing loaded.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_dir.h"
#include "pack/pack.h"
#include "packtool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_scratch_dir();
  fuzz_write_file("ROMDATA.BIN", data, size);
  const int r = loadbin("ROMDATA.BIN");
  fuzz_require(r == 0 || r == -1, "loadbin returns 0 or -1");
  // Directory entries cost at most twice their 16-byte name fields, data at most its length.
  fuzz_require(pack_peak_bytes() <= 64 + 2 * static_cast<uint64_t>(size), "memory held is bounded by the file");

  std::vector<PackEntry> entries;
  const std::string problem = parse_pack(std::vector<uint8_t>(data, data + size), entries);
  fuzz_require((r == 0) == problem.empty(), "the game and the pack tool accept the same packs");
  if (r != 0) {
    fuzz_require(pack_count() == 0 && findbin("", nullptr) == nullptr, "a refused pack leaves nothing loaded");
    return 0;
  }
  fuzz_require(pack_count() == static_cast<int32_t>(entries.size()), "the count is the file's");
  for (size_t i = 0; i < entries.size(); ++i) {
    // Names are zero-terminated strings: a masked byte that decodes to 0 ends the name early.
    const char* name = entries[i].name.c_str();
    size_t first = 0;
    while (std::strcmp(entries[first].name.c_str(), name) != 0) ++first;
    uint32_t got = 0xDEADBEEF;
    const uint8_t* p = findbin(name, &got);
    const std::vector<uint8_t>& want = entries[first].data;
    fuzz_require(p != nullptr && got == want.size(), "every name is found with its first entry's size");
    fuzz_require(want.empty() || std::memcmp(p, want.data(), want.size()) == 0, "with its first entry's bytes");
  }
  list_pack(entries);
  return 0;
}
