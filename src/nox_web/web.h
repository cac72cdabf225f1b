// The browser host: where its files live in the page's in-memory file system. The page's
// script (shell.js) puts ROMDATA.BIN and the saved files there before the game starts.
#pragma once

constexpr const char* WEB_ROMDATA_PATH = "/rom/ROMDATA.BIN";
// The game's working directory: SCORE.DAT and the replays, kept in the browser's storage,
// and LOG.TXT, whose lines go to the browser console.
constexpr const char* WEB_SAVE_DIR = "/save";
// The trace of a test-mode run.
constexpr const char* WEB_TEST_TRACE_PATH = "/run/trace.jsonl";
