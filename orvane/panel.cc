#include "orvane/panel.h"

#include "orvane/brightness_curve.h"

bool Panel::TakeState(DimmerResult connected) {
  if (connected != DimmerResult::kDone) return false;
  const LightState light = dimmer.state();
  light_on = light.on;
  // A light found off has the dimmer's default intensity, brightness 246.
  brightness = IntensityToBrightness(static_cast<uint32_t>(light.intensity));
  return true;
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
