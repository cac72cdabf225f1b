# Windows build: cross-build pixbrk.exe and the tools with MinGW-w64 (ROMDATA.BIN made by the
# pack tool built for this machine), then smoke-test the .exe files under Wine (tests/win/smoke.sh).
set -euo pipefail
. scripts/deps.sh
no_wine=""
pixbrk_need_packages $PIXBRK_WINE_PACKAGES || no_wine=1
command -v wine >/dev/null 2>&1 || command -v wine64 >/dev/null 2>&1 || no_wine=1

# The host-side tools: the pack tool for the cross build, the Linux headless runner to compare with.
cmake --preset default >/dev/null
cmake --build --preset default --target pixpack pixbrk-headless

cmake --preset mingw -DPIXPACK_EXECUTABLE="$PWD/build/default/pixpack" >/dev/null
cmake --build --preset mingw
for f in pixbrk.exe pixbrk-headless.exe ROMDATA.BIN; do
  test -f "build/mingw/$f" || { echo "build/mingw/$f was not built" >&2; exit 1; }
done

# Linked statically: the programs may only import DLLs that every Windows has.
bash tests/win/system_dlls.sh build/mingw/*.exe

if [ -n "$no_wine" ]; then
  echo "SKIPPED: Wine could not be installed; the Windows programs were built but not run."
  exit 0
fi
bash tests/win/smoke.sh build/mingw build/default
