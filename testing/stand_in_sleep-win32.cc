// Stands in for kernel32's Sleep, which the programs pause with between two
// state polls, as stand_in_sleep-posix.cc does for nanosleep: each pause is
// written to the traffic log as "pause N", and with
// DIMMER_SIM_INSTANT_SLEEP set it is not waited. Windows has no preloading,
// so the program's import of Sleep is pointed here when the simulator loads.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "testing/stand_in_log.h"

namespace {

using SleepFunction = VOID(WINAPI*)(DWORD);
SleepFunction real_sleep = nullptr;

VOID WINAPI SimulatedSleep(DWORD milliseconds) {
  SimulatedLog("pause %lu", static_cast<unsigned long>(milliseconds));
  const char* instant = std::getenv("DIMMER_SIM_INSTANT_SLEEP");
  if (instant != nullptr && *instant != '\0') return;
  real_sleep(milliseconds);
}

// Replaces the address of kernel32's Sleep in `module`'s import table.
void RedirectSleep(HMODULE module) {
  BYTE* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.Size == 0) return;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (_stricmp(reinterpret_cast<const char*>(base + library->Name), "kernel32.dll") != 0) continue;
    if (library->OriginalFirstThunk == 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const auto* import = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(import->Name), "Sleep") != 0) continue;
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
      real_sleep = reinterpret_cast<SleepFunction>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&SimulatedSleep);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
    }
  }
}

// The program's imports are bound before any module's initialisers run.
struct SleepRedirection {
  SleepRedirection() { RedirectSleep(GetModuleHandleA(nullptr)); }
} redirection;

}  // namespace
