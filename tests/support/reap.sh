#!/usr/bin/env bash
# Ends processes that tests started, found by a mark in their environment: a NAME=VALUE that the
# starter exported and that every process below it inherits, daemons and re-parented ones too.
#
#   reap.sh watch PID MARK     waits until process PID has ended, however it ended (SIGKILL too),
#                              then ends every process carrying MARK (SIGTERM, then SIGKILL to
#                              those still there after 2 s)
#   reap.sh leftovers MARK     after a test run: gives processes carrying MARK 10 s to end by
#                              themselves, then names and ends those still running and fails
#
# tests/support/child.cpp starts a watcher for every test program that starts children;
# scripts/test starts one for the whole run; a shell test sources tests/support/children.sh.
set -u

# Live processes whose environment holds MARK, other than this script and its own helpers.
marked() {
  local f pid ppid
  for f in $(grep -lzxF -- "$1" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${f#/proc/}
    pid=${pid%/environ}
    [ "$pid" = $$ ] && continue
    ppid=$(sed -E 's/^[0-9]+ \(.*\) . ([0-9]+) .*/\1/' "/proc/$pid/stat" 2>/dev/null) || continue
    [ "$ppid" = $$ ] && continue
    echo "$pid"
  done
}

end_marked() {
  local pids
  pids=$(marked "$1")
  [ -z "$pids" ] && return 0
  kill -TERM $pids 2>/dev/null
  for _ in $(seq 20); do
    pids=$(marked "$1")
    [ -z "$pids" ] && return 0
    sleep 0.1
  done
  kill -KILL $pids 2>/dev/null
  return 0
}

case "${1:-}" in
  watch)
    tail --pid="$2" -s 0.5 -f /dev/null
    left=$(marked "$3" | wc -l)
    if [ "$left" -gt 0 ]; then
      echo "reap.sh: process $2 has ended; ending the $left processes it left behind" >&2
      end_marked "$3"
    fi
    ;;
  leftovers)
    for _ in $(seq 100); do
      [ -z "$(marked "$2")" ] && exit 0
      sleep 0.1
    done
    echo "Processes started by the tests are still running:" >&2
    ps -o pid,ppid,etime,args -p "$(marked "$2" | paste -sd,)" >&2 || true
    end_marked "$2"
    exit 1
    ;;
  *)
    echo "usage: reap.sh watch PID MARK, or reap.sh leftovers MARK" >&2
    exit 2
    ;;
esac
