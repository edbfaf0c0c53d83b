#!/bin/sh
# forced_restart.sh BIN LOADER SERVER WORK DISPLAYFILE
#
# A run on the device that ends in a restart, with OrvantaUpdate.exe under
# Wine in a prefix of its own: the tool asks for a forced restart, which ends
# every process of the prefix (the tool, the program holding the engine, the
# launching application) and reboots the prefix, carrying out the pending
# file operations. No other test uses this prefix.
set -eu
bin="$1"
loader="$2"
server="$3"
work="$4"
displayfile="$5"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$displayfile" ] && DISPLAY=":$(cat "$displayfile")" && export DISPLAY

fail() {
  echo "FAILED: $*" >&2
  [ -f "$root/update_log.txt" ] && tr -d '\r' < "$root/update_log.txt" >&2
  "$server" -k 2>/dev/null || true
  exit 1
}

# Waits up to 30 s for a line matching $2 in file $1.
await() {
  tries=0
  until grep -q "$2" "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -gt 300 ] && return 1
    sleep 0.1
  done
}

"$server" -k 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
"$loader" wineboot -i >/dev/null 2>&1 || true
root="$WINEPREFIX/drive_c/orvanta"
[ -d "$WINEPREFIX/drive_c" ] || fail "wineboot did not create $WINEPREFIX"
mkdir -p "$root/Update" "$root/App" "$root/Old" "$root/New"
printf 'engine 1' > "$root/App/engine.dll"
printf 'engine 1' > "$root/Old/engine.dll"
printf 'engine 2' > "$root/New/engine.dll"
cp "$bin/orvanta-device-app.exe" "$root/App/Orvanta.exe"
"$loader" "$bin/zampack.exe" diff --type SOFTWARE --name Orvanta --detail 2.0 'C:\orvanta\Old' 'C:\orvanta\New' \
  -o 'C:\orvanta\Update\software.zam' > "$work/zampack.out" 2>&1 || fail "zampack"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<UpdateInfo><IsTargetHardware>true</IsTargetHardware>
<LocationInfo><SOFTWARE><Path>C:\\orvanta\\App\\</Path></SOFTWARE></LocationInfo>
<UpdateList><Package>software.zam</Package></UpdateList></UpdateInfo>\r\n' > "$root/Update/UpdateInfo.xml"

# The engine is in use by another program of the prefix.
mkfifo "$work/hold.in"
"$loader" "$bin/holdfile.exe" 'C:\orvanta\App\engine.dll' read none < "$work/hold.in" > "$work/hold.out" 2>/dev/null &
exec 3> "$work/hold.in"
await "$work/hold.out" opened || fail "holdfile did not open the engine"

# The launching application, a Wine process that ends once the tool waits for it.
mkfifo "$work/app.in"
"$loader" 'C:\orvanta\App\Orvanta.exe' --stay < "$work/app.in" > "$work/app.out" 2>/dev/null &
exec 4> "$work/app.in"
await "$work/app.out" running || fail "the application did not start"
id=$(printf '%08X' "$(sed -n 's/^running \([0-9]*\).*/\1/p' "$work/app.out")")

cd "$root/Update"
timeout 150 "$loader" "$bin/OrvantaUpdate.exe" "$id" en > /dev/null 2>&1 3>&- 4>&- &
tool=$!
await "$root/update_log.txt" "Update info loaded" || fail "the tool did not load its descriptor"
sleep 0.5
exec 4>&-
wait $tool || true
cd "$work"
exec 3>&-

log="$root/update_log.txt"
grep -q "Process name: C:\\\\orvanta\\\\App\\\\Orvanta.exe" "$log" || fail "the launching application was not named"
grep -q "After waiting on hProcess, iTimeOut is [1-9]" "$log" || fail "no time left after the application ended"
grep -q "Reboot is required." "$log" || fail "no restart needed"
grep -q "We're on a device. Shutting down." "$log" || fail "no restart on the device"
grep -q "bAddKeepAwake() returned false." "$log" || fail "Wine stubs the power requests: the failure line"

# The restart carries out the pending operations; wait for it, then for the prefix to settle.
tries=0
until [ "$(cat "$root/App/engine.dll")" = "engine 2" ]; do
  tries=$((tries + 1))
  [ $tries -gt 600 ] && fail "the restart did not replace the engine: $(cat "$root/App/engine.dll")"
  sleep 0.1
done
[ ! -e "$root/Update/Tmp/engine.dlla" ] || fail "the replacement file is still there"
# Only a tool of this prefix counts: other tests run theirs beside this one.
for pid in $(pgrep -f 'OrvantaUpdate.exe' || true); do
  if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    fail "the tool is still running"
  fi
done
# The server writes the registry out as it ends.
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
if grep -q "PendingFileRenameOperations" "$WINEPREFIX/system.reg"; then fail "pending operations are left"; fi
echo "forced restart: the prefix restarted and the engine is release 2"
