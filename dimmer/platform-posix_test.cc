#include "dimmer/platform.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

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

// Root may open any node, so a lacking permission is shown through a user
// with none where the test runs as root (the kernel test covers it too).
TEST(DeviceOpenHintTest, TellsAMissingPermissionFromADenial) {
  char path[] = "/tmp/device-node-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_TRUE(UserMayOpen(path));
  EXPECT_TRUE(UserMayOpen("/nonexistent/node"));  // gone: not a permission problem
  ASSERT_EQ(chmod(path, 0), 0);
  EXPECT_EQ(UserMayOpen(path), geteuid() == 0);
  unlink(path);
  EXPECT_NE(std::string(DeviceOpenHint(false)).find("udev rule 70-light-dimmer.rules"),
            std::string::npos);
  EXPECT_NE(std::string(DeviceOpenHint(true)).find("restart the service"), std::string::npos);
}

}  // namespace
