#!/usr/bin/env bash
# The server's HTTP side under load, with wrk against 127.0.0.1 only, 5 s a run, SQLite:
#   1. the boards reply (a board of 60 names, 50 entries a reply) at 64 connections:
#      goal 20,000 requests a second, 99th percentile at most 10 ms;
#   2. submissions, each a replay of its own, at 16 connections while the workers play them:
#      goal 500 accepted a second, none lost (every 202 a stored row).
# SERVER_ARGS="--workers 0" adds options to the server's command line.
# bash bench/server/http_bench.sh [BUILD_DIR]   (default build/default; build it first)
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/deps.sh
pixbrk_need_packages $PIXBRK_SERVER_BENCH_PACKAGES
. tests/support/children.sh
build=$(cd "${1:-build/default}" && pwd)
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A replay: the game tests/win/scripts/game_and_save.txt plays and saves.
mkdir -p "$work/game"
cp "$build/ROMDATA.BIN" "$work/game/"
"$build/pixbrk-headless" --dir "$work/game" --script tests/win/scripts/game_and_save.txt >/dev/null
replay=$work/game/PIXBRK01.REP

"$build/pixbrk-server" --data "$work/data" --listen 127.0.0.1:0 --rate-limit 0 --queue-cap 100000000 \
  ${SERVER_ARGS:-} >"$work/server.log" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/server.log")
[ -n "$port" ] || { cat "$work/server.log"; exit 1; }
url=http://127.0.0.1:$port

# 60 names, one verified game each; then the name that submits during the second run.
token=$(python3 - "$url" "$replay" <<'PY'
import json, sys, time, urllib.request
url, path = sys.argv[1], sys.argv[2]
game = open(path, 'rb').read()
def post(name, n, token=None):
    d = '%012d' % n
    date = f'{d[0:4]}/{d[4:6]}/{d[6:8]} {d[8:10]}:{d[10:12]}'.encode()
    req = urllib.request.Request(f'{url}/api/v1/submissions?name={name}', data=date + game[16:], method='POST')
    if token: req.add_header('Authorization', 'Bearer ' + token)
    return json.load(urllib.request.urlopen(req))
for i in range(60):
    post(f'Player{i:02d}', 900000000000 + i)
token = post('Bench', 999999999999)['token']
for _ in range(600):
    if json.load(urllib.request.urlopen(url + '/api/v1/boards?guide=1&floor=1'))['total'] == 60: break
    time.sleep(0.1)
print(token)
PY
)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "=== boards, 64 connections"
wrk -t2 -c64 -d5s --latency "$url/api/v1/boards?guide=1&floor=1" | grep -E "Latency|50%|90%|99%|Requests/sec|Socket errors|Non-2xx"

echo "=== submissions, 16 connections"
wrk -t2 -c16 -d5s --latency -s bench/server/submit.lua "$url" -- "$replay" "$token" | \
  grep -E "Latency|50%|90%|99%|Requests/sec|status|Socket errors" | tee "$work/submit.out"
acknowledged=$(sed -n 's/^status 202: //p' "$work/submit.out")
kill "$pid"; wait "$pid" || true; pid=
stored=$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute(\"SELECT count(*) FROM submissions WHERE name_key = 'bench'\").fetchone()[0] - 1)" "$work/data/pixbrk.sqlite3")
# Requests still in flight when wrk stops may be stored without wrk seeing their answer.
echo "accepted per second: $(( acknowledged / 5 )) (202 answers: $acknowledged; rows stored: $stored)"
if [ "$stored" -lt "$acknowledged" ]; then echo "LOST: $(( acknowledged - stored ))"; exit 1; fi
echo "none lost"
