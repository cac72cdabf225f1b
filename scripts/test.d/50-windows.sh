# Windows build: cross-build pixbrk.exe and the tools with MinGW-w64 (ROMDATA.BIN made by the
# pack tool built for this machine), then smoke-test the .exe files under Wine (tests/win/smoke.sh).
# Wine is one of the test command's packages: without it this stage fails, it is never skipped.
set -euo pipefail
. scripts/deps.sh
pixbrk_need_packages $PIXBRK_TEST_PACKAGES
if ! command -v wine >/dev/null 2>&1 && ! command -v wine64 >/dev/null 2>&1; then
  echo "FAILED: Wine is not installed (Debian packages wine64 wine), so the Windows programs cannot be run." >&2
  exit 1
fi

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

bash tests/win/smoke.sh build/mingw build/default
