# Browser build: the page built with Emscripten, then checked in headless Chromium by
# tests/web (exactness against the Linux headless runner, the picture, mouse and touch play,
# sound, frame pacing, saved files and replays, offline play, start-up failures).
set -euo pipefail
. tests/support/children.sh  # the server and Chromium end with this stage, however it ends
. scripts/deps.sh
pixbrk_need_packages $PIXBRK_WEB_TEST_PACKAGES

# The pack tool for ROMDATA.BIN and the Linux runner to compare with.
cmake --preset default >/dev/null
cmake --build --preset default --target pixpack pixbrk-headless romdata
cmake --preset web -DPIXPACK_EXECUTABLE="$PWD/build/default/pixpack" >/dev/null
cmake --build --preset web

cd tests/web
# playwright-core drives the system's Chromium; it never downloads a browser.
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
# The tests run in a process group of their own (timeout makes one) with their HTTP server inside
# and Chromium tied to them: all of it ends after 10 minutes at the latest, and at once when this
# stage is interrupted or terminated.
timeout --kill-after=10s 600s node --test --test-reporter=spec web.test.mjs &
tests=$!
trap 'kill -TERM -- -"$tests" 2>/dev/null || true; wait "$tests" 2>/dev/null || true; exit 130' INT TERM
wait "$tests"
