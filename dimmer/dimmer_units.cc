#include "dimmer/dimmer_units.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dimmer/dimmer_protocol.h"
#include "dimmer/usb_port.h"

namespace {

// `text` into `out` when it fits; else `out` empty.
void CopyText(const char* text, char* out, size_t size) {
  if (std::snprintf(out, size, "%s", text) >= static_cast<int>(size)) out[0] = '\0';
}

// The serial string when it can serve as an ID: printable ASCII without
// spaces, so that it stays one word on a command line and in a listing,
// whatever the locale; else empty, and the unit is named by its port.
void SerialText(const wchar_t* serial, char* out, size_t size) {
  out[0] = '\0';
  if (serial == nullptr) return;
  size_t length = 0;
  for (; serial[length] != L'\0'; ++length) {
    if (length + 1 >= size || serial[length] <= L' ' || serial[length] > L'~') return;
  }
  for (size_t i = 0; i <= length; ++i) out[i] = static_cast<char>(serial[i]);
}

int CompareIds(const void* a, const void* b) {
  return std::strcmp(static_cast<const DimmerUnit*>(a)->id, static_cast<const DimmerUnit*>(b)->id);
}

}  // namespace

int ListDimmerUnits(const HidLink& hid, DimmerUnit units[kMaxDimmerUnits], const char* sysfs_root) {
  hid_device_info* listed = hid.enumerate(kDimmerVendorId, kDimmerProductId);
  int count = 0;
  for (hid_device_info* device = listed; device != nullptr && count < kMaxDimmerUnits;
       device = device->next) {
    DimmerUnit& unit = units[count];
    CopyText(device->path, unit.path, sizeof unit.path);
    if (unit.path[0] == '\0') continue;
    SerialText(device->serial_number, unit.serial, sizeof unit.serial);
    UsbPortOf(device->path, sysfs_root, unit.port, sizeof unit.port);
    ++count;
  }
  hid.free_enumeration(listed);
  for (int i = 0; i < count; ++i) {
    DimmerUnit& unit = units[i];
    bool shared = unit.serial[0] == '\0';
    for (int j = 0; j < count && !shared; ++j) {
      shared = j != i && std::strcmp(units[j].serial, unit.serial) == 0;
    }
    const char* id = !shared ? unit.serial : unit.port[0] != '\0' ? unit.port : unit.path;
    CopyText(id, unit.id, sizeof unit.id);
  }
  std::qsort(units, count, sizeof units[0], CompareIds);
  return count;
}

const DimmerUnit* FindDimmerUnit(const DimmerUnit units[], int count, const char* id) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(units[i].id, id) == 0) return &units[i];
  }
  return nullptr;
}
