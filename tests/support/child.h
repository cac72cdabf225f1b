// Child processes for tests (Xvfb, the game, xdotool, servers, browsers): the one way to start
// one, so that none outlives the test program, however it ends. Each child
//   - is killed by the kernel when the test program dies, even by SIGKILL (PR_SET_PDEATHSIG,
//     tied to the thread that started it: start children from the main thread);
//   - carries a mark in its environment, inherited by everything it starts in turn; a watcher
//     process (tests/support/reap.sh) ends every marked process once the test program is gone,
//     so grandchildren and daemons go too.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// Starts argv[0] (searched in PATH). `env` entries ("NAME=value") are added to (or replace) the
// environment. Standard output and error go to the given files ("" = /dev/null); keep_fd, when
// not -1, stays open in the child under its own number. Returns the pid, or -1.
pid_t spawn_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
                    const std::string& out_path, const std::string& err_path, int keep_fd = -1);

// Waits for a child; returns its exit status, or -1 after timeout_ms (the child keeps running),
// or 128 + signal number when a signal ended it.
int wait_program(pid_t pid, int timeout_ms);

// Ends a child: SIGTERM, then SIGKILL if it is still there after grace_ms. Returns its status.
int stop_program(pid_t pid, int grace_ms);

// For a test that forks a copy of itself (no exec): the first call in the copy, so that it is
// killed when the test program dies, whatever it is doing then. `parent` is getpid() before the fork.
void end_with_parent(pid_t parent);

// Runs a program to its end (at most 20 s, then it is killed) and returns its exit status; its
// standard error goes to err_path ("" = /dev/null).
int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const std::string& err_path = "");
