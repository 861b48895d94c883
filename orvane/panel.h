// The light panel as the panel command line sees it: a light that is on or
// off at a brightness of 0-255, carried out on the USB dimmer through the
// brightness curve.
#ifndef ORVANE_PANEL_H_
#define ORVANE_PANEL_H_

#include <cstdint>

#include "dimmer/usb_dimmer.h"

class Panel {
 public:
  // Connects the first dimmer in the stable order (or `unit`, which null
  // says is absent) and takes the panel's state from it. Call Disconnect
  // afterwards even when this fails.
  bool Connect() { return TakeState(dimmer.Connect()); }
  bool ConnectTo(const DimmerUnit* unit) { return TakeState(dimmer.ConnectTo(unit)); }
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
  bool TakeState(DimmerResult connected);

  // The panel's own record; what is sent is decided by the dimmer's state.
  bool light_on = false;
  uint8_t brightness = 255;
  UsbDimmer dimmer;
};

#endif  // ORVANE_PANEL_H_
