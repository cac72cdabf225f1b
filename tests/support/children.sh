# Sourced by a shell test: every process it starts ends with it, however the test ends (a
# failure, Ctrl-C, a timeout's SIGKILL). The test's environment gets a mark of its own that every
# process it starts inherits, and a watcher (tests/support/reap.sh) ends every process carrying
# the mark once the test's shell is gone. Nested tests each add their own mark.
pixbrk_reap_mark="PIXBRK_REAP_$$=$(date +%s%N)"
setsid bash "$(dirname "${BASH_SOURCE[0]}")/reap.sh" watch $$ "$pixbrk_reap_mark" </dev/null >&2 &
export "${pixbrk_reap_mark?}"
