// Panel against the simulated dimmer.
#include "orvane/panel.h"

#include <memory>

#include <gtest/gtest.h>

#include "testing/stand_in_dimmer.h"

namespace {

class PanelTest : public testing::Test {
 protected:
  void Start(std::vector<std::string> settings) {
    session_ = std::make_unique<StandInDimmer>(std::move(settings));
    session_->ApplyToProcess();
  }
  void TearDown() override { panel_.Disconnect(); }

  Panel panel_;
  std::unique_ptr<StandInDimmer> session_;
};

TEST_F(PanelTest, StartsOffAtFullBrightnessUntilConnected) {
  Start({"DIMMER_SIM_ABSENT=1"});
  EXPECT_NE(panel_.Connect(), DimmerResult::kDone);
  EXPECT_FALSE(panel_.IsLightOn());
  EXPECT_EQ(panel_.Brightness(), 255);
  EXPECT_FALSE(panel_.SetBrightness(10));
  EXPECT_FALSE(panel_.LightOn());
  EXPECT_FALSE(panel_.LightOff());
  EXPECT_EQ(panel_.Brightness(), 255);
}

struct ConnectCase {
  int intensity;
  bool light_on;
  int brightness;
};

class PanelConnectTest : public PanelTest, public testing::WithParamInterface<ConnectCase> {};

TEST_P(PanelConnectTest, TakesItsStateFromTheDimmer) {
  Start({"DIMMER_SIM_INTENSITY=" + std::to_string(GetParam().intensity)});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(panel_.IsLightOn(), GetParam().light_on);
  EXPECT_EQ(panel_.Brightness(), GetParam().brightness);
}

INSTANTIATE_TEST_SUITE_P(Intensities, PanelConnectTest,
                         testing::Values(ConnectCase{176, true, 128},
                                         ConnectCase{0, false, 246},  // assumed 900
                                         ConnectCase{2000, true, 255}));

TEST_F(PanelTest, BrightnessWhileOffWaitsForLightOn) {
  Start({});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_TRUE(panel_.SetBrightness(128));
  EXPECT_EQ(panel_.Brightness(), 128);
  EXPECT_EQ(session_->TrafficText(), "open; getinten");
  EXPECT_TRUE(panel_.LightOn());
  EXPECT_TRUE(panel_.IsLightOn());
  EXPECT_EQ(session_->TrafficText(), "open; getinten; setinten 176; setstate 3; getstate");
}

TEST_F(PanelTest, SameBrightnessWhileOnSendsNothing) {
  Start({"DIMMER_SIM_INTENSITY=176"});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_TRUE(panel_.SetBrightness(128));
  EXPECT_TRUE(panel_.LightOn());
  EXPECT_EQ(session_->TrafficText(), "open; getinten");
}

TEST_F(PanelTest, FailedChangeKeepsTheBrightness) {
  Start({"DIMMER_SIM_INTENSITY=176", "DIMMER_SIM_FAIL=setstate:1:timeout"});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_FALSE(panel_.SetBrightness(200));
  EXPECT_EQ(panel_.Brightness(), 128);
  EXPECT_TRUE(panel_.LightOn());  // it was on all along
}

TEST_F(PanelTest, LightOffKeepsTheLevelForLightOn) {
  Start({"DIMMER_SIM_INTENSITY=176"});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_TRUE(panel_.LightOff());
  EXPECT_FALSE(panel_.IsLightOn());
  EXPECT_TRUE(panel_.LightOn());
  EXPECT_EQ(session_->TrafficText(),
            "open; getinten; setinten 0; setstate 3; getstate; setinten 176; setstate 3; getstate");
}

TEST_F(PanelTest, FailedSwitchKeepsTheRecord) {
  Start({"DIMMER_SIM_FAIL=getstate:1:read"});
  ASSERT_EQ(panel_.Connect(), DimmerResult::kDone);
  EXPECT_FALSE(panel_.LightOn());
  EXPECT_FALSE(panel_.IsLightOn());
  EXPECT_TRUE(panel_.LightOff());  // still off: nothing to send
  EXPECT_EQ(session_->TrafficText(),
            "open; getinten; setinten 900; setstate 3; getstate [read error]");
}

}  // namespace
