// orvane as built, run against the simulated dimmer.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvane.exe OPTIONS\n"
    "\n"
    "orvane.exe <COM port number> L Bnnn S      - turns the panel on to brightness nnn 1-255\n"
    "orvane.exe <COM port number> D S           - turns the panel off\n"
    "orvane.exe <COM port number> V             - version: x.x.x\n"
    "orvane.exe <COM port number> O S           - opens the Covanel\n"
    "orvane.exe <COM port number> C S           - closes the Covanel\n";

ProgramResult RunOrvane(const StandInDimmer& session, std::vector<std::string> args,
                        ProgramOptions options = {}) {
  return session.Run(ORVANE_PATH, std::move(args), std::move(options));
}

struct OrvaneCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> settings;
  const char* out;
  const char* err;
  int exit_status;
  const char* traffic;
};

class OrvaneTest : public testing::TestWithParam<OrvaneCase> {};

TEST_P(OrvaneTest, OutputStatusAndTraffic) {
  const OrvaneCase& c = GetParam();
  StandInDimmer session(c.settings);
  const ProgramResult result = RunOrvane(session, c.args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.exit_status, c.exit_status);
  EXPECT_EQ(session.TrafficText(), c.traffic);
}

constexpr const char* kOn176 = "open; getinten; setinten 176; setstate 3; getstate; close";
constexpr const char* kOff = "open; getinten; setinten 0; setstate 3; getstate; close";
constexpr const char* kLookOnly = "open; getinten; close";
const std::vector<std::string> kOnAt176 = {"DIMMER_SIM_INTENSITY=176"};
const std::vector<std::string> kOnAt500 = {"DIMMER_SIM_INTENSITY=500"};
const std::vector<std::string> kAbsent = {"DIMMER_SIM_ABSENT=1"};
const std::vector<std::string> kTwoUnits = {"DIMMER_SIM_SERIALS=B2,A1", "DIMMER_SIM_INTENSITY=500"};
// Connection and change failures are in the fault matrix.

const OrvaneCase kCases[] = {
    // The light commands: light off or on at connection, L or D.
    {"LFromOff", {"3", "L", "B128", "S"}, {}, "", "", 0, kOn176},
    {"LFromOnAtSameLevel", {"3", "L", "B128", "S"}, kOnAt176, "", "", 0, kLookOnly},
    {"LFromOnAtOtherLevel", {"3", "L", "B128", "S"}, kOnAt500, "", "", 0, kOn176},
    {"DFromOff", {"3", "D", "S"}, {}, "", "", 0, kLookOnly},
    {"DFromOn", {"3", "D", "S"}, kOnAt500, "", "", 0, kOff},
    {"LowerCaseWithoutS", {"3", "l", "b128"}, {}, "", "", 0, kOn176},
    {"OnlyFirstLetterCounts", {"3", "Dark"}, kOnAt500, "", "", 0, kOff},
    {"TrailingTextAfterNumber", {"3", "L", "B12x", "S"}, {}, "", "", 0,
     "open; getinten; setinten 12; setstate 3; getstate; close"},
    {"PlusSign", {"3", "L", "b+12"}, {}, "", "", 0,
     "open; getinten; setinten 12; setstate 3; getstate; close"},
    {"FullBrightness", {"COM7", "L", "B255", "S", "extra"}, {}, "", "", 0,
     "open; getinten; setinten 1023; setstate 3; getstate; close"},
    // Commands that leave the device alone.
    {"Version", {"3", "V"}, kAbsent, "version: 3.14.16\n", "", 0, ""},
    {"Open", {"COM7", "O", "S"}, {}, "", "", 0, ""},
    {"Close", {"3", "c"}, {}, "", "", 0, ""},
    // Bad command lines.
    {"NoArguments", {}, {}, "", kUsage, 1, ""},
    {"PortMissing", {"V"}, {}, "", kUsage, 1, ""},
    {"UnknownLetter", {"3", "X", "S"}, {}, "", kUsage, 1, ""},
    {"EmptyCommand", {"3", ""}, {}, "", kUsage, 1, ""},
    {"HighBitLetter", {"3", "\xc3\xa9"}, {}, "", kUsage, 1, ""},
    {"BrightnessMissing", {"3", "L"}, {}, "", kUsage, 1, ""},
    {"BrightnessZero", {"3", "L", "B0", "S"}, {}, "", kUsage, 1, ""},
    {"BrightnessAboveRange", {"3", "L", "B256", "S"}, {}, "", kUsage, 1, ""},
    {"BrightnessWithoutB", {"3", "L", "128", "S"}, {}, "", kUsage, 1, ""},
    {"BrightnessWithoutNumber", {"3", "L", "B"}, {}, "", kUsage, 1, ""},
    {"BrightnessNotANumber", {"3", "L", "Bx"}, {}, "", kUsage, 1, ""},
    {"BrightnessNegative", {"3", "L", "B-1"}, {}, "", kUsage, 1, ""},
    {"BrightnessAbove32Bits", {"3", "L", "B4294967424"}, {}, "", kUsage, 1, ""},
    // Two units: the one chosen, or silently the first by ID.
    {"ChosenUnit", {"--dimmer", "B2", "3", "L", "B128", "S"}, kTwoUnits, "", "", 0,
     "1: open; 1: getinten; 1: setinten 176; 1: setstate 3; 1: getstate; 1: close"},
    {"FirstUnitByDefault", {"3", "D", "S"}, kTwoUnits, "", "", 0,
     "2: open; 2: getinten; 2: setinten 0; 2: setstate 3; 2: getstate; 2: close"},
    {"UnknownUnit", {"--dimmer", "Z9", "3", "D", "S"}, kTwoUnits, "", "no usb dimmer Z9 attached!\n",
     1, ""},
    {"ChosenUnitVersion", {"--dimmer", "Z9", "3", "V"}, kTwoUnits, "version: 3.14.16\n", "", 0, ""},
    {"ChosenUnitWithoutCommand", {"--dimmer", "B2", "3"}, kTwoUnits, "", kUsage, 1, ""},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, OrvaneTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<OrvaneCase>& info) { return info.param.name; });

TEST(OrvaneRunTest, VersionThatCannotBeWrittenFails) {
  if (AlwaysFullFile() == nullptr) GTEST_SKIP() << "no file here refuses writes";
  StandInDimmer session;
  const ProgramResult result = RunOrvane(session, {"3", "V"}, StdoutToFile(AlwaysFullFile()));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 1);
}

TEST(OrvaneRunTest, PanelLevelIsSeenByTheControlTool) {
  StandInDimmer first;
  StandInDimmer session({"DIMMER_SIM_STATE_FILE=" + first.Path("state")});
  EXPECT_EQ(RunOrvane(session, {"3", "L", "B128", "S"}).exit_status, 0);
  EXPECT_EQ(RunOrvane(session, {"3", "D", "S"}).exit_status, 0);
  // Switching off keeps the level in the dimmer, so L restores it at once.
  EXPECT_EQ(RunOrvane(session, {"3", "L", "B200", "S"}).exit_status, 0);
  EXPECT_EQ(session.Traffic()[session.Traffic().size() - 4], "setinten 490");
}

}  // namespace
