#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own:
#
#   tests/release/windows_setup.sh SETUP_EXE VERSION
#
# /S installs silently into Program Files with a Start menu entry and an entry among the
# system's apps; the installed pixbrk.exe says VERSION; started from elsewhere it plays in
# %APPDATA%\PIXEL BREAKER, reading the installed ROMDATA.BIN, and saves its settings there;
# uninstalling (/S) removes the program, its entries and nothing of the player's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/children.sh"
. "$here/../support/desktop.sh"
. "$here/../support/check.sh"
setup=$(realpath "${1:?SETUP_EXE}")
version=${2:?VERSION}
work=$(mktemp -d /tmp/pixbrk-setup.XXXXXX)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"  # no menu entries on this machine
wine=$(command -v wine || command -v wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "${pulse_pid:-}" ] && kill "$pulse_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "  (everything of this run is kept in $work)"; fi
}
trap cleanup EXIT

cc -O1 -o "$work/wm_close" "$here/../win/wm_close.c" -lX11
xvfb_start "$work"
pulse_start "$work/pulse" module-null-sink
export PULSE_SERVER="unix:$work/pulse/native"
wine_prefix_ready "$work/wineboot.log"

echo "the installer, silently"
rc=0
"$wine" "$setup" /S || rc=$?
"$wineserver" -w
check "the installer ends with 0 (got $rc)" test "$rc" = 0
program="$WINEPREFIX/drive_c/Program Files/PIXEL BREAKER"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PIXEL BREAKER'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/PIXEL BREAKER.lnk"
check "the program is in Program Files: $(ls "$program" | tr '\n' ' ')" test "$(ls "$program" | tr '\n' ' ')" = \
  "LICENSE.txt README.txt ROMDATA.BIN installed.txt pixbrk-headless.exe pixbrk.exe uninstall.exe "
check "a Start menu entry for all users" test -f "$shortcut"
check "listed among the system's apps" grep -qx 'PIXEL BREAKER|||PIXEL BREAKER' <("$wine" uninstaller --list | tr -d '\r')
check "the entry carries the version" grep -q "DisplayVersion *REG_SZ *$version\$" <("$wine" reg query "$uninstall_key" | tr -d '\r')
for exe in pixbrk pixbrk-headless; do
  # --version is answered wherever it stands on the command line.
  said=$("$wine" "$program/$exe.exe" --version | tr -d '\r') || true
  check "$exe.exe --version says \"$said\"" test "$said" = "$exe $version"
  said=$("$wine" "$program/$exe.exe" --json --version | tr -d '\r') || true
  check "$exe.exe --json --version says \"$said\"" test "$said" = "$exe $version"
done

echo "the installed game"
appdata=$("$wine" cmd /c echo '%APPDATA%' | tr -d '\r')
files="$(winepath -u "$appdata" | sed 's#/$##')/PIXEL BREAKER"
(cd "$work" && exec timeout 120 "$wine" "$program/pixbrk.exe" >"$work/game.out" 2>&1) &
game=$!
wid=$(window_id)
check "its window appears" test -n "$wid"
if [ -n "$wid" ]; then
  for _ in $(seq 200); do grep -q "Sound-thread has started" "$files/LOG.TXT" 2>/dev/null && break; sleep 0.1; done
  sleep 1
  xdotool mousemove --window "$wid" 144 500 mousedown 1  # SOUND: the setting is saved at once
  sleep 0.3
  xdotool mouseup 1
  for _ in $(seq 50); do [ -f "$files/SCORE.DAT" ] && break; sleep 0.1; done
  "$work/wm_close" "$wid"
fi
wait "$game" || true
check "it kept its log in %APPDATA%\\PIXEL BREAKER, to the end" test "$(tr -d '\r' <"$files/LOG.TXT" | tail -1 | cut -d' ' -f3-)" = \
  'Exit program. <.\src\nox_w.cpp:300>'
check "it read the installed ROMDATA.BIN" grep -qF 'Load binary file: C:\Program Files\PIXEL BREAKER\ROMDATA.BIN' "$files/LOG.TXT"
check "it saved the changed setting there (SCORE.DAT)" test -s "$files/SCORE.DAT"
check "nothing was written beside the program or where it was started" \
  test ! -e "$program/LOG.TXT" -a ! -e "$program/SCORE.DAT" -a ! -e "$work/LOG.TXT"

echo "the uninstaller, silently"
"$wine" "$program/uninstall.exe" /S || true
"$wineserver" -w  # it runs on from a copy of itself
check "the program is gone" test ! -e "$program"
check "the Start menu entry is gone" test ! -e "$shortcut"
check "the system's apps no longer list it" test -z "$("$wine" uninstaller --list | tr -d '\r')"
check "the player's files are kept: $(ls "$files" | tr '\n' ' ')" test -s "$files/SCORE.DAT" -a -s "$files/LOG.TXT"

if [ "$failures" -ne 0 ]; then
  echo "Windows installer: $failures check(s) failed"
  exit 1
fi
echo "Windows installer: all checks passed"
