# Sourced by shell tests: `check "what" command...` runs the command, prints "ok" or "FAIL" with
# the what, and on a failure the last lines the command printed, and counts the failures in
# $failures. The command's output goes to $work/check.out ($work: the test's own folder).
failures=0
check() {
  local what=$1
  shift
  if "$@" >"$work/check.out" 2>&1; then
    echo "  ok    $what"
  else
    echo "  FAIL  $what"
    tail -20 "$work/check.out" | sed 's/^/    /'
    failures=$((failures + 1))
  fi
}
