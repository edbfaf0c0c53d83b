#!/bin/sh
# The update tool's main job on a simulated device, told as a story: installs
# what is missing, builds, lays out a device with release 1 installed, builds
# packages of release 2 with zampack, checks them on a copy of the device
# with orvanta-sim try, has the device application start the update tool
# with its process id while a program holds one file open and a speech
# server is busy, runs the update with its progress window in this terminal,
# and shows what it did and what the device saw.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --demo
cmake --preset default >/dev/null
# The programs of the story; the tests are left to scripts/test.sh.
cmake --build --preset default -j "$(nproc)" --target orvanta-update orvanta-sim zampack holdfile >/dev/null
bin="$PWD/build/default/bin"
say() { printf '\n\033[1m%s\033[0m\n' "$*"; }

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
export ORVANTA_DEVICE_ROOT="$demo/device"
say "1. A simulated device: a folder per drive in $ORVANTA_DEVICE_ROOT, with the simulator's records in sim/."
"$bin/orvanta-sim" init "$ORVANTA_DEVICE_ROOT"
app="$ORVANTA_DEVICE_ROOT/C/Program Files/Orvanta"

# Release 1, installed on the device.
old="$demo/release-1"
mkdir -p "$old/Speech" "$old/Help"
echo "engine 1.0" > "$old/engine.dll"
echo "dictionary 1.0" > "$old/dictionary.dat"
echo "voice anna 1.0" > "$old/Speech/anna.dat"
echo "help 1.0" > "$old/Help/index.htm"
echo "obsolete" > "$old/legacy.cfg"
cp -R "$old/." "$app/"
mkdir -p "$app/Languages/Deutsch"
printf '<Strings lang="de"><Hello>Guten Tag</Hello></Strings>\n' > "$app/Languages/Deutsch/strings.xml"
echo "   Release 1 is installed in C:\\Program Files\\Orvanta: engine, dictionary, a voice, help, legacy.cfg."

# Release 2: a changed engine and dictionary, a new voice and folder, the
# old help folder and legacy.cfg gone; and a German language package.
new="$demo/release-2"
mkdir -p "$new/Speech" "$new/Grammar/Rules"
echo "engine 2.0" > "$new/engine.dll"
echo "dictionary 2.0" > "$new/dictionary.dat"
echo "voice anna 1.0" > "$new/Speech/anna.dat"
echo "voice ben 2.0" > "$new/Speech/ben.dat"
echo "rules 2.0" > "$new/Grammar/Rules/de.rul"
german="$demo/german"
mkdir -p "$german"
printf '<Strings lang="de"><Hello>Hallo</Hello></Strings>\n' > "$german/strings.xml"

say "2. The release engineer packs release 2: what changes from release 1 (zampack diff --stat), then the packages."
"$bin/zampack" diff --type SOFTWARE --name Orvanta --detail 2.0 "$old" "$new" --stat
"$bin/zampack" diff --type SOFTWARE --name Orvanta --detail 2.0 "$old" "$new" -o "$demo/software.zam"
"$bin/zampack" build --type LANGUAGE_PACKAGE --name Deutsch --detail 2.0 "$german" -o "$demo/german.zam"

say "3. Before shipping: orvanta-sim try runs the real update on a copy of the device (the device is not touched)."
"$bin/orvanta-sim" try --device "$ORVANTA_DEVICE_ROOT" --hold 'C:\Program Files\Orvanta\engine.dll' \
  "$demo/software.zam" "$demo/german.zam" | sed 's/^/   /'

say "4. The packages go into the device's update folder, and its descriptor lists them (orvanta-sim stage)."
"$bin/orvanta-sim" stage "$ORVANTA_DEVICE_ROOT" "$demo/software.zam" "$demo/german.zam"

say "5. A program still has the speech engine open, without sharing it, as a speech server would."
echo "   The tool cannot replace engine.dll now: it writes the new one beside it and leaves the swap to the restart."
fifo="$demo/holder.in"
mkfifo "$fifo"
"$bin/holdfile" 'C:\Program Files\Orvanta\engine.dll' read none < "$fifo" > "$demo/holder.out" &
exec 3> "$fifo"
sleep 0.3
echo "   A speech server is busy for a moment longer: the tool waits until it can write to it."
"$app/ZAMSapiServer.exe" --stay-ms 800 > "$demo/server.out" &

say "6. The device application starts the update tool with its process id and its language, de-DE (orvanta-sim update)."
echo "   The tool picks its language from that tag: German. Its window follows, redrawn in place."
echo
ORVANTA_SIM_TIME_SCALE=0.1 "$bin/orvanta-sim" update "$ORVANTA_DEVICE_ROOT" --lang de-DE
exec 3>&-
wait

say "7. The run log (C:\\Orvanta\\update_log.txt, always in English):"
tr -d '\r' < "$ORVANTA_DEVICE_ROOT/C/Orvanta/update_log.txt" | sed 's/^/   /'

say "8. What changed in C:\\Program Files\\Orvanta (release 1 -> device now):"
diff -r "$old" "$app" | grep -v -e 'Only in .*Orvanta: \(Icons\|Languages\|Maps\|Platform\|Razovir\|Tallybird\|Voices\|Orvanta.exe\|ZAM.*Server.exe\|app-starts.log\)$' | sed 's/^/   /' || true
echo "   engine.dll still holds \"$(cat "$app/engine.dll")\": it was in use, so it waits for the restart."
echo "   The language package: $(cat "$app/Languages/Deutsch/strings.xml")"

say "9. What the device saw (orvanta-sim events): the programs started, the power requests, the restart asked for."
"$bin/orvanta-sim" events | sed 's/^/   /'

say "10. The device's state now (orvanta-sim show):"
"$bin/orvanta-sim" show | sed 's/^/   /'

say "11. The operations waiting for the restart (orvanta-sim pending):"
"$bin/orvanta-sim" pending | sed 's/^/   /'

say "12. The restart is the simulator's: orvanta-sim restart does what Windows does at boot; this machine does not restart."
"$bin/orvanta-sim" restart | sed 's/^/   /'
echo "   engine.dll now holds \"$(cat "$app/engine.dll")\"."
echo
echo "The device is in $ORVANTA_DEVICE_ROOT; export ORVANTA_DEVICE_ROOT=$ORVANTA_DEVICE_ROOT to look around."
