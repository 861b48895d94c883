#include "orvane/brightness_curve.h"

uint32_t BrightnessToIntensity(uint8_t level) { return BrightnessCurve[level]; }

uint8_t IntensityToBrightness(uint32_t target) {
  // Signed bounds: hi may step below lo, which ends the search.
  int lo = 0;
  int hi = 255;
  do {
    const int mid = (lo + hi) / 2;
    if (BrightnessCurve[mid] == target) return static_cast<uint8_t>(mid);
    if (BrightnessCurve[mid] < target) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  } while (lo < hi);
  return static_cast<uint8_t>(lo);
}
