#include "alpaca/windows_service.h"

int RunAsService(int (*)(void*), void*, std::string* problem) {
  *problem = "--service is for Windows; run the server under systemd here";
  return -1;
}

void ServiceRunning() {}

std::FILE* ServiceLog() { return nullptr; }

std::string ServiceStateFolder() { return ""; }
