// Saving a file so that a crash, a kill or a full disk never leaves it half-written.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes the bytes of `first` and then of `second` (either may be empty) to a temporary file
// beside `path`, flushes it to the disk and renames it over `path`. Returns 0 on success; on
// any failure returns -1, removes the temporary file and leaves an existing `path` untouched.
int save_file(const char* path, const uint8_t* first, size_t first_len, const uint8_t* second,
              size_t second_len);
