#!/usr/bin/env bash
# The setup program and the portable ZIP as a Windows user meets them, under
# Wine against kelvarian-sim, in one fresh Wine prefix used in turn: the silent
# per-user install puts the programs, the Start-menu shortcut and the uninstall
# entry where they belong; the installed kelvarian.exe reads a preset beside
# itself, keeps its settings in %APPDATA%\Kelvarian and writes nothing into its
# folder; a second instance ends with 1; a silent install while the program
# runs fails with 3; an upgrade from an older version keeps the settings; the
# silent uninstall removes the program and keeps the settings; an install into
# a folder with a Cyrillic name gives an uninstall entry and shortcut that name
# it right; one for all users goes to Program Files and HKLM; the ZIP builds
# to the same bytes twice and, unpacked, runs portable; the lock of a killed
# copy blocks no start.
# Skipped (77) without a simulator from a Linux build.
#
#   wine_packages_check.sh WINE_TEST SIMULATOR WINDOWS_BUILD_DIR
set -u
wine_test=$(realpath "$1") simulator=$(realpath -m "$2") build=$(realpath "$3")
source=$(cd "$(dirname "$0")/../.." && pwd)
[ -x "$simulator" ] || { echo "no $simulator (make build first): skipped"; exit 77; }
command -v curl >/dev/null || { echo "no curl: skipped"; exit 77; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/Kelvarian-Setup-$version.exe
zip=$build/Kelvarian-$version-portable.zip
for file in "$setup" "$zip"; do
  [ -f "$file" ] || { echo "no $file (make windows-installer windows-zip first)"; exit 1; }
done

work=$(mktemp -d)
prefix=$work/prefix
sim_pid=
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid"
  "$wine_test" "$prefix" --stop
  rm -rf "$work"
}
trap cleanup EXIT
# fail, free_port
source "$(dirname "$0")/check_support.sh"
wine() { "$wine_test" "$prefix" "$@"; }

# waits_for SECONDS COMMAND...: true once COMMAND succeeds.
waits_for() {
  local steps=$(($1 * 5))
  shift
  for _ in $(seq "$steps"); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# The same commit gives the same ZIP: built again, at another time, in another
# time zone and with another umask, it has the same bytes.
cp "$zip" "$work/first.zip"
sleep 1
(umask 077 && TZ=Asia/Vladivostok "$source/packaging/windows/build-package.sh" zip "$build" >/dev/null) ||
  fail "the ZIP could not be built again"
cmp -s "$zip" "$work/first.zip" && echo "ok: the ZIP built again has the same bytes" || fail "the ZIP built again differs"

"$wine_test" "$prefix" --start || { echo "the Wine prefix could not be made"; exit 1; }
rm -f "$prefix"/dosdevices/com*
"$simulator" --link "$prefix/dosdevices/com1" \
  --device 28-00000B013C5A,temp=21.5 --device 28:1234,temp=-3.5 >"$work/sim.out" 2>&1 &
sim_pid=$!
waits_for 20 grep -q '^ready' "$work/sim.out" || { echo "kelvarian-sim did not start:"; cat "$work/sim.out"; exit 1; }

user_dir=$prefix/drive_c/users/$(id -un)
local_programs=$user_dir/AppData/Local/Programs
installed=$local_programs/Kelvarian
settings=$user_dir/AppData/Roaming/Kelvarian
start_menu=$user_dir/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvarian'

# preset FILE PORT: settings that name COM1, the log on and the status page on PORT.
preset() {
  printf '\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nLog = 1\r\n[Server]\r\nEnable = 1\r\nPort = %s\r\nIPv6 = 0\r\n' \
    "$2" >"$1"
}

# start EXE NAME: runs EXE in the background, standard error into NAME.err;
# its shell's process id is the last of `pids`.
start() {
  (cd "$work" && exec "$wine_test" "$prefix" "$1" 2>"$work/$2.err") &
  pids+=($!)
}

page_shows() {
  local port=$1 text=$2
  waits_for 60 sh -c "curl -s --max-time 2 http://127.0.0.1:$port/ | grep -qF -- '$text'"
}

# ended PID: `status` becomes the exit code of the background program PID,
# once it ended (within 30 s; 124 when it did not).
ended() {
  status=124
  waits_for 30 sh -c "! kill -0 $1 2>/dev/null" || return
  wait "$1"
  status=$?
}

# close_all: WM_CLOSE to every kelvarian.exe window, as taskkill without /f.
close_all() {
  wine taskkill /im kelvarian.exe >/dev/null 2>&1
}

# reg_value KEY NAME: the value's data as `wine reg query` gives it.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# exported_value KEY NAME: the same as `wine reg export` writes it, read back
# from its UTF-16 file: reg query prints through the prefix's OEM code page,
# which has no Cyrillic letters.
exported_value() {
  rm -f "$prefix/drive_c/exported.reg"
  wine reg export "$1" 'C:\exported.reg' /y >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$prefix/drive_c/exported.reg" 2>/dev/null | tr -d '\r' |
    sed -n "s/^\"$2\"=\"\(.*\)\"$/\1/p" | sed -e 's/\\\\/\\/g' -e 's/\\"/"/g'
}

uninstall_silently() {
  local folder=$1
  wine "$(winpath "$folder")\\Uninstall Kelvarian.exe" /S || fail "the silent uninstall ended with $?"
  # The uninstaller runs on from a copy of itself, which removes the folder.
  waits_for 60 sh -c "[ ! -e '$folder/kelvarian.exe' ]" || fail "the uninstall left $folder/kelvarian.exe"
  waits_for 30 sh -c "[ ! -e '$folder' ]" || fail "the uninstall left $folder: $(ls "$folder")"
}

# winpath UNIX_PATH: the same place as Windows names it in the prefix.
winpath() {
  local rest=${1#"$prefix/drive_c/"}
  echo "C:\\${rest//\//\\}"
}

# An older version's setup, with the same programs, for the upgrade.
older=$work/Kelvarian-Setup-0.9.exe
makensis -V1 -INPUTCHARSET UTF8 -DVERSION=0.9 -DVERSION_QUAD=0.9.0.0 -DFILES="$build/package-files" \
  -DICON="$source/packaging/kelvarian.ico" -DOUTFILE="$older" \
  "$source/packaging/windows/kelvarian.nsi" || fail "the older setup could not be built"

# --- The silent per-user install (of the older version) ---
wine "$older" /S
status=$?
[ "$status" = 0 ] || fail "the silent install ended with $status"
for file in kelvarian.exe kelvarian-scan.exe README.txt LICENSE.txt "Uninstall Kelvarian.exe"; do
  [ -f "$installed/$file" ] || fail "no $file in $installed"
done
[ -f "$start_menu/Kelvarian.lnk" ] || fail "no Start-menu shortcut Kelvarian"
[ "$(reg_value "$uninstall_key" DisplayName)" = Kelvarian ] || fail "DisplayName: $(reg_value "$uninstall_key" DisplayName)"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = 0.9 ] || fail "DisplayVersion: $(reg_value "$uninstall_key" DisplayVersion)"
for name in Publisher DisplayIcon InstallLocation EstimatedSize UninstallString QuietUninstallString; do
  [ -n "$(reg_value "$uninstall_key" "$name")" ] || fail "the uninstall entry has no $name"
done
[ "$(reg_value "$uninstall_key" InstallLocation)" = 'C:\users\'"$(id -un)"'\AppData\Local\Programs\Kelvarian' ] ||
  [ "$(reg_value "$uninstall_key" InstallLocation | tr 'A-Z' 'a-z')" = "$(winpath "$installed" | tr 'A-Z' 'a-z')" ] ||
  fail "InstallLocation: $(reg_value "$uninstall_key" InstallLocation)"
[ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$(reg_value "$uninstall_key" InstallLocation)\\Uninstall Kelvarian.exe\" /S" ] ||
  fail "QuietUninstallString: $(reg_value "$uninstall_key" QuietUninstallString)"
[ $failed = 0 ] && echo "ok: installed silently for this user, with the shortcut and the uninstall entry"

# --- The installed program: a preset beside it, its files in %APPDATA% ---
port=$(free_port)
preset "$installed/Kelvarian.ini" "$port"
cp "$installed/Kelvarian.ini" "$work/preset.ini"
(cd "$installed" && ls -A | sort) >"$work/installed.before"
start "$installed/kelvarian.exe" first
first=${pids[-1]}
if page_shows "$port" "21.5 °C"; then
  echo "ok: the installed program read the preset beside it"
else
  fail "the installed program did not serve the page the preset asks for"
fi
tr -d '\r' <"$work/first.err" | grep -qF "in C:\\users\\$(id -un)\\AppData\\Roaming\\Kelvarian" ||
  grep -qiF 'AppData\Roaming\Kelvarian' "$work/first.err" ||
  fail "the folder in use is not on standard error: $(cat "$work/first.err")"

# --- A second instance on the same settings folder ---
start "$installed/kelvarian.exe" second
second=${pids[-1]}
waits_for 60 grep -qF "Kelvarian уже запущен с настройками в папке" "$work/second.err" ||
  fail "the second instance did not say that Kelvarian runs: $(cat "$work/second.err")"

# --- A silent install while it runs fails with its own exit code ---
wine "$setup" /S
status=$?
[ "$status" = 3 ] && echo "ok: a silent install while Kelvarian runs ends with 3" ||
  fail "a silent install while Kelvarian runs ended with $status"

# WM_CLOSE ends the first one (saving) and closes the second one's message box.
close_all
ended "$second"
[ "$status" = 1 ] && echo "ok: the second instance said so and ended with 1" || fail "the second instance ended with $status"
ended "$first"
[ "$status" = 0 ] || fail "the installed program ended with $status after WM_CLOSE"
if grep -qF "Count = 2"$'\r' "$settings/Kelvarian.ini" 2>/dev/null; then
  echo "ok: the settings were saved to %APPDATA%\\Kelvarian"
else
  fail "no settings with the two thermometers in $settings: $(ls -A "$settings" 2>&1)"
fi
(cd "$installed" && ls -A | sort) | cmp -s - "$work/installed.before" ||
  fail "the program wrote into its install folder: $(cd "$installed" && ls -A)"
cmp -s "$installed/Kelvarian.ini" "$work/preset.ini" || fail "the preset beside the program was rewritten"
[ $failed = 0 ] && echo "ok: nothing written into the install folder, the preset untouched"
cp "$settings/Kelvarian.ini" "$work/saved.ini"

# --- The upgrade to this version keeps the settings ---
wine "$setup" /S
status=$?
[ "$status" = 0 ] || fail "the upgrade install ended with $status"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] ||
  fail "DisplayVersion after the upgrade: $(reg_value "$uninstall_key" DisplayVersion)"
cmp -s "$settings/Kelvarian.ini" "$work/saved.ini" && [ -f "$installed/kelvarian.exe" ] &&
  echo "ok: the upgrade kept the settings" || fail "the upgrade changed the settings or lost the program"

# --- The silent uninstall removes the program and keeps the settings ---
rm -f "$installed/Kelvarian.ini"  # an administrator's preset would stay
uninstall_silently "$installed"
[ ! -e "$start_menu/Kelvarian.lnk" ] || fail "the uninstall left the Start-menu shortcut"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall left its entry"
cmp -s "$settings/Kelvarian.ini" "$work/saved.ini" || fail "the uninstall removed or changed the settings"
[ -s "$settings/DS18B20_Kelvarian.log" ] || fail "the uninstall removed the log, or it was never written there"
[ $failed = 0 ] && echo "ok: uninstalled silently, the settings kept"

# --- A folder with a Cyrillic name ---
# No blank in it: /D= takes the rest of the command line, unquoted.
cyrillic_folder="$prefix/drive_c/Программы/Датчики"
wine "$setup" /S "/D=$(winpath "$cyrillic_folder")"
status=$?
[ "$status" = 0 ] || fail "the install into a Cyrillic folder ended with $status"
[ -f "$cyrillic_folder/kelvarian.exe" ] || fail "no kelvarian.exe in $cyrillic_folder"
location=$(exported_value "$uninstall_key" InstallLocation)
[ "$location" = "$(winpath "$cyrillic_folder")" ] || fail "InstallLocation with a Cyrillic name: $location"
[ "$(exported_value "$uninstall_key" UninstallString)" = "\"$(winpath "$cyrillic_folder")\\Uninstall Kelvarian.exe\"" ] ||
  fail "UninstallString with a Cyrillic name: $(exported_value "$uninstall_key" UninstallString)"
[ "$(exported_value "$uninstall_key" DisplayIcon)" = "$(winpath "$cyrillic_folder")\\kelvarian.exe,0" ] ||
  fail "DisplayIcon with a Cyrillic name: $(exported_value "$uninstall_key" DisplayIcon)"
[ "$(exported_value "$uninstall_key" DisplayName)" = Kelvarian ] || fail "DisplayName beside a Cyrillic folder"
# The shortcut's target, in the UTF-16 of the .lnk file.
target=$(printf '%s' "$(winpath "$cyrillic_folder")\\kelvarian.exe" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n')
[ -f "$start_menu/Kelvarian.lnk" ] && od -An -tx1 "$start_menu/Kelvarian.lnk" | tr -d ' \n' | grep -q "$target" ||
  fail "the shortcut Kelvarian does not lead to the Cyrillic folder"
[ $failed = 0 ] && echo "ok: the uninstall entry and the shortcut name the Cyrillic folder right"
uninstall_silently "$cyrillic_folder"

# --- For all users, as the administrator Wine's user is ---
all_users="$prefix/drive_c/Program Files/Kelvarian"
common_menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
machine_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvarian'
wine "$setup" /S /ALLUSERS
status=$?
[ "$status" = 0 ] || fail "the silent install for all users ended with $status"
[ -f "$all_users/kelvarian.exe" ] || fail "no kelvarian.exe in $all_users"
[ -f "$common_menu/Kelvarian.lnk" ] || fail "no Start-menu shortcut for all users"
[ "$(reg_value "$machine_key" DisplayVersion)" = "$version" ] || fail "no uninstall entry under HKLM"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "an all-users install wrote its entry under HKCU"
uninstall_silently "$all_users"
[ ! -e "$common_menu/Kelvarian.lnk" ] || fail "the uninstall left the all-users shortcut"
wine reg query "$machine_key" >/dev/null 2>&1 && fail "the uninstall left the HKLM entry"
[ $failed = 0 ] && echo "ok: installed for all users into Program Files with HKLM entries, and removed"

# --- The ZIP, unpacked, runs portable ---
portable="$work/Переносной Kelvarian"
mkdir -p "$portable"
(cd "$portable" && cmake -E tar xf "$zip") || fail "the ZIP does not unpack"
port=$(free_port)
preset "$portable/Kelvarian.ini" "$port"
start "$portable/kelvarian.exe" portable
first=${pids[-1]}
page_shows "$port" "-3.5 °C" || fail "the unpacked program did not serve its page"
start "$portable/kelvarian.exe" portable-second
second=${pids[-1]}
waits_for 60 grep -qF "Kelvarian уже запущен с настройками в папке" "$work/portable-second.err" ||
  fail "a second portable copy in the same folder did not say that Kelvarian runs"
close_all
ended "$second"
[ "$status" = 1 ] || fail "the second portable copy ended with $status, not 1"
ended "$first"
[ "$status" = 0 ] || fail "the portable program ended with $status, not 0"
grep -qF "Count = 2"$'\r' "$portable/Kelvarian.ini" || fail "the portable copy did not save beside itself"
cmp -s "$settings/Kelvarian.ini" "$work/saved.ini" || fail "the portable copy changed the installed program's settings"
[ -s "$work/portable.err" ] && fail "the portable copy named a settings folder: $(cat "$work/portable.err")"
[ $failed = 0 ] && echo "ok: the unpacked ZIP keeps its files beside itself, one instance per folder"

# A copy that was killed leaves its lock file, which must not keep the next
# one from starting.
start "$portable/kelvarian.exe" killed
first=${pids[-1]}
page_shows "$port" "-3.5 °C" || fail "the portable program did not start again"
kill -9 "$first"
wait "$first" 2>/dev/null
[ -e "$portable/Kelvarian.lock" ] || fail "no lock file left in the portable folder"
start "$portable/kelvarian.exe" after-kill
first=${pids[-1]}
if page_shows "$port" "-3.5 °C"; then
  echo "ok: the lock of a killed copy does not block the next start"
else
  fail "after a killed copy the next one did not start: $(cat "$work/after-kill.err")"
fi
close_all
ended "$first"
[ "$status" = 0 ] || fail "the copy after the killed one ended with $status"
exit $failed
