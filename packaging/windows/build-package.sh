#!/usr/bin/env bash
# The Windows packages of a Windows build folder:
#   build-package.sh zip BUILD_DIR        BUILD_DIR/Kelvarian-<version>-portable.zip
#   build-package.sh installer BUILD_DIR  BUILD_DIR/Kelvarian-Setup-<version>.exe
# The version is the CMake project's. The ZIP is reproducible: its files come
# in a fixed order, with fixed times (the commit's, else SOURCE_DATE_EPOCH),
# modes and no owners, so one commit gives the same bytes on every build.
set -euo pipefail
kind=$1 build=$(realpath "$2")
source=$(cd "$(dirname "$0")/../.." && pwd)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt (make windows first)" >&2; exit 1; }
for program in kelvarian.exe kelvarian-scan.exe; do
  [ -f "$build/$program" ] || { echo "no $build/$program (make windows first)" >&2; exit 1; }
done

stage=$build/package-files
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/kelvarian.exe" "$build/kelvarian-scan.exe" "$stage/"
# Texts as Windows editors read them everywhere: UTF-8 with BOM, CR LF.
windows_text() {
  { printf '\xEF\xBB\xBF'; sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1"; } >"$2"
}
windows_text "$source/packaging/windows/README.txt" "$stage/README.txt"
windows_text "$source/packaging/copyright" "$stage/LICENSE.txt"

case $kind in
  zip)
    out=$build/Kelvarian-$version-portable.zip
    epoch=${SOURCE_DATE_EPOCH:-}
    if [ -z "$epoch" ]; then
      epoch=$(git -C "$source" log -1 --format=%ct 2>/dev/null || echo 1767225600)
    fi
    chmod 0644 "$stage"/*
    # ZIP stores local time: UTC here, so the time zone of the build changes nothing.
    TZ=UTC touch -d "@$epoch" "$stage"/*
    rm -f "$out"
    # -X: no owners or extra times; -D: no folder entries.
    (cd "$stage" && TZ=UTC zip -q -X -D -9 "$out" kelvarian.exe kelvarian-scan.exe README.txt LICENSE.txt)
    ;;
  installer)
    out=$build/Kelvarian-Setup-$version.exe
    quad=$version
    while [ "$(tr -cd . <<<"$quad" | wc -c)" -lt 3 ]; do quad=$quad.0; done
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_QUAD="$quad" \
      -DFILES="$stage" -DICON="$source/packaging/kelvarian.ico" -DOUTFILE="$out" \
      "$source/packaging/windows/kelvarian.nsi"
    ;;
  *)
    echo "usage: build-package.sh zip|installer BUILD_DIR" >&2
    exit 2
    ;;
esac
echo "$out"
