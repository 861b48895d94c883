#include "dimmer/dimmer_lock.h"

#include "dimmer/platform.h"

bool DimmerLock::Acquire(unsigned wait_ms) {
  // Counted tries bound the wait even where a pause returns at once; the
  // clock bounds it where pauses run long.
  const int64_t start = MonotonicMillis();
  for (unsigned tries = wait_ms / kLockPollMs;; --tries) {
    if (TryAcquire()) return true;
    if (tries == 0 || MonotonicMillis() - start >= wait_ms) return false;
    SleepMilliseconds(kLockPollMs);
  }
}
