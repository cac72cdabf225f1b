# Browser build: the page built with Emscripten, then checked by tests/web in Chromium, Firefox
# and WebKit (exactness against the Linux headless runner, the picture, mouse and touch play,
# sound, frame pacing, saved files and replays, offline play, start-up failures, and the Hall of
# fame against a pixbrk-server of the tests' own).
set -euo pipefail
. tests/support/children.sh  # the server and the browsers end with this stage, however it ends
. scripts/deps.sh
pixbrk_need_packages $PIXBRK_WEB_TEST_PACKAGES $PIXBRK_SERVER_PACKAGES  # the server: pixbrk-server for the Hall of fame

# The pack tool for ROMDATA.BIN and the Linux runner to compare with.
cmake --preset default >/dev/null
cmake --build --preset default --target pixpack pixbrk-headless pixbrk-server romdata
cmake --preset web -DPIXPACK_EXECUTABLE="$PWD/build/default/pixpack" >/dev/null
cmake --build --preset web

cd tests/web
# playwright-core, puppeteer-core and selenium-webdriver drive Debian's Chromium, Firefox and
# WebKitGTK; none of them downloads a browser.
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
# The tests run in a process group of their own (timeout makes one) with their HTTP server inside
# and the browsers, their X displays and the sound server tied to them: all of it ends after 20
# minutes at the latest, and at once when this stage is interrupted or terminated.
start=$(date +%s)
timeout --kill-after=10s 1200s node --test --test-concurrency=1 --test-reporter=spec audio_queue.test.mjs web.test.mjs hof.test.mjs &
tests=$!
trap 'kill -TERM -- -"$tests" 2>/dev/null || true; wait "$tests" 2>/dev/null || true; exit 130' INT TERM
wait "$tests"
echo "browser tests in $(( $(date +%s) - start )) s"
