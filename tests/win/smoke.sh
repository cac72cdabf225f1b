#!/usr/bin/env bash
# Smoke test of the Windows build under Wine, on a virtual X display with a private PulseAudio.
#
#   tests/win/smoke.sh WIN_BUILD_DIR HOST_BUILD_DIR [--portable]
#
# WIN_BUILD_DIR holds pixbrk.exe, pixbrk-headless.exe and ROMDATA.BIN (the mingw preset's
# build); HOST_BUILD_DIR holds the Linux pixbrk-headless. With --portable, WIN_BUILD_DIR is the
# unpacked Windows zip: each run of pixbrk.exe starts a copy of it and its portable.txt in the
# run's own folder, under a path with a space and a non-ASCII letter, from another working
# folder, and the game's files must land beside it. Checks:
#   1. a full run of pixbrk.exe: the title picture equals the headless runner's at 2x, so
#      does a pressed button, dragging out of the window lets go of it, GAME START starts a round, Escape in it returns to the title menu (again as the headless
#      runner shows it), a round played is sharp 2 x 2 blocks, the game runs at 60 frames per
#      second (the game's own count of the frames it showed and gave up, in LOG.TXT, by the
#      pacing rule of every frame-rate check), sound reaches the sound server, closing the
#      window ends the program with exit code 0 and LOG.TXT tells exactly that story;
#   2. start-up failures end with exit code 1, the reason told on the standard error and the
#      log's story: without a sound server "ds_init error." (and Direct3D is released), with an
#      empty pack "nox_init error." (and the sound thread stops), without ROMDATA.BIN (or with a
#      folder in its place) "loadbin error.";
#   3. the Windows headless runner gives the Linux one's traces on the same touch scripts and
#      with its built-in player, and a replay recorded by either plays back to the same score
#      on the other and passes the other's replay check;
#   and, before any run, that pixbrk.exe's manifest declares it DPI-aware.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/children.sh"  # Xvfb, PulseAudio and Wine end with this script, however it ends
win_dir=$(cd "${1:?WIN_BUILD_DIR}" && pwd)
host_dir=$(cd "${2:?HOST_BUILD_DIR}" && pwd)
work=$(mktemp -d /tmp/pixbrk-win.XXXXXX)
games="$work"
[ "${3:-}" = --portable ] && games="$work/Jeux à deux"
# The program a run of the game starts and the folder it starts in: the build's pixbrk.exe in
# the run's folder DIR, or (--portable) a copy of the zip's program in DIR, started elsewhere.
game_in() {  # game_in DIR: sets game_exe and game_cwd
  if [ "$games" = "$work" ]; then
    game_exe="$win_dir/pixbrk.exe" game_cwd="$1"
  else
    cp "$win_dir/pixbrk.exe" "$win_dir/portable.txt" "$1/"
    game_exe="$1/pixbrk.exe" game_cwd="$work"
  fi
}

. "$here/wine_env.sh"

failures=0
cleanup() {
  wine_env_stop
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "  (everything of this run is kept in $work)"; fi
}
trap cleanup EXIT

pass() { echo "  ok    $*"; }
fail() {
  echo "  FAIL  $*"
  failures=$((failures + 1))
}
check() {  # check "what" command...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}


# --- 0. the program declares itself DPI-aware: Windows' display scaling must not blur it -------
# (Debian's python3-pefile belongs to Debian's own Python, which may not be the first python3.)
py=python3
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import pefile' 2>/dev/null && py=/usr/bin/python3
dpi_ok=1
dpi=$("$py" "$here/manifest_check.py" "$win_dir/pixbrk.exe" 2>&1 | tail -1) || dpi_ok=0
check "pixbrk.exe declares itself DPI-aware ($dpi)" test "$dpi_ok" = 1

wine_env_start "$win_dir" "$work"

# Log lines without their time stamps ("YYYY/MM/DD hh:mm:ss "), line ends made plain.
log_lines() { sed -e 's/\r$//' "$1" | sed -E 's#^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ##'; }
stamps_ok() { ! sed -e 's/\r$//' "$1" | grep -Evq '^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} '; }

# Grabs the window's 480 x 640 client area from the screen. The pictures are grabbed and compared
# at a lower priority than the game's, so that looking at it takes as little from its frames as can be.
grab() {  # grab WINDOW FILE
  local x y
  x=$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left X: *//p')
  y=$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left Y: *//p')
  nice -n 10 import -window root -crop "480x640+$x+$y" +repage "$2"
}

differing_pixels() { nice -n 10 compare -metric AE "$1" "$2" null: 2>&1 || true; }

# Grabs the window until it shows a still picture equal to WANTED (a busy machine may take a
# while to get there) or five seconds have passed; prints how many pixels differ at the end.
grab_matching() {  # grab_matching WINDOW FILE WANTED
  local diff=""
  for _ in $(seq 10); do
    sleep 0.5
    grab "$1" "$2"
    diff=$(differing_pixels "$2" "$3")
    [ "$diff" = 0 ] && break
  done
  echo "$diff"
}

wait_for_log() {  # wait_for_log FILE TEXT SECONDS
  for _ in $(seq $(($3 * 10))); do
    grep -qF "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# --- 1. a whole run --------------------------------------------------------------------------
echo "pixbrk.exe: title, one round, close"
run="$games/run"
mkdir -p "$run" "$work/title"
cp "$win_dir/ROMDATA.BIN" "$run/"
cp "$win_dir/ROMDATA.BIN" "$work/title/"
(cd "$work/title" && "$host_dir/pixbrk-headless" --frames 40 --png 30:"$work/title-headless.png" --scale 2 >/dev/null)
# The headless runner's pictures of the steps below, made before the game starts so that they
# take nothing from its frames: a pressed button, and the title menu after GAME START and Escape.
mkdir -p "$work/pressed"
cp "$win_dir/ROMDATA.BIN" "$work/pressed/"
printf 'wait 10\nmove 240 290\ndown\nwait 60\n' >"$work/pressed.txt"
(cd "$work/pressed" && "$host_dir/pixbrk-headless" --script "$work/pressed.txt" \
  --png 60:"$work/pressed-headless.png" --scale 2 >/dev/null)
printf 'wait 10\nmove 240 230\ndown\nwait 2\nup\nleave\nwait 90\nesc\nwait 60\n' >"$work/escape.txt"
mkdir -p "$work/escape"
cp "$win_dir/ROMDATA.BIN" "$work/escape/"
(cd "$work/escape" && "$host_dir/pixbrk-headless" --script "$work/escape.txt" \
  --png 160:"$work/escape-headless.png" --scale 2 >/dev/null)

xdotool mousemove 1020 760  # the pointer stays outside the window until the click
game_in "$run"
(
  cd "$game_cwd"
  export PULSE_SERVER="unix:$pulse/native"
  export WINEDEBUG=-all,+timestamp,+d3d9
  set +e
  timeout 120 "$wine" "$game_exe" >"$work/run.out" 2>&1
  echo $? >"$work/run.rc"
) &
game=$!
wid=$(window_id)
if [ -z "$wid" ]; then
  fail "the window \"PIXEL BREAKER\" appears"
else
  pass "the window \"PIXEL BREAKER\" appears"
  check "client area is 480 x 640" test "$(xwininfo -id "$wid" | sed -n 's/^ *Width: *//p')x$(xwininfo -id "$wid" | sed -n 's/^ *Height: *//p')" = 480x640
  wait_for_log "$run/LOG.TXT" "Sound-thread has started." 20 || true
  diff_title=$(grab_matching "$wid" "$work/title-wine.png" "$work/title-headless.png")
  check "title screen equals the headless runner's frame at 2x ($diff_title pixels differ)" test "$diff_title" = 0

  # Pressing LOCAL RANKING shows the pressed button, as in the headless runner. Dragging the
  # pointer out of the window lets go of it (the window's leave notice), which opens the
  # ranking; a tap there returns to the title menu.
  xdotool mousemove --window "$wid" 240 290 mousedown 1
  diff_pressed=$(grab_matching "$wid" "$work/pressed-wine.png" "$work/pressed-headless.png")
  check "a pressed button looks as in the headless runner ($diff_pressed pixels differ)" test "$diff_pressed" = 0
  xdotool mousemove 1020 760
  sleep 1
  grab "$wid" "$work/left-wine.png"
  check "dragging out of the window lets go: the ranking opens" \
    test "$(differing_pixels "$work/left-wine.png" "$work/pressed-headless.png")" != 0 -a \
    "$(differing_pixels "$work/left-wine.png" "$work/title-headless.png")" != 0
  xdotool mouseup 1
  xdotool mousemove --window "$wid" 240 600 mousedown 1
  sleep 0.2
  xdotool mouseup 1
  xdotool mousemove 1020 760
  diff_back=$(grab_matching "$wid" "$work/back-wine.png" "$work/title-headless.png")
  check "a tap on the ranking returns to the title menu ($diff_back pixels differ)" test "$diff_back" = 0

  # GAME START, the pointer off the window, Escape in the round: back to the title menu, now
  # with a recording to save, exactly as the headless runner shows it after the same steps.
  xdotool mousemove --window "$wid" 240 230 mousedown 1
  sleep 0.2
  xdotool mouseup 1
  xdotool mousemove 1020 760
  sleep 1.5
  grab "$wid" "$work/round-wine.png"
  check "GAME START starts a round (the picture is not the title any more)" \
    test "$(differing_pixels "$work/round-wine.png" "$work/title-wine.png")" != 0
  timeout 10 xdotool windowfocus --sync "$wid" key Escape || true
  diff_escape=$(grab_matching "$wid" "$work/escape-wine.png" "$work/escape-headless.png")
  check "Escape returns to the title menu, as in the headless runner ($diff_escape pixels differ)" \
    test "$diff_escape" = 0

  # A round played: hold the paddle low on the screen, move it, and serve.
  xdotool mousemove --window "$wid" 240 230 mousedown 1
  sleep 0.2
  xdotool mouseup 1
  sleep 1
  xdotool mousemove --window "$wid" 200 560 mousedown 1
  sleep 0.5
  xdotool mousemove --window "$wid" 280 560
  sleep 0.5
  xdotool mouseup 1
  sleep 3
  grab "$wid" "$work/play-wine.png"
  convert "$work/play-wine.png" -sample 50% -sample 200% "$work/play-blocks.png"
  diff_blocks=$(differing_pixels "$work/play-wine.png" "$work/play-blocks.png")
  check "every virtual pixel is a sharp 2 x 2 block ($diff_blocks pixels are not)" test "$diff_blocks" = 0
  "$work/wm_close" "$wid"
fi
wait "$game" || true
rc=$(cat "$work/run.rc" 2>/dev/null || echo none)
check "exit code 0 after closing the window (got $rc)" test "$rc" = 0

log_lines "$run/LOG.TXT" >"$work/run.log"
cat >"$work/run.expected" <<'EOF'
Load binary file: ROMDATA.BIN <.\src\nox_w.cpp:943>
Using: HAL+SWV <.\src\nox_w.cpp:478>
Sound-thread has started. <.\src\nox_w.cpp:754>
Sound-thread will now stop. <.\src\nox_w.cpp:808>
Presented N frames in T ms (G given up after S stalls). <.\src\nox_w.cpp:296>
Exit program. <.\src\nox_w.cpp:300>
EOF
check "LOG.TXT starts with the \"Executes\" line" grep -Eq '^Executes "PIXEL BREAKER" on Windows [0-9]+\.[0-9]+ .*\([0-9]+,[0-9]+\)$' <(head -1 "$work/run.log")
check "LOG.TXT lines are exactly the run's story" cmp -s <(tail -n +2 "$work/run.log" |
  sed -E 's/^Presented [0-9]+ frames in [0-9]+ ms \([0-9]+ given up after [0-9]+ stalls\)/Presented N frames in T ms (G given up after S stalls)/') \
  "$work/run.expected"
check "every LOG.TXT line has its time stamp" stamps_ok "$run/LOG.TXT"
if [ "$failures" -ne 0 ]; then sed 's/^/    LOG.TXT: /' "$run/LOG.TXT"; fi

# Frame pacing, by the rule every frame-rate check applies (README, "A busy machine"), to the
# game's own count at the end of LOG.TXT: the frames it showed from the first picture to the
# last, and those its schedule gave up after stalls. The count is the presenter's: as many
# frames as Wine saw Present calls. And no stretch of two seconds of those calls holds more
# than its 120 frames and the few that a late frame leaves to catch up (the schedule gives up
# on frames more than 6 behind), so the game never races.
grep 'd3d9_device_Present' "$work/run.out" | cut -d: -f1 >"$work/presents" || true
busiest=$(awk '{ t[NR] = $1 } END { j = 1; for (i = 1; i <= NR; i++) { while (t[i] - t[j] >= 2) j++; if (i - j + 1 > m) m = i - j + 1 } print m + 0 }' "$work/presents")
check "never more than 60 frames per second (at most $busiest frames in 2 s)" test "$busiest" -le 127
logged=$(sed -n 's/.*Presented \([0-9]*\) frames in .*/\1/p' "$run/LOG.TXT")
check "the log counts the frames presented, over 2 s of them ($logged logged, $(wc -l <"$work/presents") Present calls)" \
  test "${logged:-0}" -gt 120 -a "${logged:-0}" = "$(wc -l <"$work/presents")"
c++ -std=c++20 -O1 -I "$here/.." -o "$work/pacing_check" "$here/pacing_check.cpp" "$here/../support/pacing_rule.cpp"
pacing=$("$work/pacing_check" "$run/LOG.TXT") && pacing_ok=1 || pacing_ok=0
check "frames are paced at 60 per second ($pacing)" test "$pacing_ok" = 1
# The same check of a game that ran at 30 frames a second must fail.
echo 'Presented 300 frames in 9999 ms (0 given up after 0 stalls).' >"$work/slow.log"
check "the pacing check fails a game at 30 frames a second" test "$("$work/pacing_check" "$work/slow.log" >/dev/null; echo $?)" = 1

sound_bytes=$(tr -d '\000' <"$work/sound.raw" | wc -c)
check "sound reached the sound server ($sound_bytes non-zero bytes)" test "$sound_bytes" -gt 0
# The first sound of the run is the hover sound of the pressed button (34 ms, streamed through
# several segments of the looping buffer): it must arrive whole, in order, nothing repeated or
# left out. Silent samples are left out of the comparison: the sound server fills a moment it
# was not fed in time (a busy machine) with silence, which the game's looping buffer cannot
# (late, it would play old sound again, and that is caught).
"$host_dir/pixpack" extract "$win_dir/ROMDATA.BIN" "$work/effects" >/dev/null
first_effect_whole() {
  python3 - "$work/effects/eff10.pcm.wav" "$work/sound.raw" <<'PY'
import sys, wave
def sounding(data):
    return [data[i:i + 2] for i in range(0, len(data) - 1, 2) if data[i:i + 2] != b'\0\0']
effect = sounding(wave.open(sys.argv[1]).readframes(1 << 20))
played = sounding(open(sys.argv[2], 'rb').read())
if played[:len(effect)] != effect:
    print('the first', len(effect), 'sounding samples differ from the effect\'s')
    sys.exit(1)
PY
}
check "the first effect heard is whole" first_effect_whole

# --- 2. start-up failures -----------------------------------------------------------------------
# start_fails NAME TOLD [VAR=VALUE ...]: pixbrk.exe in $games/NAME (made ready beforehand), with
# the environment's VARs, must end with exit code 1, tell the player "cannot start: TOLD" on its
# standard error, and leave a LOG.TXT whose lines after the first are $work/NAME.expected.
start_fails() {
  local name=$1 told=$2 rc=0
  shift 2
  echo "pixbrk.exe: $name"
  game_in "$games/$name"
  (cd "$game_cwd" && env "$@" timeout 60 "$wine" "$game_exe" >"$work/$name.out" 2>&1) || rc=$?
  check "$name: exit code 1 when start-up fails (got $rc)" test "$rc" = 1
  check "$name: the player is told \"cannot start: $told\"" \
    grep -qxF "pixbrk: cannot start: $told" <(tr -d '\r' <"$work/$name.out")
  log_lines "$games/$name/LOG.TXT" | tail -n +2 >"$work/$name.log"
  check "$name: LOG.TXT tells the story" cmp -s "$work/$name.log" "$work/$name.expected"
  cmp -s "$work/$name.log" "$work/$name.expected" || sed 's/^/    LOG.TXT: /' "$work/$name.log"
}
mkdir -p "$games/nosound" "$games/emptypack" "$games/nopack" "$games/nopackdir/ROMDATA.BIN"
cp "$win_dir/ROMDATA.BIN" "$games/nosound/"
printf '\000\000\000\000' >"$games/emptypack/ROMDATA.BIN"  # no entries at all: loads, but the game cannot start

# No sound server: DirectSound fails, and Direct3D is released again.
cat >"$work/nosound.expected" <<'EOF'
Load binary file: ROMDATA.BIN <.\src\nox_w.cpp:943>
Using: HAL+SWV <.\src\nox_w.cpp:478>
DirectSoundCreate8 failed: 80070057 <.\src\nox_w.cpp:630>
ds_init error. <.\src\nox_w.cpp:205>
EOF
start_fails nosound "the sound cannot be played (DirectSoundCreate8 failed: 80070057)" \
  PULSE_SERVER="unix:$work/no-such-server" WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d" WINEDEBUG=-all,+d3d9
check "nosound: the Direct3D device is released" grep -q 'd3d9_device_Release .* decreasing refcount to 0\.' "$work/nosound.out"
check "nosound: the Direct3D object is released" grep -q 'd3d9_Release .* decreasing refcount to 0\.' "$work/nosound.out"

# A pack without the game's pictures: "nox_init error.", then the sound thread stops.
cat >"$work/emptypack.expected" <<'EOF'
Load binary file: ROMDATA.BIN <.\src\nox_w.cpp:943>
Using: HAL+SWV <.\src\nox_w.cpp:478>
Sound-thread has started. <.\src\nox_w.cpp:754>
nox_init error. <.\src\nox_w.cpp:212>
Sound-thread will now stop. <.\src\nox_w.cpp:808>
EOF
start_fails emptypack "no usable picture FONT.CHR in the pack" PULSE_SERVER="unix:$pulse/native"

# No pack: the code in brackets is the one Windows gave, 2 for a missing file, 5 (access denied)
# for a folder in the pack's place, where the C library would say 13.
for missing in nopack:2 nopackdir:5; do
  cat >"$work/${missing%:*}.expected" <<EOF
Load binary file: ROMDATA.BIN <.\src\nox_w.cpp:943>
Could not open: ROMDATA.BIN (${missing#*:}) <.\src\nox_w.cpp:947>
loadbin error. <.\src\nox_w.cpp:149>
EOF
  start_fails "${missing%:*}" "Could not open: ROMDATA.BIN (${missing#*:})"
done

# --- 3. the headless runner on both systems ------------------------------------------------------
echo "pixbrk-headless: Linux and Windows builds"
summary() { tr -d '\r' | tail -1; }
score_of() { sed -n 's/.* score \([0-9]*\) .*/\1/p'; }
replays_compared=0
for script in "$here"/scripts/*.txt; do
  name=$(basename "$script" .txt)
  mkdir -p "$work/lin-$name" "$work/win-$name"
  cp "$win_dir/ROMDATA.BIN" "$script" "$work/lin-$name/"
  cp "$win_dir/ROMDATA.BIN" "$script" "$work/win-$name/"
  lin=$(cd "$work/lin-$name" && "$host_dir/pixbrk-headless" --script "$name.txt" --trace trace.jsonl | summary)
  win=$(cd "$work/win-$name" && timeout 300 "$wine" "$win_dir/pixbrk-headless.exe" --script "$name.txt" \
    --trace trace.jsonl 2>/dev/null | summary) || true
  check "$name: same result ($lin)" test "$lin" = "$win"
  check "$name: same trace ($(wc -l <"$work/lin-$name/trace.jsonl") frames)" \
    cmp -s "$work/lin-$name/trace.jsonl" "$work/win-$name/trace.jsonl"
  # A script that ends by saving its game into slot 1 leaves a replay (on both systems or on
  # neither): each side plays the other's back to the score the game ended with.
  saved_on() { [ -f "$work/$1-$name/PIXBRK01.REP" ] && echo "a replay" || echo "no replay"; }
  check "$name: Linux and Windows wrote the same ($(saved_on lin) on Linux, $(saved_on win) on Windows)" \
    test "$(saved_on lin)" = "$(saved_on win)"
  if [ -f "$work/lin-$name/PIXBRK01.REP" ] && [ -f "$work/win-$name/PIXBRK01.REP" ]; then
    replays_compared=$((replays_compared + 1))
    recorded=$(echo "$lin" | score_of)
    mkdir -p "$work/lin-play-$name" "$work/win-play-$name"
    cp "$win_dir/ROMDATA.BIN" "$work/win-$name/PIXBRK01.REP" "$work/lin-play-$name/"
    cp "$win_dir/ROMDATA.BIN" "$work/lin-$name/PIXBRK01.REP" "$work/win-play-$name/"
    on_lin=$(cd "$work/lin-play-$name" && "$host_dir/pixbrk-headless" --replay PIXBRK01.REP | summary | score_of)
    on_win=$(cd "$work/win-play-$name" && timeout 300 "$wine" "$win_dir/pixbrk-headless.exe" --replay PIXBRK01.REP \
      2>/dev/null | summary | score_of) || true
    check "$name: the Windows replay plays to score $recorded on Linux (got $on_lin)" test "$on_lin" = "$recorded"
    check "$name: the Linux replay plays to score $recorded on Windows (got $on_win)" test "$on_win" = "$recorded"
    # The replay check agrees with the header on either system, for the other's file.
    verdict=$(cd "$work/lin-play-$name" && "$host_dir/pixbrk-headless" --replay PIXBRK01.REP --verify) || true
    check "$name: the Windows replay verifies on Linux ($verdict)" test "$verdict" = "verified: score $recorded in $(
      od -An -tu4 -j16 -N4 "$work/win-$name/PIXBRK01.REP" | tr -d ' ') frames"
    verdict=$(cd "$work/win-play-$name" && timeout 300 "$wine" "$win_dir/pixbrk-headless.exe" --replay PIXBRK01.REP \
      --verify 2>/dev/null | tr -d '\r') || true
    check "$name: the Linux replay verifies on Windows ($verdict)" test "${verdict%% in *}" = "verified: score $recorded"
    # This build has no video or GIF output: it says so in one line and fails.
    said=$(cd "$work/win-play-$name" && timeout 300 "$wine" "$win_dir/pixbrk-headless.exe" --replay PIXBRK01.REP \
      --video game.mp4 2>&1 >/dev/null | tr -d '\r') && said="(exit code 0) $said"
    check "$name: --video without FFmpeg: $said" test "$said" = \
      "pixbrk-headless: video output is not built into this program (FFmpeg's libraries were not found when it was built)"
  fi
done

# The scripts that save a game must have given the checks above a replay to play on each side.
check "replays were played across the systems ($replays_compared scripts saved one)" test "$replays_compared" -gt 0

# Many games of the runner's built-in player: every rule of the play, the PRNG and the ranking.
mkdir -p "$work/lin-bot" "$work/win-bot"
cp "$win_dir/ROMDATA.BIN" "$work/lin-bot/"
cp "$win_dir/ROMDATA.BIN" "$work/win-bot/"
bot_args=(--bot --frames 30000 --trace trace.jsonl --trace-every 10)
lin=$(cd "$work/lin-bot" && "$host_dir/pixbrk-headless" "${bot_args[@]}" | summary)
win=$(cd "$work/win-bot" && timeout 300 "$wine" "$win_dir/pixbrk-headless.exe" "${bot_args[@]}" 2>/dev/null | summary) || true
check "built-in player, 30000 frames: same result ($lin)" test "$lin" = "$win"
check "built-in player, 30000 frames: same trace" cmp -s "$work/lin-bot/trace.jsonl" "$work/win-bot/trace.jsonl"

if [ "$failures" -ne 0 ]; then
  echo "Windows smoke test: $failures check(s) failed"
  exit 1
fi
echo "Windows smoke test: all checks passed"
