// quorlet as built, run against the simulated dimmer.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

ProgramResult RunQuorlet(const StandInDimmer& session, std::vector<std::string> args,
                        ProgramOptions options = {}) {
  return session.Run(QUORLET_PATH, std::move(args), std::move(options));
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
  StandInDimmer session(c.settings);
  const ProgramResult result = RunQuorlet(session, c.args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(MaskTimestamps(result.err), c.err);
  EXPECT_EQ(result.exit_status, c.exit_status);
  EXPECT_EQ(session.TrafficText(), c.traffic);
}

constexpr const char* kStatus = "open; getinten; close";

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
    // Every failure of every exchange is in the fault matrix; this one
    // needs a device that gives no error text.
    {"IntensityWriteFailsWithoutText", {"300"}, {"DIMMER_SIM_FAIL=getinten:1:write", "DIMMER_SIM_NO_ERROR_TEXT=1"}, "",
     "[T] WARN: Unable to write()\n[T] WARN: Error: unknown error\n[T] WARN: could not read intensity\n[T] ERROR: could not connect\n",
     1, "open; getinten [write error]; close"},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, QuorletTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<QuorletCase>& info) { return info.param.name; });

// Two units (or none), in `{node}` the first unit's node: the ID of a unit
// whose serial tells it from no other, where no USB port is known.
class QuorletUnitsTest : public testing::TestWithParam<QuorletCase> {};

std::string WithNode(std::string text, const std::string& node) {
  for (size_t at; (at = text.find("{node}")) != std::string::npos;) text.replace(at, 6, node);
  return text;
}

TEST_P(QuorletUnitsTest, OutputStatusAndTraffic) {
  const QuorletCase& c = GetParam();
  StandInDimmer session(c.settings);
  const ProgramResult result = RunQuorlet(session, c.args);
  EXPECT_EQ(result.out, WithNode(c.out, session.NodePath()));
  EXPECT_EQ(MaskTimestamps(result.err), c.err);
  EXPECT_EQ(result.exit_status, c.exit_status);
  EXPECT_EQ(session.TrafficText(), c.traffic);
}

const char* const kTwo = "DIMMER_SIM_SERIALS=B2,A1";
const char* const kLevels = "DIMMER_SIM_INTENSITY=640,0";

const QuorletCase kUnitCases[] = {
    {"ListSortedById", {"--list"}, {kTwo, kLevels},
     "A1\tserial A1\tport -\tlight is off\nB2\tserial B2\tport -\tlight is on, intensity 640\n", "", 0,
     "2: open; 2: getinten; 2: close; 1: open; 1: getinten; 1: close"},
    {"ListEqualSerials", {"--list"}, {"DIMMER_SIM_SERIALS=S,S", kLevels},
     "{node}\tserial S\tport -\tlight is on, intensity 640\n{node}-2\tserial S\tport -\tlight is off\n", "", 0,
     "1: open; 1: getinten; 1: close; 2: open; 2: getinten; 2: close"},
    {"ListNoSerials", {"--list"}, {"DIMMER_SIM_SERIALS=,", kLevels},
     "{node}\tserial -\tport -\tlight is on, intensity 640\n{node}-2\tserial -\tport -\tlight is off\n", "", 0,
     "1: open; 1: getinten; 1: close; 2: open; 2: getinten; 2: close"},
    {"ListUnreadableUnit", {"--list"}, {kTwo, "DIMMER_SIM_FAIL=getinten:1:timeout"},
     "A1\tserial A1\tport -\tlight unknown\nB2\tserial B2\tport -\tlight unknown\n",
     "[T] WARN: could not read intensity\n[T] WARN: could not read intensity\n", 1,
     "2: open; 2: getinten [timeout]; 2: close; 1: open; 1: getinten [timeout]; 1: close"},
    {"ListNone", {"--list"}, {"DIMMER_SIM_ABSENT=1"}, "",
     "[T] WARN: unable to open device\n[T] ERROR: could not connect\n", 1, ""},
    {"ChosenUnitOnly", {"--dimmer", "B2", "300"}, {kTwo, kLevels}, "", "", 0,
     "1: open; 1: getinten; 1: setinten 300; 1: setstate 3; 1: getstate; 1: close"},
    {"ChosenUnitStatus", {"--dimmer", "A1"}, {kTwo, kLevels}, "light is off\n", "", 0,
     "2: open; 2: getinten; 2: close"},
    {"OnlyUnitBySerial", {"--dimmer", "A1", "0"}, {"DIMMER_SIM_SERIALS=A1", kLevels}, "", "", 0,
     "open; getinten; setinten 0; setstate 3; getstate; close"},
    {"UnknownId", {"--dimmer", "Z9", "300"}, {kTwo}, "", "[T] ERROR: no dimmer Z9 attached\n", 1, ""},
    {"NoIdGiven", {"--dimmer"}, {kTwo}, "",
     "[T] ERROR: --dimmer needs the ID of a dimmer (quorlet --list prints them)\n", 1, ""},
    {"FirstOfSeveralWithWarning", {"300"}, {kTwo, kLevels}, "",
     "[T] WARN: 2 dimmers are attached; using A1, the first (choose one with --dimmer ID; quorlet --list prints them)\n",
     0, "2: open; 2: getinten; 2: setinten 300; 2: setstate 3; 2: getstate; 2: close"},
};

INSTANTIATE_TEST_SUITE_P(Units, QuorletUnitsTest, testing::ValuesIn(kUnitCases),
                         [](const testing::TestParamInfo<QuorletCase>& info) { return info.param.name; });

TEST(QuorletRunTest, HelpLeavesTheDeviceAlone) {
  StandInDimmer session({"DIMMER_SIM_ABSENT=1"});
  const ProgramResult result = RunQuorlet(session, {"--help"});
  EXPECT_EQ(result.out.rfind("Usage: quorlet [--dimmer ID] [LEVEL]\n", 0), 0u) << result.out;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(QuorletRunTest, StatusThatCannotBeWrittenFails) {
  if (AlwaysFullFile() == nullptr) GTEST_SKIP() << "no file here refuses writes";
  StandInDimmer session;
  const ProgramResult result = RunQuorlet(session, {}, StdoutToFile(AlwaysFullFile()));
  EXPECT_EQ(MaskTimestamps(result.err), "[T] ERROR: could not write the status\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(session.TrafficText(), kStatus);
}

TEST(QuorletRunTest, ListThatCannotBeWrittenFails) {
  if (AlwaysFullFile() == nullptr) GTEST_SKIP() << "no file here refuses writes";
  StandInDimmer session({kTwo});
  const ProgramResult result = RunQuorlet(session, {"--list"}, StdoutToFile(AlwaysFullFile()));
  EXPECT_EQ(MaskTimestamps(result.err), "[T] ERROR: could not write the list\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(session.TrafficText(), "2: open; 2: getinten; 2: close");
}

TEST(QuorletRunTest, DeviceKeepsItsLevelBetweenRuns) {
  StandInDimmer first;
  StandInDimmer session({"DIMMER_SIM_STATE_FILE=" + first.Path("state")});
  EXPECT_EQ(RunQuorlet(session, {"300"}).exit_status, 0);
  EXPECT_EQ(RunQuorlet(session, {}).out, "light is on, intensity 300\n");
  EXPECT_EQ(RunQuorlet(session, {"0"}).exit_status, 0);
  EXPECT_EQ(RunQuorlet(session, {}).out, "light is off\n");
}

}  // namespace
