// The panel's brightness (0-255) and the dimmer's intensity (0 to its
// maximum): a
// curve that is linear at the dark end and steepens towards full
// brightness, floor(b + 768 * b^4 / 255^4).
#ifndef ORVANE_BRIGHTNESS_CURVE_H_
#define ORVANE_BRIGHTNESS_CURVE_H_

#include <array>
#include <cstdint>

#include "dimmer/dimmer_protocol.h"

// 768 / 255^4.
constexpr double kCurveFactor = 768.0 / (255.0 * 255.0 * 255.0 * 255.0);
constexpr uint32_t kMaxCurveIntensity = kMaxIntensity;

using BrightnessTable = std::array<uint32_t, 256>;

// Evaluated in double precision in exactly this order, then truncated, so
// that the table is the same on every compiler and platform.
constexpr BrightnessTable MakeBrightnessCurve() {
  BrightnessTable table{};
  for (int i = 0; i < 256; ++i) {
    const double x = i;
    const double y = (((x * kCurveFactor) * x) * x + 1.0) * x;
    const uint32_t entry = static_cast<uint32_t>(y);
    table[i] = entry < kMaxCurveIntensity ? entry : kMaxCurveIntensity;
  }
  return table;
}

// Indexed by brightness; strictly increasing from 0 to kMaxCurveIntensity.
inline constexpr BrightnessTable BrightnessCurve = MakeBrightnessCurve();

uint32_t BrightnessToIntensity(uint8_t level);

// The brightness whose intensity is `target`; a value between two entries
// gives one of its neighbours, a value above kMaxCurveIntensity gives 255.
uint8_t IntensityToBrightness(uint32_t target);

#endif  // ORVANE_BRIGHTNESS_CURVE_H_
