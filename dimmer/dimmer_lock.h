// Exclusive use of one dimmer among the programs that share it. The device
// hands every answer to every open handle, and applies whatever intensity
// was set last, so two programs exchanging with it at once read each
// other's answers and mix each other's changes: every sequence of exchanges
// that belongs together runs while holding this lock.
//
// Linux: an advisory lock (flock) on the dimmer's device node, which only a
// user who may open the dimmer can open. Windows: a named mutex derived
// from the device path. Both are released when their holder dies.
#ifndef DIMMER_DIMMER_LOCK_H_
#define DIMMER_DIMMER_LOCK_H_

#include <cstdint>

class DimmerLock {
 public:
  DimmerLock() = default;
  ~DimmerLock() { Close(); }
  DimmerLock(const DimmerLock&) = delete;
  DimmerLock& operator=(const DimmerLock&) = delete;

  // Prepares the lock of the dimmer at `path` (as HIDAPI lists it); false
  // when this user may not take it.
  bool Open(const char* path);
  // Takes the lock if no one holds it; true when it is now held.
  bool TryAcquire();
  // Waits up to `wait_ms` for the lock, trying every kLockPollMs; false when
  // it stayed taken.
  bool Acquire(unsigned wait_ms);
  void Release();
  // Releases the lock and lets go of it; a second call does nothing.
  void Close();

  static constexpr unsigned kLockPollMs = 10;

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle = kNoHandle;  // a descriptor (POSIX) or a mutex (Windows)
  bool held = false;
};

#endif  // DIMMER_DIMMER_LOCK_H_
