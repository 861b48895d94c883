// The HIDAPI calls that the dimmer code makes, gathered in one table, so
// that a program can put another device behind them: the INDI driver puts
// its simulated dimmer there. Everything else uses the system's HIDAPI.
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

// The link that the dimmer code uses from now on, process-wide; change it
// only while no dimmer is connected.
void UseHidLink(const HidLink& link);
const HidLink& Hid();

#endif  // DIMMER_HID_LINK_H_
