// Where the Windows game keeps its files, and its answer to --version.
#pragma once
#include <cstddef>

// Answers a command line holding "--version" (wherever it stands) with the line "pixbrk
// VERSION": on the standard output the program was given (a pipe or a file), else on the
// console of the program that started it, else in a message box. Returns false, having done
// nothing, for any other command line.
bool win_answer_version();

// Enters the folder where the game's files go and names the pack to load:
//   - "portable.txt" beside the program (the zip): the program's own folder;
//   - else "installed.txt" beside the program (the installer): %APPDATA%\PIXEL BREAKER, made
//     if need be; the pack is the one there, or else the one beside the program;
//   - else the working folder the program was started in, as always.
// Writes the pack's path (at most `size` bytes) into `pack`. Returns 0, or the Windows error
// code when the application-data folder cannot be used (the game then stays where it was
// started).
unsigned long win_enter_files_folder(char* pack, std::size_t size);
