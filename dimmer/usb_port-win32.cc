#include "dimmer/usb_port.h"

#include <cstring>

// HIDAPI's path is the HID interface's: \\?\hid#vid_04d8&pid_f5d1#INSTANCE#{class}.
// Windows derives the instance ID of a HID device from its USB parent's,
// which for a unit without a serial number of its own is made from the port
// it is plugged into: the INSTANCE part names the socket.
bool UsbPortOf(const char* path, const char* /*sysfs_root*/, char* out, size_t size) {
  if (size > 0) out[0] = '\0';
  const char* first = std::strchr(path, '#');
  const char* instance = first != nullptr ? std::strchr(first + 1, '#') : nullptr;
  if (instance == nullptr) return false;
  ++instance;
  const char* end = std::strchr(instance, '#');
  if (end == nullptr || end == instance) return false;
  const size_t length = static_cast<size_t>(end - instance);
  if (length >= size) return false;
  std::memcpy(out, instance, length);
  out[length] = '\0';
  return true;
}
