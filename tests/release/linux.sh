#!/usr/bin/env bash
# The Linux downloads of a release:
#
#   tests/release/linux.sh DIST_DIR VERSION HOST_BUILD_DIR
#
# The .deb: lintian finds no error, its AppStream metainfo and desktop entry validate, it installs
# with apt-get, its programs say VERSION, its game starts in a window and ends cleanly, keeping
# its files in the player's data folder, its runner plays the same game as HOST_BUILD_DIR's, and
# it is removed again. The tarball: unpacked anywhere, with the system's copies of the libraries
# it carries hidden (a mount namespace of its own), its game starts and keeps its files where the
# .deb's does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/children.sh"
. "$here/../support/desktop.sh"
. "$here/../support/check.sh"
dist=$(cd "${1:?DIST_DIR}" && pwd)
version=${2:?VERSION}
host_dir=$(cd "${3:?HOST_BUILD_DIR}" && pwd)
deb="$dist/pixbrk_${version}_amd64.deb"
tarball="$dist/pixbrk-$version-linux-x86_64.tar.gz"
work=$(mktemp -d /tmp/pixbrk-linux.XXXXXX)
installed=""
cleanup() {
  [ -n "$installed" ] && apt-get remove --purge -y -qq pixbrk >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "  (everything of this run is kept in $work)"; fi
}
trap cleanup EXIT
xvfb_start "$work"

# play_briefly HOME COMMAND...: starts the game with that home folder, waits for its window, ends
# it as the desktop does at log-out (SIGTERM); prints its exit status.
play_briefly() {
  local home=$1 pid wid="" rc=0
  shift
  mkdir -p "$home"
  HOME="$home" XDG_DATA_HOME="" SDL_AUDIODRIVER=dummy "$@" >"$home/out.txt" 2>&1 &
  pid=$!
  wid=$(window_id)
  [ -n "$wid" ] && sleep 1  # a few frames shown
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || rc=$?
  [ -n "$wid" ] && echo "$rc" || echo "no window"
}
ended_well() { tail -1 "$1/.local/share/pixbrk/LOG.TXT" 2>/dev/null | grep -q 'Exit program\.'; }

echo "the Debian package"
if dpkg-query -W -f='${Status}' pixbrk 2>/dev/null | grep -q "install ok installed"; then
  echo "  FAIL  a pixbrk package is installed on this machine already; this test does not touch it"
  echo "        (apt-get remove pixbrk, then run the test again)"
  exit 1
fi
check "lintian finds no error" lintian --fail-on error "$deb"
dpkg-deb -x "$deb" "$work/deb"
check "appstreamcli validates the metainfo" appstreamcli validate --no-net "$work"/deb/usr/share/metainfo/*.metainfo.xml
check "desktop-file-validate passes the desktop entry" desktop-file-validate "$work/deb/usr/share/applications/pixbrk.desktop"
check "apt-get installs it" apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb"
installed=1
for program in pixbrk pixbrk-headless pixpack; do
  said=$("/usr/games/$program" --version) || true
  check "$program --version says \"$said\"" test "$said" = "$program $version"
done
status=$(play_briefly "$work/home-deb" /usr/games/pixbrk)
check "the game starts in a window and ends with 0 (got $status)" test "$status" = 0
check "its log is in ~/.local/share/pixbrk, to the end" ended_well "$work/home-deb"
mkdir -p "$work/runner-deb" "$work/runner-host"
cp /usr/share/pixbrk/ROMDATA.BIN "$work/runner-deb/"
cp "$host_dir/ROMDATA.BIN" "$work/runner-host/"
bot=(--bot --frames 30000 --trace trace.jsonl --trace-every 10)
(cd "$work/runner-deb" && /usr/games/pixbrk-headless "${bot[@]}" >/dev/null) || true
(cd "$work/runner-host" && "$host_dir/pixbrk-headless" "${bot[@]}" >/dev/null)
check "the installed runner plays the built-in player's 30000 frames as the tested one does" \
  cmp -s "$work/runner-deb/trace.jsonl" "$work/runner-host/trace.jsonl"
check "apt-get removes it" apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=300 pixbrk
installed=""
check "nothing of it is left in /usr" test ! -e /usr/games/pixbrk -a ! -e /usr/share/pixbrk

echo "the tarball"
unpacked="$work/Spiele & mehr"
mkdir -p "$unpacked"
tar -xzf "$tarball" -C "$unpacked"
game="$unpacked/pixbrk-$version-linux-x86_64"
# The system's copies of what the tarball carries, made unloadable in the namespace below.
hidden=""
for f in $(dpkg -L libsdl2-2.0-0 libsamplerate0 libdecor-0-0 libxss1 | grep '\.so'); do
  if [ -f "$f" ] && [ ! -L "$f" ]; then hidden+="$f "; fi
done
in_namespace() {  # in_namespace COMMAND...: becomes COMMAND, run where the system has no SDL2
  exec unshare --mount --propagation private bash -c \
    'for f in $0; do mount --bind /dev/null "$f"; done; exec "$@"' "$hidden" "$@"
}
if ! (in_namespace true) 2>/dev/null; then
  echo "  SKIPPED: no mount namespace here; only checked with ldd that the game finds its libraries"
  in_namespace() { exec "$@"; }
fi
missing=$(in_namespace ldd "$game/libexec/pixbrk/pixbrk" | grep 'not found' || true)
check "every library the game needs is found ${missing:+(missing: $missing)}" test -z "$missing"
check "SDL2 comes from the tarball" \
  grep -qF "libSDL2-2.0.so.0 => $game/libexec/pixbrk/../../lib/libSDL2-2.0.so.0" <(in_namespace ldd "$game/libexec/pixbrk/pixbrk")
said=$(in_namespace "$game/pixbrk" --version) || true
check "./pixbrk --version says \"$said\"" test "$said" = "pixbrk $version"
status=$(play_briefly "$work/home-tar" in_namespace "$game/pixbrk")
check "the game starts in a window without the system's SDL2 and ends with 0 (got $status)" test "$status" = 0
check "its log is in ~/.local/share/pixbrk, to the end" ended_well "$work/home-tar"

if [ "$failures" -ne 0 ]; then
  echo "Linux downloads: $failures check(s) failed"
  exit 1
fi
echo "Linux downloads: all checks passed"
