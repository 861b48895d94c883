// UsbDimmer and its report routines against the simulated dimmer.
#include "dimmer/usb_dimmer.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dimmer/log.h"
#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

// A dimmer connected to a fresh simulated device, with the log captured.
class DimmerTest : public testing::Test {
 protected:
  void Start(std::vector<std::string> settings) {
    session_.reset(new StandInDimmer(std::move(settings)));
    session_->ApplyToProcess();
    log_ = std::tmpfile();
    dimmer_.SetLog(log_);
  }
  void TearDown() override {
    dimmer_.Disconnect();
    if (log_ != nullptr) std::fclose(log_);
  }
  std::string Log() {
    std::fflush(log_);
    std::rewind(log_);
    std::string text;
    for (int c; (c = std::fgetc(log_)) != EOF;) text += static_cast<char>(c);
    return MaskTimestamps(text);
  }
  std::string Traffic() { return session_->TrafficText(); }

  UsbDimmer dimmer_;
  std::unique_ptr<StandInDimmer> session_;
  std::FILE* log_ = nullptr;
};

TEST_F(DimmerTest, NoDeviceLeavesItUnconnected) {
  Start({"DIMMER_SIM_ABSENT=1"});
  EXPECT_EQ(dimmer_.Connect(), DimmerResult::kAbsent);
  EXPECT_EQ(Log(), "[T] WARN: unable to open device\n");
  EXPECT_FALSE(dimmer_.connected());
  EXPECT_EQ(dimmer_.SetIntensity(5), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.TurnOn(), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.TurnOff(), DimmerResult::kNotConnected);
  EXPECT_FALSE(dimmer_.TryLock());
  EXPECT_EQ(dimmer_.Refresh(), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.BeginSetIntensity(5), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.BeginTurnOn(), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.BeginTurnOff(), DimmerResult::kNotConnected);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kNotConnected);
  EXPECT_EQ(Traffic(), "");
}

struct ConnectCase {
  const char* setting;
  int32_t on;
  int32_t intensity;
};

class ConnectTest : public DimmerTest, public testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectTest, TakesStateFromTheDevice) {
  Start({GetParam().setting});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.state().on, GetParam().on);
  EXPECT_EQ(dimmer_.state().intensity, GetParam().intensity);
  EXPECT_EQ(Traffic(), "open; getinten");
  EXPECT_EQ(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(Intensities, ConnectTest,
                         testing::Values(ConnectCase{"DIMMER_SIM_INTENSITY=0", 0, 900},
                                         ConnectCase{"DIMMER_SIM_INTENSITY=1", 1, 1},
                                         ConnectCase{"DIMMER_SIM_INTENSITY=1500", 1, 1500},
                                         ConnectCase{"DIMMER_SIM_INTENSITY=65535", 1, 65535}));

TEST_F(DimmerTest, ConnectsTheUnitAskedForByItsId) {
  Start({"DIMMER_SIM_SERIALS=B2,A1", "DIMMER_SIM_INTENSITY=640,0"});
  EXPECT_EQ(dimmer_.ConnectId("Z9"), DimmerResult::kAbsent);
  EXPECT_EQ(Log(), "[T] WARN: no dimmer Z9 attached\n");
  ASSERT_EQ(dimmer_.ConnectId("B2"), DimmerResult::kDone);
  EXPECT_STREQ(dimmer_.unit_id(), "B2");
  EXPECT_EQ(dimmer_.state().intensity, 640);
  ASSERT_EQ(dimmer_.ConnectId(""), DimmerResult::kDone);  // the first by ID
  EXPECT_STREQ(dimmer_.unit_id(), "A1");
  EXPECT_EQ(Traffic(), "1: open; 1: getinten; 1: close; 2: open; 2: getinten");
}

// The warnings of each failed exchange are compared end to end; here, what
// a failed read of the intensity leaves behind.
TEST_F(DimmerTest, FailedConnectKeepsTheHandleForDisconnect) {
  Start({"DIMMER_SIM_FAIL=getinten:1:short2"});
  EXPECT_EQ(dimmer_.Connect(), DimmerResult::kUnreadable);
  EXPECT_EQ(Log(), "[T] WARN: could not read intensity\n");
  EXPECT_FALSE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.state().intensity, 0);
  dimmer_.Disconnect();
  dimmer_.Disconnect();
  EXPECT_EQ(session_->TrafficText(), "open; getinten [short 2]; close");
}

// A sequence of calls on a connected dimmer, and what the device must see.
struct StateCase {
  const char* name;
  int start_intensity;
  std::vector<int> steps;  // >= 0: SetIntensity(value); -1: TurnOn; -2: TurnOff
  const char* traffic;     // after "open; getinten"
  int32_t on;
  int32_t intensity;
};

class StateTest : public DimmerTest, public testing::WithParamInterface<StateCase> {};

TEST_P(StateTest, SendsOnlyWhatTheStateNeeds) {
  const StateCase& c = GetParam();
  Start({"DIMMER_SIM_INTENSITY=" + std::to_string(c.start_intensity)});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  for (int step : c.steps) {
    const DimmerResult result = step == -1   ? dimmer_.TurnOn()
                       : step == -2 ? dimmer_.TurnOff()
                                    : dimmer_.SetIntensity(static_cast<uint32_t>(step));
    EXPECT_EQ(result, DimmerResult::kDone);
  }
  EXPECT_EQ(Traffic(), std::string("open; getinten") + c.traffic);
  EXPECT_EQ(dimmer_.state().on, c.on);
  EXPECT_EQ(dimmer_.state().intensity, c.intensity);
  EXPECT_EQ(Log(), "");
}

constexpr const char* kSeq0 = "; setinten 0; setstate 3; getstate";

INSTANTIATE_TEST_SUITE_P(
    Sequences, StateTest,
    testing::Values(
        StateCase{"ClampedValueDiffersFromReported", 1500, {1500}, "; setinten 1023; setstate 3; getstate", 1, 1023},
        StateCase{"LargeValueIsClamped", 700, {5000}, "; setinten 1023; setstate 3; getstate", 1, 1023},
        StateCase{"SameValueSendsNothing", 1023, {2000}, "", 1, 1023},
        StateCase{"ZeroSwitchesOff", 500, {0}, kSeq0, 0, 0},
        StateCase{"TurnOnAfterZeroSendsZero", 500, {0, -1}, "; setinten 0; setstate 3; getstate; setinten 0; setstate 3; getstate", 0, 0},
        StateCase{"OffStoresTheLevel", 0, {1}, "", 0, 1},
        StateCase{"OffStoresThenTurnOnSends", 0, {1023, -1}, "; setinten 1023; setstate 3; getstate", 1, 1023},
        StateCase{"TurnOnFromOffUsesDefault", 0, {-1}, "; setinten 900; setstate 3; getstate", 1, 900},
        StateCase{"TurnOnWhenOnSendsNothing", 300, {-1}, "", 1, 300},
        StateCase{"TurnOffWhenOffSendsNothing", 0, {-2}, "", 0, 900},
        StateCase{"TurnOffKeepsTheLevel", 640, {-2, -1}, "; setinten 0; setstate 3; getstate; setinten 640; setstate 3; getstate", 1, 640}),
    [](const testing::TestParamInfo<StateCase>& info) { return info.param.name; });

// One change of a light that is on at 500 to 300, failing at one exchange:
// the right warnings, no request after the failure, and no state change.
struct ChangeFailureCase {
  const char* name;
  const char* fault;
  const char* log;
  const char* traffic;  // after "open; getinten"
};

class ChangeFailureTest : public DimmerTest,
                          public testing::WithParamInterface<ChangeFailureCase> {};

TEST_P(ChangeFailureTest, StopsAndKeepsTheState) {
  const ChangeFailureCase& c = GetParam();
  Start({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_BUSY=1", std::string("DIMMER_SIM_FAIL=") + c.fault});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.SetIntensity(300), DimmerResult::kIoError);
  EXPECT_EQ(Log(), c.log);
  EXPECT_EQ(Traffic(), std::string("open; getinten") + c.traffic);
  EXPECT_TRUE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.state().intensity, 500);
}

constexpr const char* kWriteWarning = "[T] WARN: hid_write: -1: simulated write error\n";
constexpr const char* kReadWarning = "[T] WARN: hid_read_timeout returned -1\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, ChangeFailureTest,
    testing::Values(
        ChangeFailureCase{"SetintenWrite", "setinten:1:write", kWriteWarning, "; setinten 300 [write error]"},
        ChangeFailureCase{"SetintenRead", "setinten:1:read", "[T] WARN: hid_read_timeout returned -1\n[T] WARN: timeout\n", "; setinten 300 [read error]"},
        ChangeFailureCase{"SetintenTimeout", "setinten:1:timeout", "[T] WARN: timeout\n", "; setinten 300 [timeout]"},
        ChangeFailureCase{"SetstateWrite", "setstate:1:write", kWriteWarning, "; setinten 300; setstate 3 [write error]"},
        ChangeFailureCase{"SetstateRead", "setstate:1:read", kReadWarning, "; setinten 300; setstate 3 [read error]"},
        ChangeFailureCase{"SetstateTimeout", "setstate:1:timeout", "", "; setinten 300; setstate 3 [timeout]"},
        ChangeFailureCase{"GetstateWrite", "getstate:1:write", kWriteWarning, "; setinten 300; setstate 3; getstate [write error]"},
        ChangeFailureCase{"GetstateRead", "getstate:1:read", kReadWarning, "; setinten 300; setstate 3; getstate [read error]"},
        ChangeFailureCase{"GetstateTimeoutMidPoll", "getstate:2:timeout", "", "; setinten 300; setstate 3; getstate; pause 100; getstate [timeout]"}),
    [](const testing::TestParamInfo<ChangeFailureCase>& info) { return info.param.name; });

TEST_F(DimmerTest, OneByteAnswersCountAsBusy) {
  // Short but non-empty answers to setinten and setstate are enough.
  Start({"DIMMER_SIM_FAIL=setinten:1:short1,setstate:1:short1,getstate:1:short1"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.TurnOn(), DimmerResult::kDone);
  EXPECT_EQ(Traffic(),
            "open; getinten; setinten 900 [short 1]; setstate 3 [short 1]; getstate [short 1]; "
            "pause 100; getstate");
  EXPECT_TRUE(dimmer_.state().on);
}

TEST_F(DimmerTest, PausesOnceAfterEachBusyAnswer) {
  Start({"DIMMER_SIM_BUSY=3", "DIMMER_SIM_BUSY_SHORT=1"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.TurnOn(), DimmerResult::kDone);
  EXPECT_EQ(Traffic(),
            "open; getinten; setinten 900; setstate 3; getstate; pause 100; getstate; pause 100; "
            "getstate; pause 100; getstate");
}

TEST_F(DimmerTest, GivesUpOnADeviceThatStaysBusy) {
  Start({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_BUSY=100000", "DIMMER_SIM_INSTANT_SLEEP=1"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.TurnOff(), DimmerResult::kIoError);
  EXPECT_EQ(Log(), "[T] WARN: device stayed busy\n");
  int polls = 0, pauses = 0;
  for (const std::string& line : session_->Traffic()) {
    polls += line == "getstate";
    pauses += line == "pause 100";
  }
  EXPECT_EQ(polls, kMaxStatePolls);
  EXPECT_EQ(pauses, kMaxStatePolls - 1);
  EXPECT_EQ(session_->Traffic().back(), "getstate");
  EXPECT_TRUE(dimmer_.state().on);
}

// The same change in steps, for an event loop: the caller waits between
// polls, and the state records the change only once the device is done.
TEST_F(DimmerTest, ChangeInStepsSendsWhatTheWholeChangeSends) {
  Start({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_BUSY=2"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.BeginSetIntensity(300), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.state().intensity, 500);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.state().intensity, 300);
  EXPECT_EQ(dimmer_.BeginTurnOff(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kDone);
  EXPECT_FALSE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.BeginSetIntensity(700), DimmerResult::kDone);  // stored for the next turn-on
  EXPECT_EQ(dimmer_.BeginTurnOff(), DimmerResult::kDone);
  EXPECT_EQ(Traffic(),
            "open; getinten; setinten 300; setstate 3; getstate; getstate; getstate; "
            "setinten 0; setstate 3; getstate; getstate; getstate");
  EXPECT_EQ(dimmer_.state().intensity, 700);
}

TEST_F(DimmerTest, FailedStepKeepsTheState) {
  Start({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_BUSY=1", "DIMMER_SIM_FAIL=getstate:2:read"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  EXPECT_EQ(dimmer_.BeginTurnOff(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kBusy);
  EXPECT_EQ(dimmer_.PollChange(), DimmerResult::kIoError);
  EXPECT_TRUE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.state().intensity, 500);
}

// A long-lived connection: between operations another program may change
// the light, and leave its answers on this handle.
TEST_F(DimmerTest, LaterOperationsSeeWhatOthersDid) {
  StandInDimmer files;
  const std::string state = files.Path("state");
  Start({"DIMMER_SIM_STATE_FILE=" + state, "DIMMER_SIM_INTENSITY=500"});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  dimmer_.Unlock();
  const auto other_program_sets = [&](const char* level) {
    StandInDimmer other({"DIMMER_SIM_STATE_FILE=" + state});
    ASSERT_EQ(other.Run(QUORLET_PATH, {level}).exit_status, 0);
  };
  other_program_sets("640");
  ASSERT_TRUE(dimmer_.TryLock());
  EXPECT_EQ(dimmer_.Refresh(), DimmerResult::kDone);
  EXPECT_TRUE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.state().intensity, 640);
  dimmer_.Unlock();
  other_program_sets("0");
  ASSERT_TRUE(dimmer_.TryLock());
  EXPECT_EQ(dimmer_.Refresh(), DimmerResult::kDone);
  EXPECT_FALSE(dimmer_.state().on);
  EXPECT_EQ(dimmer_.state().intensity, 640);  // the level the next turn-on uses
  EXPECT_EQ(session_->TrafficText().find("foreign"), std::string::npos);
}

TEST_F(DimmerTest, DisconnectClosesOnce) {
  Start({});
  ASSERT_EQ(dimmer_.Connect(), DimmerResult::kDone);
  dimmer_.Disconnect();
  dimmer_.Disconnect();
  EXPECT_EQ(Traffic(), "open; getinten; close");
  EXPECT_FALSE(dimmer_.connected());
}

}  // namespace
