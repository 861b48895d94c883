#include "dimmer/dimmer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

bool DimmerLock::Open(const char* path) {
  Close();
  // Read and write, as HIDAPI opens it: whoever may hold the lock may also
  // use the dimmer.
  const int fd = open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  handle = fd;
  return true;
}

bool DimmerLock::TryAcquire() {
  // Without a handle this fails too. A lock already held is taken again.
  held = flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0;
  return held;
}

void DimmerLock::Release() {
  if (!held) return;
  flock(static_cast<int>(handle), LOCK_UN);
  held = false;
}

void DimmerLock::Close() {
  if (handle == kNoHandle) return;
  Release();
  close(static_cast<int>(handle));
  handle = kNoHandle;
}
