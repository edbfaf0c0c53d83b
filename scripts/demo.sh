#!/bin/sh
# The update tool's main job on a simulated device: installs what is missing,
# builds, lays out a device with release 1 installed, builds packages of
# release 2 with zampack, holds one file in use, starts the device
# application, which hands over to the update tool with its process id, runs
# the update with its progress window in this terminal, and shows what it did
# and what the device saw.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
bin="$PWD/build/default/bin"

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
export ORVANTA_DEVICE_ROOT="$demo/device"
"$bin/orvanta-sim" init "$ORVANTA_DEVICE_ROOT"
app="$ORVANTA_DEVICE_ROOT/C/Program Files/Orvanta"
update="$ORVANTA_DEVICE_ROOT/C/Orvanta/Update"

# Release 1, installed on the device.
old="$demo/release-1"
mkdir -p "$old/Voices" "$old/Help"
echo "engine 1.0" > "$old/engine.dll"
echo "dictionary 1.0" > "$old/dictionary.dat"
echo "voice anna 1.0" > "$old/Voices/anna.voc"
echo "help 1.0" > "$old/Help/index.htm"
echo "obsolete" > "$old/legacy.cfg"
cp -R "$old/." "$app/"
mkdir -p "$app/Languages/Deutsch"
printf '<Strings lang="de"><Hello>Guten Tag</Hello></Strings>\n' > "$app/Languages/Deutsch/strings.xml"

# Release 2: a changed engine and dictionary, a new voice and folder, the
# old help folder and legacy.cfg gone; and a German language package.
new="$demo/release-2"
mkdir -p "$new/Voices" "$new/Grammar/Rules"
echo "engine 2.0" > "$new/engine.dll"
echo "dictionary 2.0" > "$new/dictionary.dat"
echo "voice anna 1.0" > "$new/Voices/anna.voc"
echo "voice ben 2.0" > "$new/Voices/ben.voc"
echo "rules 2.0" > "$new/Grammar/Rules/de.rul"
german="$demo/german"
mkdir -p "$german"
printf '<Strings lang="de"><Hello>Hallo</Hello></Strings>\n' > "$german/strings.xml"

"$bin/zampack" diff --type SOFTWARE --name Orvanta --detail 2.0 "$old" "$new" -o "$update/software.zam"
"$bin/zampack" build --type LANGUAGE_PACKAGE --name Deutsch --detail 2.0 "$german" -o "$update/german.zam"
sed -i 's#<UpdateList>#<UpdateList>\r\n\t\t<File>software.zam</File>\r\n\t\t<File>german.zam</File>#' "$update/UpdateInfo.xml"

# The speech engine is in use: a program holds it open without sharing.
fifo="$demo/holder.in"
mkfifo "$fifo"
"$bin/holdfile" 'C:\Program Files\Orvanta\engine.dll' read none < "$fifo" > "$demo/holder.out" &
exec 3> "$fifo"
sleep 0.3

# The device application starts the update tool with its own process id and
# ends a moment later; a speech server is still busy a little longer.
"$app/Orvanta.exe" --stay-ms 1500 > "$demo/app.out" &
"$app/ZAMSapiServer.exe" --stay-ms 2500 > "$demo/server.out" &
until grep -q running "$demo/app.out" 2>/dev/null; do sleep 0.05; done
pid=$(sed -n 's/^running //p' "$demo/app.out")

cd "$update"
ORVANTA_SIM_TIME_SCALE=0.1 "$bin/orvanta-update" "$(printf '%08X' "$pid")" de-DE
exec 3>&-
wait
cd - >/dev/null

echo
echo "=== run log (C:\\Orvanta\\update_log.txt)"
cat "$ORVANTA_DEVICE_ROOT/C/Orvanta/update_log.txt" | tr -d '\r'
echo
echo "=== what changed in C:\\Program Files\\Orvanta (release 1 -> device now)"
diff -r "$old" "$app" | grep -v -e 'Only in .*Orvanta: \(Icons\|Languages\|Maps\|Platform\|Razovir\|Tallybird\|Orvanta.exe\|ZAM.*Server.exe\|app-starts.log\)$' || true
echo
echo "=== the language package: C:\\Program Files\\Orvanta\\Languages\\Deutsch\\strings.xml"
cat "$app/Languages/Deutsch/strings.xml"
echo
echo "=== what the device saw (orvanta-sim events)"
"$bin/orvanta-sim" events
echo
echo "=== the device's state (orvanta-sim show)"
"$bin/orvanta-sim" show
echo
echo "=== pending restart operations (orvanta-sim pending)"
"$bin/orvanta-sim" pending
echo
echo "=== after the restart (orvanta-sim restart)"
"$bin/orvanta-sim" restart
echo "engine.dll now holds: $(cat "$app/engine.dll")"
echo
echo "The device is in $ORVANTA_DEVICE_ROOT; export ORVANTA_DEVICE_ROOT=$ORVANTA_DEVICE_ROOT to look around."
