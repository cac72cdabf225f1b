# Releases: the version rules (tests/release/version_rules.sh); scripts/release twice, from two clones of this commit in two folders (the second's
# path with a space and a non-ASCII letter), one after the other, the second in another time
# zone and without ccache: every file must be the same, and diffoscope shows where one is not.
# Then the downloads themselves: the .deb and the tarball (tests/release/linux.sh), the Windows
# zip's programs through the Windows smoke test from a folder with a space and a non-ASCII
# letter, the installer (tests/release/windows_setup.sh) and the web zip served from a sub-path
# (tests/release/web_zip.mjs).
set -euo pipefail
. tests/support/children.sh  # Xvfb, Wine, PulseAudio, Chromium and the servers end with this stage
. scripts/deps.sh
pixbrk_need_packages $PIXBRK_TEST_PACKAGES $PIXBRK_RELEASE_TEST_PACKAGES $PIXBRK_WEB_TEST_PACKAGES
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "NOTE: the release is built from commit $(git rev-parse --short HEAD): changes not committed are not in it"
fi
bash tests/release/version_rules.sh
work=$(mktemp -d /tmp/pixbrk-release.XXXXXX)
failed=""
trap '[ -n "$failed" ] && echo "(kept in $work)" || rm -rf "$work"' EXIT

first="$work/first"
second="$work/second Spiel ë"
git clone -q "$PWD" "$first"
git clone -q "$PWD" "$second"
started=$(date +%s)
(cd "$first" && scripts/release) >"$work/first.log" 2>&1 || { failed=1; tail -40 "$work/first.log"; exit 1; }
echo "first release build: $(($(date +%s) - started)) s"
started=$(date +%s)
(cd "$second" && CCACHE_DISABLE=1 TZ=Asia/Kathmandu scripts/release) >"$work/second.log" 2>&1 ||
  { failed=1; tail -40 "$work/second.log"; exit 1; }
echo "second release build: $(($(date +%s) - started)) s"
dist="$first/dist"
cat "$dist/SHA256SUMS"
if ! diff <(cd "$dist" && ls) <(cd "$second/dist" && ls); then
  echo "FAILED: the two release builds made different files"
  failed=1
fi
for f in "$dist"/*; do
  name=$(basename "$f")
  if ! cmp -s "$f" "$second/dist/$name"; then
    echo "FAILED: $name differs between the two builds:"
    timeout 600 diffoscope --text - "$f" "$second/dist/$name" | head -200 || true
    failed=1
  fi
done
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || failed=1
[ -z "$failed" ] || exit 1
echo "the two release builds are the same, file for file"

version=$(cd "$first" && cmake -P cmake/version.cmake | sed -n 's/^PIXBRK_VERSION=//p')
# The source tarball is the commit's files, with SOURCE_VERSION.
if ! diff <(tar -tzf "$dist/pixbrk-$version-src.tar.gz" | sed 's#^[^/]*/##' | grep -v '/$' | sed '/^$/d' | sort) \
  <({ git ls-files; echo SOURCE_VERSION; } | sort); then
  failed=1
  echo "FAILED: the source tarball does not hold the commit's files"
  exit 1
fi

# The runner and pack the downloads are compared with.
cmake --preset default >/dev/null
cmake --build --preset default --target pixpack pixbrk-headless romdata
bash tests/release/linux.sh "$dist" "$version" build/default || { failed=1; exit 1; }

zipped="$work/Spiele für Windows"
mkdir -p "$zipped"
unzip -q "$dist/pixbrk-$version-windows-x64.zip" -d "$zipped"
echo "the Windows zip, from $zipped:"
bash tests/win/system_dlls.sh "$zipped/pixbrk-$version-windows-x64"/*.exe || { failed=1; exit 1; }
bash tests/win/smoke.sh "$zipped/pixbrk-$version-windows-x64" build/default --portable || { failed=1; exit 1; }
bash tests/release/windows_setup.sh "$dist/pixbrk-$version-windows-x64-setup.exe" "$version" || { failed=1; exit 1; }

(cd tests/web && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
# In a process group of its own (timeout makes one), with its server and Chromium inside.
timeout --kill-after=10s 300s node --test-reporter=spec tests/release/web_zip.mjs \
  "$dist/pixbrk-$version-web.zip" "$version" || { failed=1; exit 1; }
