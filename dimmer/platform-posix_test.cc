#include "dimmer/platform.h"

#include <signal.h>
#include <sys/time.h>

#include <chrono>

#include <gtest/gtest.h>

namespace {

void Ignore(int) {}

TEST(SleepTest, ASignalDoesNotCutThePauseShort) {
  struct sigaction action = {};
  action.sa_handler = Ignore;  // no SA_RESTART: the signal interrupts the sleep
  struct sigaction old;
  ASSERT_EQ(sigaction(SIGALRM, &action, &old), 0);
  itimerval timer = {{0, 0}, {0, 20000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

  const auto start = std::chrono::steady_clock::now();
  SleepMilliseconds(100);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(100));
}

TEST(DeviceOpenHintTest, NamesTheUdevRuleAndABusyDevice) {
  EXPECT_STREQ(DeviceOpenHint(),
               "this user may lack permission (install the udev rule 70-light-dimmer.rules and "
               "plug the dimmer in again), or another program holds it");
}

}  // namespace
