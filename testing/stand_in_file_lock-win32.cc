#include "testing/stand_in_file_lock.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE Handle(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

}  // namespace

void LockWholeFile(std::FILE* file) {
  OVERLAPPED from_start = {};
  LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from_start);
}

void UnlockWholeFile(std::FILE* file) {
  OVERLAPPED from_start = {};
  UnlockFileEx(Handle(file), 0, MAXDWORD, MAXDWORD, &from_start);
}
