// The HIDAPI calls that the dimmer code makes, gathered in one table, so
// that a program can put another device behind them: the long-running
// programs put their simulated dimmer there. Each UsbDimmer is given the
// table it uses; there is no process-wide one.
#ifndef DIMMER_HID_LINK_H_
#define DIMMER_HID_LINK_H_

#include <cstddef>

#include <hidapi/hidapi.h>

struct HidLink {
  hid_device_info* (*enumerate)(unsigned short vendor_id, unsigned short product_id);
  void (*free_enumeration)(hid_device_info* devices);
  hid_device* (*open_path)(const char* path);
  int (*write)(hid_device* dev, const unsigned char* data, size_t length);
  int (*read_timeout)(hid_device* dev, unsigned char* data, size_t length, int milliseconds);
  void (*close)(hid_device* dev);
  const wchar_t* (*error)(hid_device* dev);
  // Whether other programs reach the same device, so that exchanges need
  // the dimmer's lock.
  bool shared;
};

// The system's HIDAPI.
const HidLink& SystemHid();

#endif  // DIMMER_HID_LINK_H_
