#include "orvane/panel.h"

#include "orvane/brightness_curve.h"

bool Panel::Connect() {
  if (!dimmer.Connect()) return false;
  light_on = dimmer.IsOn() == 1;
  // A light found off has the dimmer's default intensity, brightness 246.
  brightness = IntensityToBrightness(static_cast<uint32_t>(dimmer.Intensity()));
  return true;
}

bool Panel::SetBrightness(uint8_t level) {
  if (dimmer.SetIntensity(BrightnessToIntensity(level)) != 0) return false;
  brightness = level;
  return true;
}

bool Panel::LightOn() {
  if (dimmer.TurnOn() != 0) return false;
  light_on = true;
  return dimmer.IsOn() == 1;
}

bool Panel::LightOff() {
  if (dimmer.TurnOff() != 0) return false;
  light_on = false;
  return true;
}

void Panel::Disconnect() { dimmer.Disconnect(); }
