# Sourced by the Windows smoke test and the Windows benchmark (source tests/support/children.sh
# first): Wine with a prefix of the build's own, a virtual X display and a PulseAudio of our own
# whose only sink writes what is played into WORK/sound.raw.
#   wine_env_start WIN_BUILD_DIR WORK   sets up all of it: $wine, $wineserver, $pulse, DISPLAY,
#                                       and WORK/wm_close (asks a window to close, as a window
#                                       manager's close button does)
#   wine_env_stop                       ends Wine, the sound server and the display
#   window_id                           the game's window (tests/support/desktop.sh)
wine_env_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$wine_env_here/../support/desktop.sh"
xvfb_pid=""
pulse_pid=""
capture_pid=""

wine_env_start() {
  local win_dir=$1 work=$2
  export WINEPREFIX="$win_dir/wine-prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  wine=$(command -v wine || command -v wine64)
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  cc -O1 -o "$work/wm_close" "$wine_env_here/wm_close.c" -lX11
  wine_prefix_ready "$work/wineboot.log"
  xvfb_start "$work"
  pulse="$work/pulse"
  mkdir -p "$pulse"
  mkfifo "$pulse/out.fifo"
  cat "$pulse/out.fifo" >"$work/sound.raw" &
  capture_pid=$!
  pulse_start "$pulse" "module-pipe-sink sink_name=pixbrk file=$pulse/out.fifo format=s16le rate=22050 channels=1 use_system_clock_for_timing=yes"
}

wine_env_stop() {
  [ -n "${wineserver:-}" ] && "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null || true
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
