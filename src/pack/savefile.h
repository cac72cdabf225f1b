// Every file a program of the game writes, and the checks on the files it reads.
//
// A file is never written in place: it is written under a temporary name made fresh beside it,
// created exclusively (it can never be a file or a link that was there before), flushed to the
// disk and renamed over the requested name. So a crash, a kill or a full disk leaves the old
// file whole, a failure leaves nothing under the requested name, and a link planted at any
// name is never written through (the rename replaces a link at the requested name itself).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pack/status.h"

// Writes the bytes of `first` and then of `second` (either may be empty) as `path`. Returns 0
// on success; on any failure returns -1 (the cause in *why when given), leaves no temporary
// file and an existing `path` as it was.
int save_file(const char* path, const uint8_t* first, size_t first_len, const uint8_t* second,
              size_t second_len, Status* why = nullptr);

// A file being written: open() makes the temporary file, file() writes into it, commit() puts it
// in place. Destroyed (or discarded) before commit(), it leaves nothing behind.
class SaveStream {
 public:
  SaveStream() = default;
  SaveStream(const SaveStream&) = delete;
  SaveStream& operator=(const SaveStream&) = delete;
  ~SaveStream() { discard(); }

  // Creates the temporary file beside `path`. False with the cause in *why ("is a folder", or
  // the system's message).
  bool open(const std::string& path, std::string* why);
  std::FILE* file() const { return file_; }
  const std::string& temp_name() const { return temp_; }  // where the bytes go meanwhile
  // Flushes the file to the disk, closes it and renames it over the path. False with the cause
  // in *why (the temporary file is then removed).
  bool commit(std::string* why);
  void discard();

 private:
  std::string path_, temp_;
  std::FILE* file_ = nullptr;
};

// Why `path` cannot be written as a file, or "" when it can be tried: "is a folder", "is a
// device, not a file", or the system's message when its folder does not exist.
std::string output_problem(const std::string& path);

// Why `path` cannot be read as a file, or "": the system's message when it does not exist,
// "is a folder", "is a device, not a file" (nothing is ever read from a device without end).
std::string input_problem(const std::string& path);

// Opens a file for reading in binary mode after input_problem's checks; null with the cause.
std::FILE* open_input(const std::string& path, std::string* why);

// Reads a file that input_problem accepts, at most `most` bytes of it, into *out. False with the
// cause in *why.
bool read_input(const std::string& path, std::string* out, std::string* why, size_t most = SIZE_MAX);

// Opens `path` for appending in text mode, created when missing, never through a link: a link
// in its place cannot be opened. Null when it cannot be opened (the log's file).
std::FILE* open_append_no_link(const char* path);
