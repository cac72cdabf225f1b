# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2 -LE no-asan
