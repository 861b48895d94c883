// quorlet as built, run against the simulated dimmer.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/program_run.h"
#include "testing/simulated_dimmer_session.h"

namespace {

ProgramResult RunQuorlet(const SimulatedDimmerSession& session, std::vector<std::string> args,
                        const std::string& stdout_path = "") {
  return session.Run(QUORLET_PATH, std::move(args), stdout_path);
}

struct QuorletCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> settings;
  const char* out;
  const char* err;  // timestamps shown as "[T] "
  int exit_status;
  const char* traffic;
};

class QuorletTest : public testing::TestWithParam<QuorletCase> {};

TEST_P(QuorletTest, OutputStatusAndTraffic) {
  const QuorletCase& c = GetParam();
  SimulatedDimmerSession session(c.settings);
  const ProgramResult result = RunQuorlet(session, c.args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(MaskTimestamps(result.err), c.err);
  EXPECT_EQ(result.exit_status, c.exit_status);
  EXPECT_EQ(session.TrafficText(), c.traffic);
}

constexpr const char* kStatus = "open; getinten; close";
constexpr const char* kNotConnected = "[T] ERROR: could not connect\n";
constexpr const char* kNotChanged = "[T] ERROR: could not change the light\n";

const QuorletCase kCases[] = {
    // Reporting the state.
    {"StatusOn", {}, {"DIMMER_SIM_INTENSITY=640"}, "light is on, intensity 640\n", "", 0, kStatus},
    {"StatusOff", {}, {}, "light is off\n", "", 0, kStatus},
    {"StatusOnAboveScale", {}, {"DIMMER_SIM_INTENSITY=65535"}, "light is on, intensity 65535\n", "", 0, kStatus},
    {"TextIsNoLevel", {"abc"}, {"DIMMER_SIM_INTENSITY=640"}, "light is on, intensity 640\n", "", 0, kStatus},
    {"TwoArgumentsAreNoLevel", {"1", "2"}, {}, "light is off\n", "", 0, kStatus},
    {"TopBitSetIsNoLevel", {"4294967295"}, {}, "light is off\n", "", 0, kStatus},
    {"MinusWrapsToNoLevel", {"-5"}, {}, "light is off\n", "", 0, kStatus},
    {"Above32BitsIsNoLevel", {"4294967296"}, {"DIMMER_SIM_INTENSITY=500"}, "light is on, intensity 500\n", "", 0, kStatus},
    {"Above32BitsPlusOneIsNoLevel", {"4294967297"}, {}, "light is off\n", "", 0, kStatus},
    {"Version", {"--version"}, {"DIMMER_SIM_ABSENT=1"}, "quorlet 3.14.16\n", "", 0, ""},
    {"OptionWithMoreArgumentsIsNoLevel", {"--version", "x"}, {}, "light is off\n", "", 0, kStatus},
    // Changing the light.
    {"OffWhenOff", {"0"}, {}, "", "", 0, kStatus},
    {"OffWhenOn", {"0"}, {"DIMMER_SIM_INTENSITY=500"}, "", "", 0, "open; getinten; setinten 0; setstate 3; getstate; close"},
    {"HexIsZero", {"0x20"}, {"DIMMER_SIM_INTENSITY=500"}, "", "", 0, "open; getinten; setinten 0; setstate 3; getstate; close"},
    {"ClampedEqualSendsNothing", {"2000"}, {"DIMMER_SIM_INTENSITY=1023"}, "", "", 0, kStatus},
    {"LevelFromOff", {"300"}, {}, "", "", 0, "open; getinten; setinten 300; setstate 3; getstate; close"},
    {"LevelFromOn", {"300"}, {"DIMMER_SIM_INTENSITY=500"}, "", "", 0, "open; getinten; setinten 300; setstate 3; getstate; close"},
    {"TrailingTextIgnored", {"12abc"}, {}, "", "", 0, "open; getinten; setinten 12; setstate 3; getstate; close"},
    {"BusyTwice", {"300"}, {"DIMMER_SIM_BUSY=2"}, "", "", 0,
     "open; getinten; setinten 300; setstate 3; getstate; pause 100; getstate; pause 100; getstate; close"},
    // The device cannot be reached.
    {"NoDevice", {}, {"DIMMER_SIM_ABSENT=1"}, "", "[T] WARN: unable to open device\n[T] ERROR: could not connect\n", 1, ""},
    {"AttachedButNotOpenable", {"300"}, {"DIMMER_SIM_LOCKED=1"}, "",
     "[T] WARN: unable to open device\n"
     "[T] WARN: the dimmer is attached but could not be opened: this user may lack permission "
     "(install the udev rule 70-light-dimmer.rules and plug the dimmer in again), "
     "or another program holds it\n"
     "[T] ERROR: could not connect\n", 1, ""},
    {"NoDeviceWithLevel", {"300"}, {"DIMMER_SIM_ABSENT=1"}, "", "[T] WARN: unable to open device\n[T] ERROR: could not connect\n", 1, ""},
    {"IntensityWriteFails", {}, {"DIMMER_SIM_FAIL=getinten:1:write"}, "",
     "[T] WARN: Unable to write()\n[T] WARN: Error: simulated write error\n[T] WARN: could not read intensity\n[T] ERROR: could not connect\n",
     1, "open; getinten [write error]; close"},
    {"IntensityWriteFailsWithoutText", {"300"}, {"DIMMER_SIM_FAIL=getinten:1:write", "DIMMER_SIM_NO_ERROR_TEXT=1"}, "",
     "[T] WARN: Unable to write()\n[T] WARN: Error: unknown error\n[T] WARN: could not read intensity\n[T] ERROR: could not connect\n",
     1, "open; getinten [write error]; close"},
    {"IntensityReadFails", {}, {"DIMMER_SIM_FAIL=getinten:1:read"}, "",
     "[T] WARN: hid_read_timeout returned -1\n[T] WARN: could not read intensity\n[T] ERROR: could not connect\n",
     1, "open; getinten [read error]; close"},
    {"IntensityTimesOut", {}, {"DIMMER_SIM_FAIL=getinten:1:timeout"}, "",
     "[T] WARN: could not read intensity\n[T] ERROR: could not connect\n", 1, "open; getinten [timeout]; close"},
    {"IntensityAnswerShort", {"0"}, {"DIMMER_SIM_FAIL=getinten:1:short2"}, "",
     "[T] WARN: could not read intensity\n[T] ERROR: could not connect\n", 1, "open; getinten [short 2]; close"},
    // A change fails: the run says so and exits 1.
    {"OffFails", {"0"}, {"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_FAIL=setinten:1:timeout"}, "",
     "[T] WARN: timeout\n[T] ERROR: could not change the light\n", 1, "open; getinten; setinten 0 [timeout]; close"},
    {"LevelFromOffFails", {"300"}, {"DIMMER_SIM_FAIL=setstate:1:write"}, "",
     "[T] WARN: hid_write: -1: simulated write error\n[T] ERROR: could not change the light\n", 1,
     "open; getinten; setinten 300; setstate 3 [write error]; close"},
    {"LevelFromOnFails", {"300"}, {"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_FAIL=getstate:1:read"}, "",
     "[T] WARN: hid_read_timeout returned -1\n[T] ERROR: could not change the light\n", 1,
     "open; getinten; setinten 300; setstate 3; getstate [read error]; close"},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, QuorletTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<QuorletCase>& info) { return info.param.name; });

TEST(QuorletRunTest, GivesUpOnADeviceThatStaysBusy) {
  SimulatedDimmerSession session({"DIMMER_SIM_BUSY=100000", "DIMMER_SIM_INSTANT_SLEEP=1"});
  const ProgramResult result = RunQuorlet(session, {"300"});
  EXPECT_EQ(MaskTimestamps(result.err), "[T] WARN: device stayed busy\n" + std::string(kNotChanged));
  EXPECT_EQ(result.exit_status, 1);
  const std::vector<std::string> traffic = session.Traffic();
  EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "getstate"), 300);
  EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "pause 100"), 299);
  ASSERT_GE(traffic.size(), 2u);
  EXPECT_EQ(traffic[traffic.size() - 2], "getstate");
  EXPECT_EQ(traffic.back(), "close");
}

TEST(QuorletRunTest, HelpLeavesTheDeviceAlone) {
  SimulatedDimmerSession session({"DIMMER_SIM_ABSENT=1"});
  const ProgramResult result = RunQuorlet(session, {"--help"});
  EXPECT_EQ(result.out.rfind("Usage: quorlet [LEVEL]\n", 0), 0u) << result.out;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(QuorletRunTest, StatusThatCannotBeWrittenFails) {
  SimulatedDimmerSession session;
  const ProgramResult result = RunQuorlet(session, {}, "/dev/full");
  EXPECT_EQ(MaskTimestamps(result.err), "[T] ERROR: could not write the status\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(session.TrafficText(), kStatus);
}

TEST(QuorletRunTest, DeviceKeepsItsLevelBetweenRuns) {
  SimulatedDimmerSession first;
  SimulatedDimmerSession session({"DIMMER_SIM_STATE_FILE=" + first.Path("state")});
  EXPECT_EQ(RunQuorlet(session, {"300"}).exit_status, 0);
  EXPECT_EQ(RunQuorlet(session, {}).out, "light is on, intensity 300\n");
  EXPECT_EQ(RunQuorlet(session, {"0"}).exit_status, 0);
  EXPECT_EQ(RunQuorlet(session, {}).out, "light is off\n");
}

}  // namespace
