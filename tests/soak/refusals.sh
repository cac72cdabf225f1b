#!/usr/bin/env bash
# The soak's own verdicts (tests/soak/refusals.sh SOAK PACK): a session too short to have saved,
# loaded and watched a replay checked nothing and must fail; so must one whose saved replays
# cannot be kept aside for checking.
set -euo pipefail
soak=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
refused() {  # refused WHAT FRAMES TEXT: the soak fails and says TEXT
  local out
  if out=$("$soak" "$2" "$work" 1 2>&1); then
    echo "FAIL: $1: the soak passed"
    failures=$((failures + 1))
  elif ! grep -q "$3" <<<"$out"; then
    echo "FAIL: $1: no \"$3\" in: $out"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}
cp "$2" "$work/ROMDATA.BIN"
refused "a session that verified, loaded and watched nothing" 1000 "checked too little (0 replays verified, 0 loaded, 0 watched"
rm -rf "$work/kept" "$work"/*.REP "$work/SCORE.DAT"
# Whichever slot the first save goes to, its copy's name is taken by a folder.
for n in $(seq -w 1 16); do mkdir -p "$work/kept/000000-PIXBRK$n.REP"; done
refused "a saved replay that could not be kept" 100000 "FAILED: could not keep PIXBRK"
exit "$failures"
