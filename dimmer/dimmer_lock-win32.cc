#include "dimmer/dimmer_lock.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>

namespace {

HANDLE Mutex(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool DimmerLock::Open(const char* path) {
  Close();
  // One name per device path, in the global namespace so that programs in
  // every session share it; a mutex name may hold no backslash.
  char name[MAX_PATH];
  const int length = std::snprintf(name, sizeof name, "Global\\light-dimmer-%s", path);
  if (length < 0 || length >= static_cast<int>(sizeof name)) return false;
  for (char* c = name + 7; *c != '\0'; ++c) {
    if (*c == '\\') *c = '/';
    if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  }
  // Every account may wait for it and release it, so that a user's program
  // and the server running as a service (another account) share the lock;
  // each asks for only those rights, which the mutex grants whoever made it.
  constexpr DWORD kRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  SECURITY_ATTRIBUTES shared = {sizeof shared, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          "D:(A;;0x00100001;;;WD)", SDDL_REVISION_1, &shared.lpSecurityDescriptor, nullptr)) {
    return false;
  }
  HANDLE mutex = CreateMutexExA(&shared, name, 0, kRights);
  LocalFree(shared.lpSecurityDescriptor);
  // Fails when another account's program made it without sharing it.
  if (mutex == nullptr) return false;
  handle = reinterpret_cast<intptr_t>(mutex);
  return true;
}

bool DimmerLock::TryAcquire() {
  if (handle == kNoHandle) return false;
  if (held) return true;  // a mutex counts its owner's waits; take it once
  // An abandoned mutex is held by us now: its last holder died.
  const DWORD result = WaitForSingleObject(Mutex(handle), 0);
  held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return held;
}

void DimmerLock::Release() {
  if (!held) return;
  ReleaseMutex(Mutex(handle));
  held = false;
}

void DimmerLock::Close() {
  if (handle == kNoHandle) return;
  Release();
  CloseHandle(Mutex(handle));
  handle = kNoHandle;
}
