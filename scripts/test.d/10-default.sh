# Optimised build with debug info: every unit, game and host test.
set -euo pipefail
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
