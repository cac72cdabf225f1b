#!/usr/bin/env bash
# The Windows game's figures under Wine (README, "Windows"), on a private Xvfb with a private
# PulseAudio, the title screen shown:
#   - CPU: pixbrk.exe's CPU time (all its threads) per second of wall time, over SECONDS;
#   - pacing: the intervals between presented frames over SECONDS, from Wine's time-stamped
#     trace of Direct3D's Present (whole milliseconds), in a second run (the trace costs CPU);
#   - the wait: how late the frame loop's timer wakes after its deadline.
#
#   bench/win/win_bench.sh [SECONDS]     (default 10; after cmake --build --preset mingw)
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/support/children.sh  # Xvfb, PulseAudio and Wine end with this script, however it ends
seconds=${1:-10}
win_dir=$PWD/build/mingw
test -f "$win_dir/pixbrk.exe" || { echo "build/mingw/pixbrk.exe is missing: cmake --build --preset mingw" >&2; exit 1; }
work=$(mktemp -d /tmp/pixbrk-win-bench.XXXXXX)
. tests/win/wine_env.sh
trap 'wine_env_stop; rm -rf "$work"' EXIT
wine_env_start "$win_dir" "$work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# run NAME WINEDEBUG: starts pixbrk.exe in WORK/NAME and waits 2 s past its window's showing.
run() {
  mkdir -p "$work/$1"
  cp "$win_dir/ROMDATA.BIN" "$work/$1/"
  (cd "$work/$1" && PULSE_SERVER="unix:$pulse/native" WINEDEBUG=$2 "$wine" "$win_dir/pixbrk.exe" >"$work/$1.out" 2>&1) &
  game=$!
  wid=$(window_id)
  [ -n "$wid" ] || { echo "pixbrk.exe shows no window" >&2; exit 1; }
  sleep 2
}
close() { "$work/wm_close" "$wid"; wait "$game" || true; "$wineserver" -w; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

run cpu -all
pid=""  # ours: it carries this script's mark (tests/support/children.sh), other runs' do not
for p in $(pgrep -f 'pixbrk\.exe'); do tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "$pixbrk_reap_mark" && pid=$p; done
[ -n "$pid" ] || { echo "pixbrk.exe's process is not found" >&2; exit 1; }
t0=$(date +%s.%N); c0=$(cpu_ticks "$pid")
sleep "$seconds"
t1=$(date +%s.%N); c1=$(cpu_ticks "$pid")
close
awk -v c="$((c1 - c0))" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" \
  'BEGIN { printf "CPU: %.1f %% of a core over %.1f s\n", 100 * c / hz / (t1 - t0), t1 - t0 }'

run pacing -all,+timestamp,+d3d9
sleep "$seconds"
close
grep 'd3d9_device_Present' "$work/pacing.out" | cut -d: -f1 |
  awk 'NR == 1 { start = $1 } $1 - start >= 2 { print ($1 - prev) * 1000 } { prev = $1 }' | sort -n |
  awk '{ t[++n] = $1; sum += $1 }
    END { if (n < 2) { print "pacing: no frames traced"; exit 1 }
          printf "pacing: %d frames, %.2f ms apart on average, 99th percentile %.0f ms, longest %.0f ms\n",
                 n + 1, sum / n, t[int(n * 0.99)], t[n] }'

x86_64-w64-mingw32-g++-posix -O2 -std=c++20 -Isrc -o "$work/wait_lateness.exe" bench/win/wait_lateness.cpp \
  src/host/clock.cpp -static -lwinmm
"$wine" "$work/wait_lateness.exe" | tr -d '\r'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
