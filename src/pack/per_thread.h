// The game's state lives in fixed-size static records (the pack, the engine, the game). Each
// such record is declared PER_THREAD: plain static storage in every program but the server,
// whose copy of the same code (the pixbrk_core_mt library, built with PIXBRK_PER_THREAD) keeps
// one of each per thread, so that each of its worker threads runs a game of its own.
#pragma once

#if defined(PIXBRK_PER_THREAD)
#define PER_THREAD thread_local
#else
#define PER_THREAD
#endif
