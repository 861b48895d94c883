#!/bin/bash
# The systemd leg's test, inside the booted Debian 12 machine, from the
# payload disk (/payload: the packages as released in packages/, a rebuild
# with a higher version in upgrade/, kernel_dimmer and usb-gadget-dimmer.sh).
# It runs at each boot and goes on where the last boot left off: the first
# installs the packages, enables the service and uses the dimmer, then
# reboots; the second plugs the dimmer in after boot, kills the server,
# upgrades, removes and purges. Prints "PASS name" or "FAIL name: why" for
# each check and, at the end, "VM-RESULT: N passed, N failed", then powers
# the machine off.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive
state=/var/lib/dimmer-test
mkdir -p "$state"
phase=$(cat "$state/phase" 2>/dev/null || echo 1)
unit=light-dimmer-alpaca.service
server=http://127.0.0.1:11111
api=$server/api/v1/covercalibrator/0
serial=LD4217

pass() { echo "PASS $1"; echo "PASS $1" >>"$state/results"; }
fail() {
  echo "FAIL $1: $2"
  echo "FAIL $1" >>"$state/results"
  journalctl -b -u "$unit" --no-pager -n 15 2>/dev/null | sed 's/^/    /'
}
# check NAME COMMAND...: passes when COMMAND succeeds.
check() {
  local name=$1
  shift
  local said
  if said=$("$@" 2>&1); then pass "$name"; else fail "$name" "$said"; fi
}
# says PATTERN COMMAND...: COMMAND's output (with its errors) matches PATTERN;
# else prints it.
says() {
  local pattern=$1 said
  shift
  said=$("$@" 2>&1)
  grep -q "$pattern" <<<"$said" || { echo "it said: $said"; return 1; }
}
# Waits up to SECONDS for COMMAND to succeed.
within() {
  local seconds=$1
  shift
  local i
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  "$@"
}

serving() { curl -sf -o /dev/null "$server/management/v1/configureddevices"; }
not_serving() { ! curl -s -o /dev/null "$server/management/v1/configureddevices"; }
unique_id() {
  curl -s "$server/management/v1/configureddevices" | sed -n 's/.*"UniqueID":"\([^"]*\)".*/\1/p'
}
# Alpaca discovery, as a client on this machine asks.
discovery_answers() {
  local reply=
  exec 3<>/dev/udp/127.0.0.1/32227
  printf 'alpacadiscovery1' >&3
  # One read takes the whole datagram (bash's read would take a byte of it).
  reply=$(timeout 5 dd bs=512 count=1 status=none <&3)
  exec 3<&-
  [ "$reply" = '{"AlpacaPort":11111}' ] || { echo "discovery answered: $reply"; return 1; }
}
main_pid() { systemctl show -P MainPID "$unit"; }
put() { curl -sf -X PUT -d "$2&ClientID=7&ClientTransactionID=1" "$api/$1"; }
ready_at() {  # the calibrator is Ready (3) at BRIGHTNESS
  [[ "$(curl -s "$api/calibratorstate?ClientID=7")" == *'"Value":3'* ]] &&
    [[ "$(curl -s "$api/brightness?ClientID=7")" == *"\"Value\":$1,"* ]]
}
# Connects through the service, turns the light on at BRIGHTNESS, and
# checks that quorlet, as root and as an ordinary member of plugdev, reads
# the same.
light_through_service() {
  local brightness=$1 answer
  answer=$(put connected Connected=True) || { echo "connect: $answer"; return 1; }
  [[ "$answer" == *'"ErrorNumber":0'* ]] || { echo "connect: $answer"; return 1; }
  answer=$(put calibratoron "Brightness=$brightness")
  [[ "$answer" == *'"ErrorNumber":0'* ]] || { echo "CalibratorOn: $answer"; return 1; }
  within 10 ready_at "$brightness" || { echo "not Ready at $brightness"; return 1; }
  answer=$(quorlet 2>&1)
  [ "$answer" = "light is on, intensity $brightness" ] || { echo "quorlet: $answer"; return 1; }
  answer=$(runuser -u observer -- quorlet 2>&1)
  [ "$answer" = "light is on, intensity $brightness" ] || { echo "quorlet as observer: $answer"; return 1; }
}

# Runs a program in a service of its own that may use no device, and prints
# what it printed.
in_unit_without_devices() {
  cat >/run/systemd/system/without-devices.service <<UNIT
[Service]
Type=oneshot
DevicePolicy=closed
ExecStart=$(command -v "$1")
StandardOutput=file:/run/without-devices.out
StandardError=file:/run/without-devices.out
UNIT
  systemctl daemon-reload
  systemctl start without-devices.service
  cat /run/without-devices.out
}

plug() { /payload/usb-gadget-dimmer.sh plug "$serial" --intensity 0; }
unplug() { /payload/usb-gadget-dimmer.sh unplug; }
# The dimmer's nodes and USB device as udev left them.
node_for_plugdev() {
  local node
  node=/dev/$(basename "$(ls -d /sys/bus/hid/devices/0003:04D8:F5D1.*/hidraw/hidraw*)")
  [ "$(stat -c '%a %G' "$node")" = "660 plugdev" ] || { stat -c '%a %G' "$node"; return 1; }
}
usb_device() { grep -l '^f5d1$' /sys/bus/usb/devices/*/idProduct | xargs dirname; }
kept_powered() { [ "$(cat "$(usb_device)/power/control")" = on ]; }
has_serial() { [ "$(cat "$(usb_device)/serial")" = "$serial" ]; }

finish() {
  local passed failed
  passed=$(grep -c '^PASS' "$state/results")
  failed=$(grep -c '^FAIL' "$state/results")
  echo "VM-RESULT: $passed passed, $failed failed"
  systemctl poweroff
}

case $phase in
  1)
    id observer >/dev/null 2>&1 || useradd -M -G plugdev observer
    id outsider >/dev/null 2>&1 || useradd -M outsider
    check "no HID support loaded at boot" test ! -d /sys/module/hid
    check "apt installs the packages" apt-get install -y -q --no-install-recommends \
      /payload/packages/light-dimmer_*.deb /payload/packages/light-dimmer-indi_*.deb \
      /payload/packages/light-dimmer-alpaca_*.deb
    check "the service is installed, not enabled" test "$(systemctl is-enabled $unit)" = disabled
    check "the service is not started on install" test "$(systemctl is-active $unit)" = inactive
    check "the service enables and starts" systemctl enable --now $unit
    check "the service serves" within 20 serving
    check "the sandboxed service serves over IPv6 too" \
      curl -sf -o /dev/null "http://[::1]:11111/management/v1/configureddevices"
    check "the sandboxed service answers discovery" discovery_answers
    unique_id >"$state/unique-id"
    check "a UniqueID is served" test -s "$state/unique-id"
    check "the dimmer plugs in as a USB device" plug
    check "udev gives its node to plugdev (0660)" node_for_plugdev
    check "udev keeps it out of USB autosuspend" kept_powered
    check "its USB serial number is seen" has_serial
    check "CalibratorOn 420 through the service; quorlet agrees" light_through_service 420
    check "a user outside plugdev is told to join it" \
      says "lacks permission.*join the plugdev group" runuser -u outsider -- quorlet
    check "a program denied the device by its unit is told to restart the service" \
      says "denied the device.*restart the service" in_unit_without_devices quorlet
    check "the dimmer unplugs" unplug
    echo 2 >"$state/phase"
    echo "rebooting"
    systemctl reboot
    ;;
  2)
    check "after the reboot the service runs" within 20 serving
    check "with no dimmer attached" test -z "$(ls /sys/bus/hid/devices/ 2>/dev/null)"
    check "the dimmer plugs in after boot" plug
    check "CalibratorOn 300 with the dimmer plugged in after boot" light_through_service 300
    check "the UniqueID is kept across a reboot" test "$(unique_id)" = "$(cat "$state/unique-id")"

    old=$(main_pid)
    kill -9 "$old"
    check "the server killed with SIGKILL is restarted" \
      within 20 bash -c "[ \"\$(systemctl show -P MainPID $unit)\" != $old ] && [ \"\$(systemctl show -P MainPID $unit)\" != 0 ]"
    check "the restarted server serves" within 20 serving
    check "the UniqueID is kept across a restart" test "$(unique_id)" = "$(cat "$state/unique-id")"

    old=$(main_pid)
    check "apt upgrades to the rebuild" apt-get install -y -q --no-install-recommends \
      /payload/upgrade/light-dimmer_*.deb /payload/upgrade/light-dimmer-indi_*.deb \
      /payload/upgrade/light-dimmer-alpaca_*.deb
    check "the upgrade installed the higher version" test \
      "$(dpkg-query -W -f '${Version}' light-dimmer-alpaca)" = "$(cat /payload/upgrade/version)"
    new=$(main_pid)
    check "the upgrade restarted the service" test "$new" != "$old" -a "$new" != 0
    check "the service runs the new server" test "$(readlink "/proc/$new/exe")" = /usr/bin/alpaca_light_dimmer
    check "the upgraded service serves" within 20 serving
    check "the UniqueID is kept across the upgrade" test "$(unique_id)" = "$(cat "$state/unique-id")"
    check "CalibratorOn 200 after the upgrade" light_through_service 200
    check "the dimmer unplugs" unplug

    check "apt removes the server's package" apt-get remove -y -q light-dimmer-alpaca
    check "removing it stopped the service" test "$(systemctl is-active $unit)" != active
    check "nothing serves on the port" not_serving
    check "apt purges the packages" apt-get purge -y -q light-dimmer-alpaca light-dimmer-indi light-dimmer
    check "no package is left" test -z "$(dpkg-query -W -f '${Package}\n' 'light-dimmer*' 2>/dev/null)"
    check "no state is left" test ! -e /var/lib/private/light-dimmer-alpaca -a ! -e /var/lib/light-dimmer-alpaca
    check "no service link is left" test -z "$(find /etc/systemd -name 'light-dimmer*')"
    check "no configuration is left" test ! -e /etc/default/light-dimmer-alpaca
    check "no udev rule is left" test -z "$(find /lib/udev /usr/lib/udev /etc/udev -name '*light-dimmer*')"
    check "systemd knows no such unit" test "$(systemctl show -P LoadState $unit)" = not-found
    finish
    ;;
esac
