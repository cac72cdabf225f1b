#!/usr/bin/env bash
# Fails, naming them, when Windows programs import DLLs that not every Windows has: the
# programs are linked statically.   tests/win/system_dlls.sh PROGRAM.exe...
set -euo pipefail
status=0
for exe in "$@"; do
  extra=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' |
    grep -Evx 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|IMM32.DLL|WINMM.DLL|D3D9.DLL|DSOUND.DLL|MSVCRT.DLL|ADVAPI32.DLL|SHELL32.DLL|OLE32.DLL' || true)
  if [ -n "$extra" ]; then
    echo "$exe needs DLLs that Windows does not have: $extra" >&2
    status=1
  fi
done
exit "$status"
