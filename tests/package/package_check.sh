#!/usr/bin/env bash
# package_check.sh CHECK BUILD/kelvarian_VERSION
#   build                     makes the package in the build folder, as make package does
#   lintian                   no lintian error; the remaining tags are printed
#   desktop_entry             desktop-file-validate accepts the menu entry
#   extracted_scan_reads_sim  the extracted kelvarian-scan reads the extracted kelvarian-sim
# Exit 77 (skipped) when a tool it needs is missing or the package was not built.
set -euo pipefail
check=$1
deb=$2_$(dpkg --print-architecture 2>/dev/null || echo amd64).deb
build=$(dirname "$deb")

need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps): skipped"; exit 77; }
  done
}

extracted_root() {
  need dpkg-deb
  [ -f "$deb" ] || { echo "no $deb (the package build was skipped): skipped"; exit 77; }
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
}

case $check in
  build)
    # A package left from an earlier build must not be tested in this one's place.
    rm -f "$deb"
    need dpkg-deb dpkg-shlibdeps file cpack
    cd "$build"
    cpack -G DEB
    [ -f "$deb" ]
    ;;
  lintian)
    need lintian
    [ -f "$deb" ] || { echo "no $deb: skipped"; exit 77; }
    # Errors fail the check; warnings and notes are printed for the reader.
    status=0
    report=$(lintian --fail-on error --display-info "$deb" 2>&1) || status=$?
    grep -v 'root privileges' <<<"$report" || echo "lintian: no tags"
    exit $status
    ;;
  desktop_entry)
    need desktop-file-validate
    extracted_root
    desktop-file-validate "$root/usr/share/applications/kelvarian.desktop"
    ;;
  extracted_scan_reads_sim)
    extracted_root
    sim_pid=
    trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$root"' EXIT
    "$root/usr/bin/kelvarian-sim" --link "$root/COM1" --device 28-00000B013C5A,temp=21.5 \
      --device 10:77,temp=-3,power=parasite >"$root/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 300); do
      grep -qx ready "$root/sim.out" && break
      sleep 0.1
    done
    grep -qx ready "$root/sim.out" || { echo "kelvarian-sim did not start:"; cat "$root/sim.out"; exit 1; }
    actual=$(cd "$root" && "$root/usr/bin/kelvarian-scan" COM1 | sort)
    expected=$(printf '%s\n' \
      $'10-000000000077-E6\tDS1820 / DS18S20\t2 вывода (\'паразитное\' питание)\t-3.0 °C' \
      $'28-00000B013C5A-14\tDS18B20\t3 вывода\t21.5 °C' | sort)
    if [ "$actual" != "$expected" ]; then
      printf 'kelvarian-scan printed:\n%s\nexpected:\n%s\n' "$actual" "$expected"
      exit 1
    fi
    ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac
