// Fuzz targets work in a private scratch directory, since the game's files have fixed names.
#pragma once
#include <cstddef>
#include <cstdint>

// Creates the scratch directory and makes it the working directory (once per process).
void fuzz_enter_scratch_dir();

// Replaces `name` in the working directory with exactly `size` bytes of `data`.
void fuzz_write_file(const char* name, const uint8_t* data, size_t size);

// Stops the run with a message when a property does not hold; the fuzzer reports it as a crash.
void fuzz_require(bool ok, const char* what);
