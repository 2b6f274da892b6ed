#!/usr/bin/env bash
# DigiTemp's DS2480B master (digitemp_DS9097U, package digitemp) against
# kelvarian-sim --adapter ds2480b: a peer that drives real DS9097U adapters
# must find and read the simulated thermometers, so the emulation speaks the
# chip's protocol and not only what our own master sends. Skipped (77) when
# the peer is not installed.
#
#   digitemp_ds2480_check.sh SIMULATOR
set -u
source "$(dirname "$0")/sim_ready.sh"
simulator=$1
digitemp=$(command -v digitemp_DS9097U) || {
  echo "digitemp_DS9097U is missing (scripts/install-deps, package digitemp): skipped"
  exit 77
}

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid"
  rm -rf "$work"
}
trap cleanup EXIT

# One code carries 0xE3 bytes, which the host must double in data mode; one
# thermometer is parasite-powered; one is a DS18S20.
"$simulator" --adapter ds2480b --link "$work/ttyUSB0" \
  --device 28-00000B013C5A,temp=21.5 \
  --device 28-0000E3E3E301,temp=-3,power=parasite \
  --device 10-000801B2C3D4,temp=25 >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for_sim "$work/sim.out" || exit 1

cd "$work"
timeout 120 "$digitemp" -s "$work/ttyUSB0" -i -c "$work/digitemp.conf" >"$work/init.out" 2>&1
timeout 120 "$digitemp" -c "$work/digitemp.conf" -a -q -o "%R %.2C" >"$work/read.out" 2>&1

failed=0
expect() {
  grep -q -- "$2" "$work/$1" || { echo "digitemp did not give: $2"; failed=1; }
}
expect init.out '285A3C010B000014'
expect read.out '^285A3C010B000014 21.50$'
expect read.out '^2801E3E3E300005F -3.00$'
expect read.out '^10D4C3B2010800C4 25.00$'
if [ "$failed" -ne 0 ]; then
  echo "--- digitemp -i"; cat "$work/init.out"
  echo "--- digitemp -a"; cat "$work/read.out"
fi
exit "$failed"
