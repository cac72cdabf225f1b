#!/usr/bin/env bash
# Every worker thread of the server plays a game of its own, so the server's build of the pack,
# engine and game must keep no mutable record shared between threads: each is PER_THREAD
# (thread-local there). Lists the shared writable records of that build, apart from the few
# that are shared on purpose, and fails when there are others. The plain build of the game,
# where every record is shared, shows that the listing finds them.
# Usage: per_thread_records.sh SERVER_CORE_LIB PLAIN_GAME_LIB
set -euo pipefail
shared_records() {  # the writable, not thread-local records of a static library
  objdump -t "$1" | grep -E '\s\.(data|bss)(\.[^ ]*)?\s' | grep -vE '\.data\.rel\.ro' | awk '{print $NF}' \
    | c++filt | grep -vE '^\.|^DW\.ref\.|^__(odr_asan|asan|sancov)' | sort -u  # not section names, not a sanitizer's
}
# Shared on purpose: the log's lock (one LOG.TXT) and the counter that makes temporary names unique.
allowed='log_lock$|temp_candidate\(.*\)::attempts$'
others=$(shared_records "$1" | grep -vE "$allowed" || true)
if [ -n "$others" ]; then
  echo "records shared by the server's worker threads (declare them PER_THREAD):"
  echo "$others"
  exit 1
fi
found=$(shared_records "$2" | grep -vcE "$allowed" || true)
if [ "$found" -lt 10 ]; then
  echo "the listing found only $found shared records in the plain game: it does not see them"
  exit 1
fi
echo "no shared records in the server's game (the plain game has $found)"
