#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "alpaca/server_platform.h"
#include "alpaca/windows_service.h"

namespace {

// The service's one run: what the service control manager's threads need.
struct Service {
  int (*serve)(void*);
  void* context;
  int status = 0;
  SERVICE_STATUS_HANDLE handle = nullptr;
  std::mutex reporting;  // the service's thread and the control handler's
  SERVICE_STATUS state = {};
};
Service* service = nullptr;  // the process's one service, from RunAsService

void Report(DWORD current, DWORD wait_hint_ms = 0) {
  const std::lock_guard<std::mutex> lock(service->reporting);
  service->state.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  service->state.dwCurrentState = current;
  service->state.dwControlsAccepted =
      current == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                       SERVICE_ACCEPT_PRESHUTDOWN
                                 : 0;
  service->state.dwWaitHint = wait_hint_ms;
  if (current == SERVICE_STOPPED && service->status != 0) {
    // A failure, so that the service's recovery actions restart it.
    service->state.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    service->state.dwServiceSpecificExitCode = static_cast<DWORD>(service->status);
  }
  SetServiceStatus(service->handle, &service->state);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PRESHUTDOWN:
      Report(SERVICE_STOP_PENDING, 2000);
      RequestStop();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// Standard error, where the server logs, becomes a pipe; this thread moves
// its lines to the log file, starting a new file (the old one kept as
// .1) before the file would pass kMaxLogBytes.
void KeepLog(HANDLE pipe, std::string path) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    if (file != nullptr && std::ftell(file) + static_cast<long>(count) > kMaxLogBytes) {
      std::fclose(file);
      const std::string old = path + ".1";
      MoveFileExA(path.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING);
      file = std::fopen(path.c_str(), "ab");
    }
    if (file != nullptr) {
      std::fwrite(buffer, 1, count, file);
      std::fflush(file);
    }
  }
  if (file != nullptr) std::fclose(file);
  CloseHandle(pipe);
}

// The log's stream and the thread that writes it to the file.
struct ServiceLogWriter {
  std::FILE* stream = nullptr;
  std::thread writer;
};
ServiceLogWriter service_log;

}  // namespace

std::FILE* ServiceLog() {
  static std::FILE* stream = [] {
    std::FILE* opened = nullptr;
    const std::string folder = ServiceStateFolder();
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (folder.empty() || !CreatePipe(&read_end, &write_end, nullptr, 0)) return opened;
    CreateDirectoryA(folder.c_str(), nullptr);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_WRONLY | _O_BINARY);
    opened = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (opened == nullptr) {
      CloseHandle(read_end);
      return opened;
    }
    std::setvbuf(opened, nullptr, _IONBF, 0);
    service_log.stream = opened;
    service_log.writer = std::thread(KeepLog, read_end, folder + "\\alpaca_light_dimmer.log");
    return opened;
  }();
  return stream;
}

namespace {

// Closes the log's pipe and waits until the writer has put every line in
// the file, before the service says it has stopped and the process ends.
void CloseServiceLog() {
  if (service_log.stream == nullptr) return;
  std::fclose(service_log.stream);
  service_log.stream = nullptr;
  service_log.writer.join();
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  service->handle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
  if (service->handle == nullptr) return;
  Report(SERVICE_START_PENDING, 5000);
  service->status = service->serve(service->context);
  CloseServiceLog();
  Report(SERVICE_STOPPED);
}

}  // namespace

int RunAsService(int (*serve)(void*), void* context, std::string* problem) {
  Service run;
  run.serve = serve;
  run.context = context;
  service = &run;
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain},
                                  {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    *problem = GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                   ? "--service is for the service control manager: install the server as a "
                     "service, or run it without --service"
                   : "the service control manager did not take the service";
    service = nullptr;
    return -1;
  }
  service = nullptr;
  return run.status;
}

void ServiceRunning() {
  if (service != nullptr) Report(SERVICE_RUNNING);
}

std::string ServiceStateFolder() {
  // Asked of the shell, as a service's environment need not name it.
  char data[MAX_PATH] = "";
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data) != S_OK) {
    return "";
  }
  return std::string(data) + "\\light-dimmer";
}
