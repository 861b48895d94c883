#!/bin/sh
# Plugs the dimmer in as a USB device, or unplugs it, inside a test machine:
# a configfs HID gadget with the dimmer's IDs, strings and report
# descriptor, on the kernel's dummy USB controller (dummy_hcd), answered by
# kernel_dimmer through /dev/hidg0. The kernel enumerates it like the real
# dimmer: through usbhid, with its serial number and a USB port path. Needs
# root, and kernel_dimmer beside this script or on the PATH.
#   usb-gadget-dimmer.sh plug SERIAL [kernel_dimmer options]
#   usb-gadget-dimmer.sh unplug
set -eu
gadget=/sys/kernel/config/usb_gadget/light-dimmer
pid_file=/run/kernel-dimmer.pid
here=$(cd "$(dirname "$0")" && pwd)
PATH=$here:$PATH

# Waits up to 10 s for a command to succeed.
await() {
  i=0
  until "$@"; do
    i=$((i + 1))
    [ $i -lt 200 ] || { echo "usb-gadget-dimmer: gave up waiting for: $*" >&2; return 1; }
    sleep 0.05
  done
}

dimmer_hidraw() { ls -d /sys/bus/hid/devices/0003:04D8:F5D1.*/hidraw/hidraw* >/dev/null 2>&1; }
no_dimmer_hidraw() { ! dimmer_hidraw; }

case ${1:-} in
  plug)
    serial=$2
    shift 2
    for module in dummy_hcd libcomposite usb_f_hid; do modprobe "$module"; done
    grep -q ' /sys/kernel/config ' /proc/mounts || mount -t configfs none /sys/kernel/config
    mkdir "$gadget"
    echo 0x04d8 >"$gadget/idVendor"
    echo 0xf5d1 >"$gadget/idProduct"
    echo 0x0200 >"$gadget/bcdUSB"
    mkdir "$gadget/strings/0x409"
    echo "$serial" >"$gadget/strings/0x409/serialnumber"
    echo "USB Light Dimmer" >"$gadget/strings/0x409/product"
    echo "Light dimmer tests" >"$gadget/strings/0x409/manufacturer"
    mkdir "$gadget/functions/hid.dimmer"
    echo 0 >"$gadget/functions/hid.dimmer/protocol"
    echo 0 >"$gadget/functions/hid.dimmer/subclass"
    echo 4 >"$gadget/functions/hid.dimmer/report_length"
    kernel_dimmer --report-descriptor >"$gadget/functions/hid.dimmer/report_desc"
    mkdir "$gadget/configs/c.1"
    ln -s "$gadget/functions/hid.dimmer" "$gadget/configs/c.1/"
    ls /sys/class/udc | head -n 1 >"$gadget/UDC"
    await test -c /dev/hidg0
    rm -f /run/kernel-dimmer.ready
    kernel_dimmer --gadget /dev/hidg0 --ready /run/kernel-dimmer.ready "$@" </dev/null \
      >/dev/null 2>&1 &
    echo $! >"$pid_file"
    await test -f /run/kernel-dimmer.ready
    await dimmer_hidraw
    ! command -v udevadm >/dev/null || udevadm settle
    ;;
  unplug)
    # The responder closes /dev/hidg0 before the gadget is unbound: closed
    # afterwards, Debian 12's kernel hits a BUG in its HID function.
    pid=$(cat "$pid_file")
    kill "$pid"
    await test ! -d "/proc/$pid"
    rm -f "$pid_file"
    echo "" >"$gadget/UDC"
    rm "$gadget/configs/c.1/hid.dimmer"
    rmdir "$gadget/configs/c.1" "$gadget/functions/hid.dimmer" "$gadget/strings/0x409" "$gadget"
    await no_dimmer_hidraw
    ;;
  *)
    echo "usage: usb-gadget-dimmer.sh plug SERIAL [kernel_dimmer options] | unplug" >&2
    exit 2
    ;;
esac
