// The light panel as the panel command line sees it: a light that is on or
// off at a brightness of 0-255, carried out on the USB dimmer through the
// brightness curve.
#ifndef ORVANE_PANEL_H_
#define ORVANE_PANEL_H_

#include <cstdint>

#include "dimmer/usb_dimmer.h"

class Panel {
 public:
  // Connects the dimmer whose ID is `id` (null: the first in the stable
  // order) and takes the panel's state from it: kDone, or why not (kAbsent
  // when no dimmer has that ID). Call Disconnect afterwards even when this
  // fails.
  DimmerResult Connect(const char* id = nullptr);
  // Sets the brightness; while the light is off it is only stored for
  // LightOn. False when the dimmer is not connected or failed.
  bool SetBrightness(uint8_t level);
  // Both return whether the light now is on (off) as asked.
  bool LightOn();
  bool LightOff();
  void Disconnect();

  bool IsLightOn() const { return light_on; }
  uint8_t Brightness() const { return brightness; }

 private:
  // The panel's own record; what is sent is decided by the dimmer's state.
  bool light_on = false;
  uint8_t brightness = 255;
  UsbDimmer dimmer;
};

#endif  // ORVANE_PANEL_H_
