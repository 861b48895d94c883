// An exclusive lock on a whole file, held while one process reads and
// rewrites it, so that processes sharing the file never see it half
// written.
#ifndef TESTING_STAND_IN_FILE_LOCK_H_
#define TESTING_STAND_IN_FILE_LOCK_H_

#include <cstdio>

void LockWholeFile(std::FILE* file);
void UnlockWholeFile(std::FILE* file);

#endif  // TESTING_STAND_IN_FILE_LOCK_H_
