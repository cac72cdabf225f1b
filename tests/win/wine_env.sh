# Sourced by the Windows smoke test and the Windows benchmark (source tests/support/children.sh
# first): Wine with a prefix of the build's own, a virtual X display and a PulseAudio of our own
# whose only sink writes what is played into WORK/sound.raw.
#   wine_env_start WIN_BUILD_DIR WORK   sets up all of it: $wine, $wineserver, $pulse, DISPLAY,
#                                       and WORK/wm_close (asks a window to close, as a window
#                                       manager's close button does)
#   wine_env_stop                       ends Wine, the sound server and the display
#   window_id                           the game's window, waiting up to 30 s ("" if none)
wine_env_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

  # The prefix is made once per build directory; the crash debugger is switched off so that a
  # crash ends the program instead of waiting for someone at a debugger window.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "  preparing a Wine prefix in $WINEPREFIX"
    "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || true
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
      /d false /f >>"$work/wineboot.log" 2>&1
    "$wineserver" -w
  fi
  # Wine's Direct3D normally runs a command thread that spins while it waits for work, taking a
  # whole core of this small machine away from the X server and the game; do without it here.
  "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$wineserver" -w  # the next start must bring up Wine's desktop on the X display below

  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

  pulse="$work/pulse"
  mkdir -p "$pulse/home" "$pulse/run"
  chmod 700 "$pulse/run"
  mkfifo "$pulse/out.fifo"
  cat "$pulse/out.fifo" >"$work/sound.raw" &
  capture_pid=$!
  HOME="$pulse/home" XDG_RUNTIME_DIR="$pulse/run" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --load="module-pipe-sink sink_name=pixbrk file=$pulse/out.fifo format=s16le rate=22050 channels=1 use_system_clock_for_timing=yes" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$pulse/native" >"$work/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do [ -S "$pulse/native" ] && break; sleep 0.1; done
}

wine_env_stop() {
  [ -n "${wineserver:-}" ] && "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null || true
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}

window_id() {
  local id=""
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name '^PIXEL BREAKER$' 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
