// The command line of pixbrk-headless.
#pragma once

// Runs the command line; prints the summary or the error. Returns the exit status.
int headless_main(int argc, char** argv);
