#!/usr/bin/env bash
# Each Windows program carries an application manifest that asks to run with
# its caller's rights (asInvoker): without it Windows treats the program as an
# old one and silently redirects its writes under Program Files into the
# VirtualStore. The window program also asks for Common Controls 6.
#   windows_manifest_check.sh OBJDUMP EXE [comctl6] [EXE [comctl6] ...]
set -uo pipefail
objdump=$1
shift
failed=0
# has EXE TEXT: the manifest, stored as plain UTF-8 in the resource section
# that the program must have, holds TEXT.
has() {
  "$objdump" -h "$1" | grep -q ' \.rsrc ' && LC_ALL=C grep -a -q -F -- "$2" "$1"
}
while [ $# -ge 1 ]; do
  exe=$1
  shift
  has "$exe" '<requestedExecutionLevel level="asInvoker"' || { echo "$exe: no asInvoker manifest"; failed=1; }
  if [ "${1:-}" = comctl6 ]; then
    shift
    has "$exe" 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' ||
      { echo "$exe: the manifest does not ask for Common Controls 6"; failed=1; }
  fi
done
exit $failed
