#include "dimmer/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

int64_t CurrentUnixMicros() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int64_t MonotonicMillis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool ToLocalCalendar(int64_t unix_seconds, std::tm* out) {
  const time_t seconds = static_cast<time_t>(unix_seconds);
  return localtime_r(&seconds, out) != nullptr;
}

bool UserMayOpen(const char* path) {
  // A device cgroup (a service's DeviceAllow) refuses at open(), not here:
  // so this tells the node's permissions from a sandbox.
  return access(path, R_OK | W_OK) == 0 || errno != EACCES;
}

const char* DeviceOpenHint(bool user_may_open) {
  if (!user_may_open) {
    return "this user lacks permission (install the udev rule 70-light-dimmer.rules and "
           "plug the dimmer in again, or join the plugdev group)";
  }
  return "this program is denied the device although the user may open it (a service's "
         "device rules: restart the service), or the dimmer went away meanwhile";
}

void ProtectStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    // Only a closed descriptor fails here. open() takes the lowest free
    // number, which is this one: the ones below it are open by now.
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", O_RDWR);
  }
  signal(SIGPIPE, SIG_IGN);
}

void SleepMilliseconds(unsigned milliseconds) {
  timespec left = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal may cut the pause short; finish what is left of it.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
