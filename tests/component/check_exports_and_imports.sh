#!/usr/bin/env bash
# Checks each Snapvane.dll given (a missing one is skipped): it exports exactly
# the four server entry points by name at ordinals 1 to 4, and it imports
# only Windows system DLLs (no compiler runtime DLL).
set -uo pipefail
status=0
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll "
system_dlls+="oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll windowscodecs.dll winspool.drv "
checked=0
for dll in "$@"; do
  [ -f "$dll" ] || { echo "skipped (not built): $dll"; continue; }
  checked=$((checked + 1))
  dump=$(x86_64-w64-mingw32-objdump -p "$dll") || { echo "FAIL: objdump cannot read $dll"; status=1; continue; }
  base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\)/\1/p' <<<"$dump")
  exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
            sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\(.*\)$/\1 \2/p' |
            while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
  count=$(sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' <<<"$dump" | head -1)
  expected=$'1 DllCanUnloadNow\n2 DllGetClassObject\n3 DllRegisterServer\n4 DllUnregisterServer'
  if [ "$exports" != "$expected" ] || [ "$((16#${count:-0}))" != 4 ]; then
    echo "FAIL: $dll exports (ordinal name):"; echo "$exports"; echo "address table entries: $count"; status=1
  fi
  while read -r imported; do
    [ -n "$imported" ] || continue
    lower=$(tr 'A-Z' 'a-z' <<<"$imported")
    if [[ "$system_dlls" != *" $lower "* ]]; then
      echo "FAIL: $dll imports $imported, which is not a Windows system DLL"; status=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump")
  [ $status = 0 ] && echo "ok: $dll"
done
[ $checked -gt 0 ] || { echo "FAIL: no Snapvane.dll found"; status=1; }
exit $status
