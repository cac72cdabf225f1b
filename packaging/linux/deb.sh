#!/usr/bin/env bash
# Makes the Debian package of a Linux build: packaging/linux/deb.sh BUILD_DIR OUT_DIR
# writes OUT_DIR/pixbrk_VERSION_amd64.deb from what `cmake --install` puts under /usr, with the
# documentation Debian asks for (copyright, changelog, compressed manual pages) and the
# dependencies dpkg-shlibdeps finds. Every file carries the source's time (SOURCE_DATE_EPOCH,
# else the commit's time), so one build gives the same package every time.
set -euo pipefail
build=$(cd "${1:?BUILD_DIR}" && pwd)
out=$(mkdir -p "${2:?OUT_DIR}" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$build/generated/version.env"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-${PIXBRK_SOURCE_TIME:?the build does not know its source time}}
export TZ=UTC LC_ALL=C.UTF-8
umask 022
maintainer="The PIXEL BREAKER developers <maintainers@users.noreply.c-seed-ca140133.example>"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr --strip >/dev/null
# Debian keeps the commands of games in /usr/games (the launcher finds the game and its pack
# from there just as from bin/).
mv "$root/usr/bin" "$root/usr/games"
doc="$root/usr/share/doc/pixbrk"
mkdir -p "$doc"
gzip -9n "$root"/usr/share/man/man*/*
{
  echo "pixbrk ($PIXBRK_VERSION) unstable; urgency=medium"
  echo
  echo "  * PIXEL BREAKER $PIXBRK_VERSION."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.gz"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: PIXEL BREAKER"
  echo
  echo "Files: *"
  echo "Copyright: $(sed -n 's/^Copyright (c) //p' "$here/../../LICENSE")"
  echo "License: Expat"
  sed -n '/^Permission/,$p' "$here/../../LICENSE" | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"

# dpkg-shlibdeps wants to run in a source package's folder.
mkdir -p "$work/debian" "$root/DEBIAN"
printf 'Source: pixbrk\n\nPackage: pixbrk\nArchitecture: any\n' >"$work/debian/control"
mapfile -t programs < <(cd "$root" && find usr -type f -perm -u+x -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print | sort)
depends=$(cd "$work" && dpkg-shlibdeps -O "${programs[@]/#/root/}" | sed -n 's/^shlibs:Depends=//p')
# Installed-Size as dpkg counts it: each file's KiB rounded up, and one for each folder.
size=$(cd "$root" && find usr \( -type f -printf '%s\n' \) -o -printf '1024\n' | awk '{ k += int(($1 + 1023) / 1024) } END { print k }')
cat >"$root/DEBIAN/control" <<END
Package: pixbrk
Version: $PIXBRK_VERSION
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $size
Depends: $depends
Section: games
Priority: optional
Description: arcade game: ball and paddle against a marching alien formation
 PIXEL BREAKER is a single-player arcade game: a ball and a paddle against a
 marching formation of 40 aliens, five rounds, a local top-16 ranking, three
 settings and every game recorded as a replay that can be saved and watched
 again. Played with the mouse, a touch screen, the keyboard or a gamepad.
 .
 The package also holds pixbrk-headless, which runs the game from touch
 scripts, checks replays and turns them into videos, and pixpack, the tool
 that builds the game's pictures and sounds into ROMDATA.BIN.
END
(cd "$root" && find usr -type f | sort | xargs md5sum) >"$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 0755 {} +
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/pixbrk_${PIXBRK_VERSION}_amd64.deb" >/dev/null
echo "$out/pixbrk_${PIXBRK_VERSION}_amd64.deb"
