#include "dimmer/usb_port.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The last component of `folder`, in place.
const char* LastName(const char* folder) {
  const char* slash = std::strrchr(folder, '/');
  return slash == nullptr ? folder : slash + 1;
}

// Cuts the last component off `folder`; false at the root.
bool GoUp(char* folder) {
  char* slash = std::strrchr(folder, '/');
  if (slash == nullptr || slash == folder) return false;
  *slash = '\0';
  return true;
}

}  // namespace

bool UsbPortOf(const char* path, const char* sysfs_root, char* out, size_t size) {
  if (size > 0) out[0] = '\0';
  // HIDAPI's hidraw backend names the node: /dev/hidrawN.
  const char* node = std::strrchr(path, '/');
  if (node == nullptr || std::strncmp(node + 1, "hidraw", 6) != 0) return false;
  char link[PATH_MAX];
  char folder[PATH_MAX];
  if (std::snprintf(link, sizeof link, "%s/class/hidraw/%s/device", sysfs_root, node + 1) >=
          static_cast<int>(sizeof link) ||
      realpath(link, folder) == nullptr) {
    return false;
  }
  // Up from the HID device through the interface ("1-1.2:1.0") to the first
  // folder that is a USB device: it has a devpath and its name no colon.
  while (GoUp(folder)) {
    const char* name = LastName(folder);
    if (std::strchr(name, ':') != nullptr) continue;
    char devpath[PATH_MAX];
    if (std::snprintf(devpath, sizeof devpath, "%s/devpath", folder) <
            static_cast<int>(sizeof devpath) &&
        access(devpath, F_OK) == 0) {
      if (std::snprintf(out, size, "%s", name) < static_cast<int>(size)) return true;
      out[0] = '\0';
      return false;
    }
  }
  return false;
}
