#!/usr/bin/env bash
# kelvarian.exe as a Windows user runs it, under Wine against kelvarian-sim:
# in a Wine prefix of its own (made here, on a virtual X display), COM1 is the
# simulator's pseudo-terminal. The program finds and reads four thermometers
# (a DS18S20 on parasite power among them), serves them on its status page,
# ends with exit code 0 on a polite close (WM_CLOSE, as taskkill without /f
# sends it) after saving its settings with a byte order mark and CR LF, and
# runs as well from a folder with a Cyrillic name. Skipped (77) without a
# simulator from a Linux build. With ADAPTER ds2480b the simulator emulates a
# DS2480B line driver: the program must find it by itself, read the same bus
# through it and name it in /status.json; the checks that do not depend on
# the adapter run only for the passive one.
#
#   wine_program_check.sh WINE_TEST SIMULATOR KELVARIAN_EXE [ADAPTER]
set -u
wine_test=$(realpath "$1") simulator=$(realpath "$2") program=$(realpath "$3")
adapter=${4:-passive}
[ -x "$simulator" ] || { echo "no $simulator (make build first): skipped"; exit 77; }
command -v curl >/dev/null || { echo "no curl: skipped"; exit 77; }

work=$(mktemp -d)
prefix=$work/prefix
sim_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid"
  "$wine_test" "$prefix" --stop
  rm -rf "$work"
}
trap cleanup EXIT
# fail, free_port
source "$(dirname "$0")/check_support.sh"

"$wine_test" "$prefix" --start || { echo "the Wine prefix could not be made"; exit 1; }
# wineboot links com1... to the machine's serial devices; only ours stays.
rm -f "$prefix"/dosdevices/com*
"$simulator" --adapter "$adapter" --link "$prefix/dosdevices/com1" \
  --device 28-00000B013C5A,temp=21.5 --device 28:1234,temp=-3.5 \
  --device 28:77AA,temp=36.6 --device 10:77,temp=-10.5,power=parasite >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready' "$work/sim.out" && break
  sleep 0.1
done
grep -q '^ready' "$work/sim.out" || { echo "kelvarian-sim did not start:"; cat "$work/sim.out"; exit 1; }

# run FOLDER PORT: starts the program copied into FOLDER with settings that
# name COM1 and the status page on PORT; the working directory is elsewhere.
run() {
  local folder=$1 port=$2
  mkdir -p "$folder"
  cp "$program" "$folder/kelvarian.exe"
  printf '\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\n[Server]\r\nEnable = 1\r\nPort = %s\r\nIPv6 = 0\r\n' \
    "$port" >"$folder/Kelvarian.ini"
  (cd "$work" && exec "$wine_test" "$prefix" "$folder/kelvarian.exe" 2>"$work/stderr") &
  program_pid=$!
}

# page_shows PORT TEXT...: the page served on PORT shows every TEXT within a minute.
page_shows() {
  local port=$1 page missing
  shift
  for _ in $(seq 300); do
    page=$(curl -s --max-time 2 "http://127.0.0.1:$port/")
    missing=0
    for text in "$@"; do
      grep -qF -- "$text" <<<"$page" || missing=1
    done
    [ $missing = 0 ] && return 0
    sleep 0.2
  done
  echo "the page lacks some of: $*"
  echo "$page" | head -c 3000
  return 1
}

# close_politely FOLDER: WM_CLOSE to the program's windows; it must end by
# itself with exit code 0.
close_politely() {
  "$wine_test" "$prefix" taskkill /im kelvarian.exe >/dev/null 2>&1 || fail "taskkill found no window"
  local status
  for _ in $(seq 150); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$program_pid" 2>/dev/null; then
    fail "kelvarian.exe did not end after WM_CLOSE"
    return
  fi
  wait "$program_pid"
  status=$?
  program_pid=
  [ "$status" = 0 ] || fail "exit code $status after WM_CLOSE"
}

# settings_saved FOLDER TEXT...: Kelvarian.ini has the byte order mark, only
# CR LF line ends, and every TEXT.
settings_saved() {
  local file=$1/Kelvarian.ini ok=0
  shift
  [ "$(head -c 3 "$file" | od -An -tx1 | tr -d ' \n')" = efbbbf ] || { fail "no byte order mark in $file"; ok=1; }
  if tr -d '\r' <"$file" | cmp -s - "$file" || grep -q $'[^\r]$' "$file"; then
    fail "lines of $file do not all end in CR LF"
    ok=1
  fi
  for text in "$@"; do
    grep -qF -- "$text" "$file" || { fail "$file lacks $text"; ok=1; }
  done
  return $ok
}

port=$(free_port)
run "$work/Kelvarian" "$port"
if page_shows "$port" "21.5 °C" "-3.5 °C" "36.6 °C" "-10.5 °C"; then
  echo "ok: four thermometers on the page, the parasite-powered DS18S20 among them"
else
  fail "the thermometers did not reach the page"
fi
if [ "$adapter" = ds2480b ]; then
  if curl -s --max-time 2 "http://127.0.0.1:$port/status.json" | grep -qF '"adapter":"DS2480B"'; then
    echo "ok: /status.json names the DS2480B"
  else
    fail "/status.json does not name the DS2480B"
  fi
fi
close_politely
settings_saved "$work/Kelvarian" "Port = COM1"$'\r' "Count = 4"$'\r' "[Server]"$'\r' && echo "ok: closed with 0, settings saved"
[ ! -e "$work/Kelvarian.ini" ] || fail "settings written into the working directory, not beside the program"
[ "$adapter" = passive ] || exit $failed

folder="$work/Датчики котельной"
port=$(free_port)
run "$folder" "$port"
page_shows "$port" "21.5 °C" "-10.5 °C" && echo "ok: runs from a folder with a Cyrillic name" ||
  fail "nothing on the page from the Cyrillic folder"
close_politely
settings_saved "$folder" "Count = 4"$'\r'
[ -s "$work/stderr" ] && { echo "standard error:"; cat "$work/stderr"; }

# A GUI program's standard error still reaches a redirected stream: without a
# display the program says so there, as on Linux, and ends with 1.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
(cd "$work" && env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  "$wine" "$work/Kelvarian/kelvarian.exe" 2>"$work/stderr" >/dev/null)
status=$?
if [ "$status" = 1 ] && [ "$(tr -d '\r' <"$work/stderr")" = "kelvarian: no display to show the window on" ]; then
  echo "ok: standard error reaches a redirected stream"
else
  fail "without a display: exit code $status, standard error: $(cat "$work/stderr")"
fi
exit $failed
