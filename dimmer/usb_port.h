// Where a USB device is plugged in, for naming a dimmer that has no serial
// number of its own to tell it from another: the location stays the same
// as long as the unit stays in the same socket.
#ifndef DIMMER_USB_PORT_H_
#define DIMMER_USB_PORT_H_

#include <cstddef>

// The USB port location of the device behind HIDAPI's `path` into `out`:
// on Linux the USB device's sysfs name (for example "1-1.2"), found under
// `sysfs_root` ("/sys", or a fake tree in tests); on Windows the location
// in the device's path. False, and `out` empty, where the device has no
// USB parent (a UHID device) or `out` is too small.
bool UsbPortOf(const char* path, const char* sysfs_root, char* out, size_t size);

#endif  // DIMMER_USB_PORT_H_
