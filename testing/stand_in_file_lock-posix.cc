#include "testing/stand_in_file_lock.h"

#include <sys/file.h>

#include <cerrno>

void LockWholeFile(std::FILE* file) {
  while (flock(fileno(file), LOCK_EX) != 0 && errno == EINTR) {
  }
}

void UnlockWholeFile(std::FILE* file) { flock(fileno(file), LOCK_UN); }
