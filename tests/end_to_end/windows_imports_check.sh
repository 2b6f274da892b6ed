#!/usr/bin/env bash
# A Windows program must start on a bare Windows 10/11: it may import only
# DLLs that every Windows has (a dropped -static would bring libstdc++,
# libgcc or libwinpthread DLLs that nobody has installed), and it must be
# built for the subsystem its users start it from (a window or a console).
#   windows_imports_check.sh OBJDUMP EXE GUI|CUI [EXE GUI|CUI ...]
set -euo pipefail
objdump=$1
shift
system_dlls=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll uxtheme.dll winmm.dll ws2_32.dll '
failed=0
while [ $# -ge 2 ]; do
  exe=$1 subsystem=$2
  shift 2
  headers=$("$objdump" -p "$exe")
  if ! grep -q "^Subsystem.*(Windows $subsystem)" <<<"$headers"; then
    echo "$exe: not a Windows $subsystem program: $(grep '^Subsystem' <<<"$headers")"
    failed=1
  fi
  while read -r dll; do
    lower=${dll,,}
    if [[ $system_dlls != *" $lower "* ]]; then
      echo "$exe imports $dll, which a bare Windows does not have"
      failed=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
done
exit $failed
