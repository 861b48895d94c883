// DimmerOwner against the simulated dimmer, run on a real clock as a
// long-running program runs it.
#include "dimmer/dimmer_owner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/stand_in_dimmer.h"

namespace {

class OwnerTest : public testing::Test, public DimmerOwner::Listener {
 protected:
  void Start(std::vector<std::string> settings, bool connect = true) {
    settings.push_back("DIMMER_SIM_STATE_FILE=" + scratch_.Path("state"));
    settings.push_back("DIMMER_SIM_UNPLUG_FILE=" + scratch_.Path("unplugged"));
    session_.reset(new StandInDimmer(settings));
    session_->ApplyToProcess();
    owner_.set_refresh_period(20);
    if (connect) {
      ASSERT_EQ(owner_.Connect(0), DimmerResult::kDone);
    }
  }
  void TearDown() override { owner_.Disconnect(); }

  void DimmerChanged() override { ++changes_; }
  void DimmerMessage(DimmerOwner::Level level, const char* text) override {
    static const char* const kWords[] = {"info", "warning", "error"};
    messages_ += std::string(kWords[static_cast<int>(level)]) + ": " + text + "\n";
  }

  // Runs the owner as its program would, for `milliseconds`.
  void RunFor(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      const unsigned delay = owner_.Run();
      std::this_thread::sleep_for(std::chrono::milliseconds(delay < 5 ? delay : 5));
    }
  }
  // Runs it until no request is queued or under way.
  void RunUntilIdle() {
    for (int i = 0; i < 1000 && (owner_.Busy() || i == 0); ++i) RunFor(1);
  }
  // The requests the device received, without the refreshes' getinten
  // and the test's own pauses.
  std::string Changes() {
    std::string joined;
    for (const std::string& line : session_->Traffic()) {
      if (line != "getinten" && line.rfind("pause", 0) != 0) {
        joined += (joined.empty() ? "" : "; ") + line;
      }
    }
    return joined;
  }
  void SetUnplugged(bool unplugged) {
    if (unplugged) {
      std::fclose(std::fopen(scratch_.Path("unplugged").c_str(), "w"));
    } else {
      std::filesystem::remove(scratch_.Path("unplugged"));
    }
  }

  StandInDimmer scratch_;
  std::unique_ptr<StandInDimmer> session_;
  DimmerOwner owner_{*this};
  int changes_ = 0;
  std::string messages_;
};

TEST_F(OwnerTest, SaysWhyItCouldNotConnect) {
  Start({"DIMMER_SIM_ABSENT=1"}, false);
  EXPECT_EQ(owner_.Connect(0), DimmerResult::kAbsent);
  EXPECT_EQ(owner_.Request(DimmerTarget::kSwitch, 1), DimmerResult::kNotConnected);
  EXPECT_EQ(Changes(), "");
}

TEST_F(OwnerTest, CarriesOutTheLatestRequestsLevelFirst) {
  Start({"DIMMER_SIM_BUSY=2"});
  EXPECT_EQ(owner_.Request(DimmerTarget::kSwitch, 1), DimmerResult::kDone);
  EXPECT_EQ(owner_.Request(DimmerTarget::kIntensity, 200), DimmerResult::kDone);
  EXPECT_EQ(owner_.Request(DimmerTarget::kIntensity, 300), DimmerResult::kDone);
  EXPECT_EQ(owner_.Asked(DimmerTarget::kIntensity), 300);
  EXPECT_EQ(owner_.Run(), kStatePollMs);  // the change is under way
  EXPECT_TRUE(owner_.Busy(DimmerTarget::kSwitch));
  RunUntilIdle();
  EXPECT_TRUE(owner_.on());
  EXPECT_EQ(owner_.intensity(), 300);
  EXPECT_EQ(Changes(), "open; setinten 300; setstate 3; getstate; getstate; getstate");
  EXPECT_EQ(messages_,
            "info: The light is off; it will come on at 900.\n"
            "info: Level 300 kept for when the light comes on\n"
            "info: Light on at 300\n");
}

// A client's "on at 300" while the light is on: the level changes the
// light, the switch finds it on, and the log says so once.
TEST_F(OwnerTest, TellsALevelAndASwitchAskedTogetherOnce) {
  Start({"DIMMER_SIM_INTENSITY=500"});
  owner_.Request(DimmerTarget::kIntensity, 300);
  owner_.Request(DimmerTarget::kSwitch, 1);
  RunUntilIdle();
  owner_.Request(DimmerTarget::kSwitch, 1);  // asked alone, it is told
  RunUntilIdle();
  EXPECT_EQ(messages_,
            "info: The light is on at 500.\n"
            "info: Light on at 300\n"
            "info: Light on at 300\n");
}

struct DoneCase {
  const char* intensity;  // at the start
  std::vector<std::pair<DimmerTarget, int32_t>> requests;
  const char* told;  // last
};

class OwnerDoneTest : public OwnerTest, public testing::WithParamInterface<DoneCase> {};

TEST_P(OwnerDoneTest, TellsWhatTheLightNowIs) {
  Start({std::string("DIMMER_SIM_INTENSITY=") + GetParam().intensity});
  for (const auto& request : GetParam().requests) {
    owner_.Request(request.first, request.second);
    RunUntilIdle();
  }
  EXPECT_EQ(messages_.substr(messages_.rfind('\n', messages_.size() - 2) + 1), GetParam().told);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, OwnerDoneTest,
    testing::Values(
        DoneCase{"500", {{DimmerTarget::kSwitch, 0}}, "info: Light off; it will come on at 500\n"},
        DoneCase{"500", {{DimmerTarget::kIntensity, 0}}, "info: Light off at level 0\n"},
        DoneCase{"0",
                 {{DimmerTarget::kIntensity, 0}, {DimmerTarget::kSwitch, 1}},
                 "warning: The light stays off at level 0: set a level above 0 first.\n"}));

TEST_F(OwnerTest, FailedChangeIsReportedAndTheNextOneWorks) {
  Start({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_FAIL=setstate:1:timeout"});
  owner_.Request(DimmerTarget::kSwitch, 0);
  RunUntilIdle();
  EXPECT_TRUE(owner_.Failed(DimmerTarget::kSwitch));
  EXPECT_STREQ(owner_.failure(), "The dimmer did not switch the light off; it stays on.");
  EXPECT_TRUE(owner_.on());
  owner_.Request(DimmerTarget::kSwitch, 0);
  EXPECT_FALSE(owner_.Failed(DimmerTarget::kSwitch));
  RunUntilIdle();
  EXPECT_FALSE(owner_.on());
  EXPECT_EQ(owner_.intensity(), 500);
}

TEST_F(OwnerTest, GivesUpWhenAnotherProgramKeepsTheDimmer) {
  Start({});
  // Held on a thread of its own: a Windows mutex lets its owner in again.
  DimmerLock other;
  ASSERT_TRUE(other.Open(session_->NodePath().c_str()));
  std::promise<void> held, done;
  std::thread holder([&] {
    other.TryAcquire();
    held.set_value();
    done.get_future().wait();
    other.Release();
  });
  held.get_future().wait();
  owner_.set_lock_wait(50);
  owner_.Request(DimmerTarget::kIntensity, 300);
  owner_.Request(DimmerTarget::kSwitch, 1);
  EXPECT_EQ(owner_.Run(), DimmerLock::kLockPollMs);
  RunUntilIdle();
  done.set_value();
  holder.join();
  EXPECT_TRUE(owner_.Failed(DimmerTarget::kIntensity));
  EXPECT_TRUE(owner_.Failed(DimmerTarget::kSwitch));
  EXPECT_STREQ(owner_.failure(), "The dimmer stayed in use by another program.");
  EXPECT_EQ(Changes(), "open");
  RunFor(50);  // and the refresh goes on once it is free
  const std::vector<std::string> traffic = session_->Traffic();
  EXPECT_GT(std::count(traffic.begin(), traffic.end(), "getinten"), 1);
}

TEST_F(OwnerTest, LossAndReturnAreToldOnceAndTheLastStateIsKept) {
  Start({"DIMMER_SIM_INTENSITY=640"});
  SetUnplugged(true);
  RunFor(150);  // several refresh periods
  EXPECT_FALSE(owner_.present());
  EXPECT_TRUE(owner_.on());
  EXPECT_EQ(owner_.intensity(), 640);
  EXPECT_EQ(owner_.Request(DimmerTarget::kSwitch, 0), DimmerResult::kIoError);
  SetUnplugged(false);
  ASSERT_EQ(session_->Run(QUORLET_PATH, {"0"}).exit_status, 0);  // changed meanwhile
  RunFor(100);
  EXPECT_TRUE(owner_.present());
  EXPECT_FALSE(owner_.on());
  EXPECT_EQ(owner_.intensity(), 640);  // still the level it comes on at
  EXPECT_EQ(messages_,
            "info: The light is on at 640.\n"
            "error: The dimmer stopped answering (unplugged?); looking for it every 20 ms.\n"
            "info: The dimmer answers again: the light is off; it will come on at 640.\n");
  SetUnplugged(true);
  RunFor(50);
  messages_.clear();
  owner_.Disconnect();
  EXPECT_EQ(messages_, "info: Disconnected; no longer looking for the dimmer.\n");
}

}  // namespace
