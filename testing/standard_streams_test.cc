// The programs as built, started with a standard stream closed or broken:
// nothing meant for the streams reaches the device, and a write that fails
// fails the run, which still ends normally and closes the device.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

struct StreamCase {
  const char* name;
  const char* program;
  std::vector<std::string> args;
  std::vector<std::string> settings;
  Stream out;
  Stream err;
  const char* err_text;  // when captured; timestamps shown as "[T] "
  int exit_status;
  const char* traffic;
};

class StreamTest : public testing::TestWithParam<StreamCase> {};

TEST_P(StreamTest, RunEndsNormally) {
  const StreamCase& c = GetParam();
  const bool closes = c.out == Stream::kClosed || c.err == Stream::kClosed;
  if (closes && !ClosedStreamNumbersAreReused()) {
    GTEST_SKIP() << "here a closed stream has no number that the device could take";
  }
  if (c.err == Stream::kClosed && std::getenv("DIMMER_TEST_RUNNER") != nullptr) {
    GTEST_SKIP() << "the program's runner (valgrind) cannot start without standard error";
  }
  StandInDimmer session(c.settings);
  const ProgramResult result = session.Run(c.program, c.args, WithStreams(c.out, c.err));
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, c.exit_status);
  if (c.err == Stream::kCaptured) {
    EXPECT_EQ(MaskTimestamps(result.err), c.err_text);
  }
  EXPECT_EQ(session.TrafficText(), c.traffic);
  // The device node received nothing, the programs' text least of all.
  std::ifstream node(session.NodePath(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(node), {}), "");
}

constexpr Stream kCaptured = Stream::kCaptured;
constexpr Stream kClosed = Stream::kClosed;
constexpr Stream kBroken = Stream::kBrokenPipe;
constexpr const char* kStatus = "open; getinten; close";
const std::vector<std::string> kReadFails = {"DIMMER_SIM_FAIL=setinten:1:read"};
constexpr const char* kFailedChange = "open; getinten; setinten 300 [read error]; close";

const StreamCase kCases[] = {
    {"QuorletStatusToClosedOutput", QUORLET_PATH, {}, {}, kClosed, kCaptured, "", 0, kStatus},
    {"QuorletWarningToClosedError", QUORLET_PATH, {"300"}, kReadFails, kCaptured, kClosed, "", 1,
     kFailedChange},
    {"OrvaneFailureToClosedError", ORVANE_PATH, {"3", "D", "S"},
     {"DIMMER_SIM_FAIL=getinten:1:timeout"}, kCaptured, kClosed, "", 1,
     "open; getinten [timeout]; close"},
    {"QuorletStatusToBrokenPipe", QUORLET_PATH, {}, {}, kBroken, kCaptured,
     "[T] ERROR: could not write the status\n", 1, kStatus},
    {"QuorletWarningToBrokenPipe", QUORLET_PATH, {"300"}, kReadFails, kCaptured, kBroken, "", 1,
     kFailedChange},
    {"OrvaneVersionToBrokenPipe", ORVANE_PATH, {"3", "V"}, {}, kBroken, kCaptured, "", 1, ""},
};

INSTANTIATE_TEST_SUITE_P(Streams, StreamTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

}  // namespace
