#!/usr/bin/env bash
# The version rules of cmake/version.cmake, on a clone of this checkout's commit: a commit
# without the release tag, the tagged one, the tagged one with changes, and an unpacked source
# tree inside the checkout (as scripts/release builds one) with and without SOURCE_VERSION, and
# with a SOURCE_VERSION that contradicts VERSION.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/pixbrk-version.XXXXXX)
trap 'rm -rf "$work"' EXIT
git clone -q "$top" "$work/clone"
cd "$work/clone"
base=$(cat VERSION)
hash=$(git rev-parse HEAD | cut -c1-12)
version_of() { cmake -DSOURCE_DIR="$1" -P cmake/version.cmake 2>&1 | sed -n 's/^PIXBRK_VERSION=//p; s/.*\(does not go with VERSION\).*/\1/p'; }
failures=0
expect() {  # expect WHAT WANTED GOT
  if [ "$2" = "$3" ]; then echo "  ok    $1: $3"; else echo "  FAIL  $1: wanted '$2', got '$3'"; failures=$((failures + 1)); fi
}
expect "a commit without the tag" "$base+g$hash" "$(version_of .)"
git tag "v$base"
expect "the commit tagged v$base" "$base" "$(version_of .)"
echo >>README.md
expect "the tagged commit with a changed file" "$base+g$hash.dirty" "$(version_of .)"
tree="$work/clone/build/tree"
mkdir -p "$tree"
git archive HEAD | tar -x -C "$tree"
expect "an unpacked tree without SOURCE_VERSION" "$base+unknown" "$(version_of "$tree")"
printf 'version %s+g0123456789ab\ncommit x\ntime 1\n' "$base" >"$tree/SOURCE_VERSION"
expect "an unpacked tree with SOURCE_VERSION" "$base+g0123456789ab" "$(version_of "$tree")"
printf 'version 0.0.1\n' >"$tree/SOURCE_VERSION"
expect "a SOURCE_VERSION of another version is refused" "does not go with VERSION" "$(version_of "$tree")"
[ "$failures" -eq 0 ]
