#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix of its own: a silent install,
# the files, Start menu entries and service in place, the service serving
# the simulated dimmer and stopping within two seconds, an upgrade that
# keeps the UniqueID, and silent uninstalls that leave the prefix as it was
# (apart from the settings, when asked to keep them); then the install and
# uninstall wizards clicked through on a virtual screen (Xvfb, xdotool).
#   windows/installer_test.sh SETUP.exe UPGRADE-SETUP.exe
set -uo pipefail  # each check says how it went; the script goes on
setup=$(realpath "$1")
upgrade=$(realpath "$2")
scratch=$(mktemp -d)
set -e
# A screen of its own, for the wizards, from before Wine starts: the
# prefix's desktop stays on the screen it started with.
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$scratch/display" >/dev/null 2>&1 &
xserver=$!
trap 'kill $xserver; rm -rf "$scratch"' EXIT
for i in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$scratch/display")
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
# Kept up throughout: a prefix that boots again starts its automatic
# services again, as a machine does.
wineserver -p
trap 'wineserver -k || true; kill $xserver; rm -rf "$scratch"' EXIT
set +e

passed=0
failed=0
verdict() {  # verdict NAME: the status of the command before it
  if [ "$1" = 0 ]; then
    echo "PASS $2"
    passed=$((passed + 1))
  else
    echo "FAIL $2${3:+: $3}"
    failed=$((failed + 1))
  fi
}

drive=$WINEPREFIX/drive_c
folder="$drive/Program Files/Light Dimmer"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Light Dimmer"
state="$drive/ProgramData/light-dimmer"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base=http://127.0.0.1:$port
# What the prefix holds, without what Wine itself changes as it runs.
snapshot() {
  (cd "$drive" && find . -path ./windows -prune -o -path './users/*/Temp' -prune -o -print | sort)
}
service_state() { wine sc query LightDimmerAlpaca 2>/dev/null | sed -n 's/.*STATE *: *[0-9]* *//p' | tr -d '\r '; }
wait_for_state() {  # wait_for_state STATE SECONDS
  local deadline=$((SECONDS + $2))
  while [ "$(service_state)" != "$1" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
unique_id() { curl -s --max-time 5 "$base/management/v1/configureddevices" | sed -n 's/.*"UniqueID":"\([^"]*\)".*/\1/p'; }

before=$(snapshot)
# Through a batch file, so that the installer gets its command line as a
# user types it (/OPTIONS="..."), whatever quoting wine would add.
printf '"%s" /S /OPTIONS="--simulation --address 127.0.0.1 --port %s --discovery-port 0"\r\n' \
  "$(winepath -w "$setup")" "$port" >"$scratch/install.cmd"
wine cmd /c "$(winepath -w "$scratch/install.cmd")" >/dev/null
status=0
for file in alpaca_light_dimmer.exe quorlet.exe orvane.exe hidapi.dll LICENSE README.md \
            hidapi-LICENSE-bsd.txt uninstall.exe docs/windows.md; do
  [ -f "$folder/$file" ] || { status=1; echo "missing: $file"; }
done
apps_entry() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LightDimmer' \
    /v QuietUninstallString >/dev/null 2>&1
}
apps_entry || status=1
verdict $status "silent install: the programs, licenses, README, uninstaller and Apps entry"
status=0
for entry in "Light Dimmer setup page.url" "Light Dimmer README.lnk" "Uninstall Light Dimmer.lnk"; do
  [ -f "$menu/$entry" ] || { status=1; echo "missing: $entry"; }
done
link() { grep -q "URL=http://localhost:$port/setup" "$menu/Light Dimmer setup page.url"; }
link || status=1
verdict $status "Start menu: the setup page (at the options' port), the README, the uninstaller"
registered=$(wine reg query 'HKLM\System\CurrentControlSet\Services\LightDimmerAlpaca' 2>/dev/null |
  tr -d '\r')
grep -q 'Start.*0x2' <<<"$registered" && grep -q 'LocalService' <<<"$registered" &&
  grep -q -- '--service --simulation' <<<"$registered"
verdict $? "the service: automatic, as LocalService, with its options" "$registered"
wait_for_state RUNNING 10
verdict $? "the service runs"

first_id=$(unique_id)
curl -s --max-time 5 -X PUT -d 'Connected=True&ClientID=1' "$base/api/v1/covercalibrator/0/connected" >/dev/null
curl -s --max-time 5 -X PUT -d 'Brightness=420&ClientID=1' "$base/api/v1/covercalibrator/0/calibratoron" >/dev/null
status=1
for i in $(seq 50); do
  curl -s --max-time 5 "$base/api/v1/covercalibrator/0/brightness?ClientID=1" | grep -q '"Value":420' &&
    { status=0; break; }
  sleep 0.1
done
[ -n "$first_id" ] || status=1
verdict $status "configureddevices ($first_id) and CalibratorOn 420 on the simulated dimmer"

began=$(date +%s%N)
wine sc stop LightDimmerAlpaca >/dev/null 2>&1
wait_for_state STOPPED 10
status=$?
took=$((($(date +%s%N) - began) / 1000000))
[ $took -le 2000 ] || status=1
grep -q "stopping; the light stays as it is" "$state/alpaca_light_dimmer.log" || status=1
# Its process gone, and with it its hold on the dimmer and its lock.
pgrep -f 'alpaca_light_dimmer\.exe' >/dev/null && status=1
verdict $status "sc stop ends it within 2 s (${took} ms), its log complete, the dimmer released"

wine "$upgrade" /S
wait_for_state RUNNING 10
status=$?
[ -n "$first_id" ] && [ "$(unique_id)" = "$first_id" ] && link || status=1
verdict $status "an upgrade install keeps the options, the setup page's port and the UniqueID"

# The uninstaller runs from a copy of itself, and ends after the caller.
uninstall() {
  wine "$folder/uninstall.exe" /S "$@"
  for i in $(seq 100); do
    [ -e "$folder" ] || return 0
    sleep 0.2
  done
  return 1
}
uninstall
status=$?
wine sc query LightDimmerAlpaca >/dev/null 2>&1 && status=1
apps_entry && status=1
[ -e "$menu" ] && status=1
after=$(snapshot)
[ "$after" = "$before" ] || { status=1; diff <(echo "$before") <(echo "$after") || true; }
verdict $status "a silent uninstall leaves no service, files, shortcuts or Apps entry: the prefix as it was"

wine "$setup" /S /NOSTART
[ "$(service_state)" = STOPPED ]
verdict $? "/NOSTART installs the service without starting it"
uninstall /KEEPSETTINGS
status=$?
[ -d "$state" ] || status=1
kept=$(snapshot)
[ "$(grep -v '^./ProgramData/light-dimmer' <<<"$kept")" = "$before" ] || status=1
verdict $status "an uninstall asked to keep the settings leaves only them"

# The wizards, as a user clicks through them: Return takes the default
# button, Alt+O the options field.
screen() { xwd -root -silent | md5sum; }
settle() {  # settle [SCREEN]: waits until the screen differs from SCREEN and holds still
  local now previous=""
  for i in $(seq 100); do
    now=$(screen)
    [ "$now" != "${1:-}" ] && [ "$now" = "$previous" ] && return 0
    previous=$now
    sleep 0.1
  done
  return 1
}
press() {  # press KEYS...: then waits for the next page
  local was
  was=$(screen)
  xdotool "$@" && settle "$was"
}
wizard() {  # wizard TITLE: waits for its window and for it to be drawn
  timeout 30 xdotool search --sync --onlyvisible --name "$1" >/dev/null 2>&1 && settle
}
finish() {  # finish TITLE: presses Return until the wizard has gone, once done
  for i in $(seq 40); do
    # (a window closing as it is looked at makes xdotool complain)
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    settle
    xdotool key Return
    sleep 0.5
  done
  return 1
}
wine "$setup" >/dev/null 2>&1 &
wizard "Setup" && press key Return && press key Return && press key Return &&  # welcome, license, folder
  press key alt+o type -- "--simulation --address 127.0.0.1 --port $port --discovery-port 0" &&
  xdotool key Return  # install, the start box left ticked
wait_for_state RUNNING 30
status=$?
[ -n "$(unique_id)" ] && link || status=1
finish "Setup" || status=1
verdict $status "the wizard's defaults start the service, serving with the options typed in"
wine "$folder/uninstall.exe" >/dev/null 2>&1
wizard "Uninstall" && press key Return && xdotool key Return  # confirm, settings box left unticked
finish "Uninstall"
status=$?
[ "$(snapshot)" = "$before" ] || status=1
verdict $status "the uninstall wizard's defaults leave the prefix as it was"

echo "INSTALLER-RESULT: $passed passed, $failed failed"
[ $failed = 0 ]
