// Several programs on one dimmer: the programs as built take turns, wait a
// bounded time for one another, and read only their own answers.
#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dimmer/dimmer_lock.h"
#include "dimmer/usb_dimmer.h"
#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

struct WaitCase {
  const char* name;
  const char* program;
  std::vector<std::string> args;
  bool same_dimmer;  // whether the lock held is this unit's or the other's
  const char* out;
  const char* err;
  int exit_status;
};

class WaitTest : public testing::TestWithParam<WaitCase> {};

TEST_P(WaitTest, WaitsForThisDimmerOnly) {
  const WaitCase& c = GetParam();
  // Two units; the programs are told to use A, the first.
  StandInDimmer session(
      {"DIMMER_SIM_INSTANT_SLEEP=1", "DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_SERIALS=A,B"});
  DimmerLock held;
  const std::string node = session.NodePath() + (c.same_dimmer ? "" : "-2");
  std::fclose(std::fopen(node.c_str(), "a"));
  ASSERT_TRUE(held.Open(node.c_str()));
  ASSERT_TRUE(held.TryAcquire());

  const ProgramResult result = session.Run(c.program, c.args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(MaskTimestamps(result.err), c.err);
  EXPECT_EQ(result.exit_status, c.exit_status);
  const std::vector<std::string> traffic = session.Traffic();
  if (c.same_dimmer) {
    // Nothing but the pauses between tries, a full wait's worth of them.
    unsigned waited = 0;
    for (const std::string& line : traffic) {
      ASSERT_EQ(line.rfind("pause ", 0), 0u) << line;
      waited += std::stoul(line.substr(6));
    }
    EXPECT_EQ(waited, kLockWaitMs);
  } else {
    EXPECT_EQ(session.TrafficText(), "1: open; 1: getinten; 1: close");
  }
}

const WaitCase kWaitCases[] = {
    {"QuorletGivesUp", QUORLET_PATH, {"--dimmer", "A"}, true, "",
     "[T] WARN: the dimmer is in use by another program\n[T] ERROR: could not connect\n", 1},
    {"OrvaneGivesUp", ORVANE_PATH, {"--dimmer", "A", "3", "D", "S"}, true, "",
     "could not connect to usb dimmer!\n", 1},
    {"AnotherUnitIsNoObstacle", QUORLET_PATH, {"--dimmer", "A"}, false,
     "light is on, intensity 500\n", "", 0},
};

INSTANTIATE_TEST_SUITE_P(Locks, WaitTest, testing::ValuesIn(kWaitCases),
                         [](const testing::TestParamInfo<WaitCase>& info) { return info.param.name; });

TEST(SharedDimmerTest, AnswersLeftByOthersAreNotTakenForOwn) {
  // As many as the kernel keeps for a handle.
  StandInDimmer session({"DIMMER_SIM_INTENSITY=640", "DIMMER_SIM_STALE_ANSWERS=64"});
  const ProgramResult result = session.Run(QUORLET_PATH, {});
  EXPECT_EQ(result.out, "light is on, intensity 640\n");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(SharedDimmerTest, ProgramsStartedTogetherTakeTurns) {
  StandInDimmer state;
  StandInDimmer session({"DIMMER_SIM_STATE_FILE=" + state.Path("state")});
  constexpr int kWorkers = 4;
  std::vector<std::vector<ProgramResult>> results(kWorkers);
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&session, &results, w] {
      const std::string level = std::to_string(100 + w);
      const std::string brightness = "B" + std::to_string(60 + w);
      for (int round = 0; round < 2; ++round) {
        results[w].push_back(session.Run(QUORLET_PATH, {level}));
        results[w].push_back(session.Run(QUORLET_PATH, {}));
        results[w].push_back(session.Run(ORVANE_PATH, {"3", "L", brightness, "S"}));
        results[w].push_back(session.Run(ORVANE_PATH, {"3", "D", "S"}));
      }
    });
  }
  for (std::thread& worker : workers) worker.join();

  // Levels 100-103, and brightness 60-63 on the curve.
  const std::set<std::string> statuses = {
      "light is off\n", "light is on, intensity 100\n", "light is on, intensity 101\n",
      "light is on, intensity 102\n", "light is on, intensity 103\n", "light is on, intensity 62\n",
      "light is on, intensity 63\n", "light is on, intensity 64\n", "light is on, intensity 65\n"};
  for (const std::vector<ProgramResult>& runs : results) {
    for (const ProgramResult& run : runs) {
      EXPECT_EQ(run.exit_status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_TRUE(run.out.empty() || statuses.count(run.out) == 1) << run.out;
    }
  }
  // One program at a time: each one's exchanges lie between its own open
  // and close.
  bool open = false;
  int opens = 0;
  for (const std::string& line : session.Traffic()) {
    ASSERT_NE(line, "foreign answer");
    if (line.rfind("pause ", 0) == 0) continue;  // a program waiting its turn
    if (line == "open") ++opens;
    ASSERT_NE(line == "open", open) << "exchanges of two programs interleave";
    if (line == "open" || line == "close") open = !open;
  }
  EXPECT_EQ(opens, kWorkers * 8);
}

}  // namespace
