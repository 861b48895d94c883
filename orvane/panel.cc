#include "orvane/panel.h"

#include "orvane/brightness_curve.h"

DimmerResult Panel::Connect(const char* id) {
  const DimmerResult connected = dimmer.ConnectId(id);
  if (connected != DimmerResult::kDone) return connected;
  const LightState light = dimmer.state();
  light_on = light.on;
  // A light found off has the dimmer's default intensity, brightness 246.
  brightness = IntensityToBrightness(static_cast<uint32_t>(light.intensity));
  return DimmerResult::kDone;
}

bool Panel::SetBrightness(uint8_t level) {
  if (dimmer.SetIntensity(BrightnessToIntensity(level)) != DimmerResult::kDone) return false;
  brightness = level;
  return true;
}

bool Panel::LightOn() {
  if (dimmer.TurnOn() != DimmerResult::kDone) return false;
  light_on = true;
  return dimmer.state().on;
}

bool Panel::LightOff() {
  if (dimmer.TurnOff() != DimmerResult::kDone) return false;
  light_on = false;
  return true;
}

void Panel::Disconnect() { dimmer.Disconnect(); }
