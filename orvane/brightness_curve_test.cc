#include "orvane/brightness_curve.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

// The table is fixed when the program is compiled.
static_assert(BrightnessCurve[128] == 176 && BrightnessCurve[255] == 1023,
              "the curve is built at compile time");

TEST(BrightnessCurveTest, FactorIsTheExpectedDouble) {
  uint64_t bits = 0;
  std::memcpy(&bits, &kCurveFactor, sizeof bits);
  EXPECT_EQ(bits, 0x3E8860F1E34D47EBu);
}

TEST(BrightnessCurveTest, EveryEntryIsFloorOfTheQuarticCurve) {
  constexpr uint64_t kDenominator = 255ull * 255 * 255 * 255;
  for (uint64_t i = 0; i < 256; ++i) {
    const uint64_t expected = (i * kDenominator + 768 * i * i * i * i) / kDenominator;
    EXPECT_EQ(BrightnessCurve[i], expected) << "brightness " << i;
    EXPECT_EQ(BrightnessToIntensity(static_cast<uint8_t>(i)), expected);
  }
}

TEST(BrightnessCurveTest, EveryBrightnessSurvivesTheRoundTrip) {
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(IntensityToBrightness(BrightnessToIntensity(static_cast<uint8_t>(b))), b);
  }
}

struct SearchCase {
  uint32_t intensity;
  int brightness;
};

class IntensityToBrightnessTest : public testing::TestWithParam<SearchCase> {};

TEST_P(IntensityToBrightnessTest, FindsTheBrightness) {
  EXPECT_EQ(IntensityToBrightness(GetParam().intensity), GetParam().brightness);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntensityToBrightnessTest,
    testing::Values(SearchCase{0, 0}, SearchCase{48, 48}, SearchCase{49, 48},
                    SearchCase{50, 49}, SearchCase{51, 50}, SearchCase{176, 128},
                    // Between two entries the search may land on the farther one.
                    SearchCase{900, 246}, SearchCase{500, 202}, SearchCase{1010, 254},
                    SearchCase{1022, 255}, SearchCase{1023, 255}, SearchCase{1024, 255},
                    SearchCase{2000, 255}, SearchCase{65535, 255},
                    // A negative intensity passed on bit for bit.
                    SearchCase{0xFFFFFFFFu, 255}));

}  // namespace
