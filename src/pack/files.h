// Where the game keeps its files (LOG.TXT, SCORE.DAT, PIXBRK01.REP ... PIXBRK16.REP): a folder,
// the working directory, or nowhere at all (a server plays without keeping any file). The names
// the game uses are relative to that folder; absolute paths are used as they are.
#pragma once
#include <cstddef>
#include <cstdio>

constexpr size_t FILES_PATH_MAX = 4096;

// `folder`: "" for the working directory, null for no files (nothing is read or written).
void files_use(const char* folder);
const char* files_folder();  // as given to files_use ("" for the working directory), or null

// The path of `name` in the game's folder, written into `out`; null when no files are kept or
// the path does not fit.
const char* files_path(const char* name, char (&out)[FILES_PATH_MAX]);

// Opens `name` in the game's folder with fopen's `mode`; null when it cannot, or no files are kept.
std::FILE* files_open(const char* name, const char* mode);
