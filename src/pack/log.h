// LOG.TXT: one time-stamped line per call, opened and closed for every line.
#pragma once
#include <cstdint>

// Writes "YYYY/MM/DD hh:mm:ss message <src:line>\n" to LOG.TXT in the game's folder (none
// when the game keeps no files: pack/files.h).
// A null src writes no location suffix. Silent when the file cannot be opened.
// Lines from different threads never interleave.
void putlog(const char* src, int line, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The host layer's own source location string, used for every located log line
// (the pack loader logs with it too). Each host sets its own at start-up.
void putlog_set_source(const char* src);
const char* putlog_source();

// Deletes LOG.TXT, so that the log holds the current run only.
void putlog_restart();
