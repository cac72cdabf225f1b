# Sourced by shell tests that play the game in a window (the Linux game, or the Windows one under
# Wine), after tests/support/children.sh so that everything started here ends with the test: a
# private X server, the game's window, a private sound server and a Wine prefix made ready for tests.

# xvfb_start DIR: starts Xvfb (its log in DIR), exports DISPLAY and sets xvfb_pid.
xvfb_start() {
  exec 3>"$1/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$1/display")"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# window_id: the X window of the game ("PIXEL BREAKER"), waited for up to 30 s; empty if none.
window_id() {
  local id=""
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name '^PIXEL BREAKER$' 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

# pulse_start DIR SINK_MODULE: starts a PulseAudio of our own with that one sink, its socket at
# DIR/native (PULSE_SERVER=unix:DIR/native); sets pulse_pid.
pulse_start() {
  mkdir -p "$1/home" "$1/run"
  chmod 700 "$1/run"
  HOME="$1/home" XDG_RUNTIME_DIR="$1/run" pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="$2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$1/native" >"$1/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do [ -S "$1/native" ] && break; sleep 0.1; done
}

# wine_prefix_ready LOG: makes $WINEPREFIX once (its output in LOG), with the crash debugger
# switched off so that a crash ends the program instead of waiting at a debugger window, and
# Wine's Direct3D command thread off: it spins while it waits for work, taking a whole core of
# a small machine away from the X server and the game.
wine_prefix_ready() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "  preparing a Wine prefix in $WINEPREFIX"
    "$wine" wineboot --init >"$1" 2>&1 || true
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
      /d false /f >>"$1" 2>&1
    "$wineserver" -w
  fi
  "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$wineserver" -w  # the next start must bring up Wine's desktop on the X display
}
