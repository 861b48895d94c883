#include "testing/program_run.h"

#include <windows.h>

#include <stdlib.h>

#include <cstdio>
#include <thread>

namespace {

// One argument as the C runtime's command-line parser reads it back.
std::string Quote(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

void ReadAll(HANDLE pipe, std::string* sink) {
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    sink->append(buffer, count);
  }
  CloseHandle(pipe);
}

std::string WithoutCarriageReturns(const std::string& text) {
  std::string stripped;
  for (char c : text) {
    if (c != '\r') stripped += c;
  }
  return stripped;
}

// The child's end of `stream` in `write_end` (null for a closed one), and
// the end to read a captured stream from in `read_end`.
void SetUpStream(Stream stream, HANDLE* read_end, HANDLE* write_end) {
  if (stream == Stream::kClosed) return;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  CreatePipe(read_end, write_end, &inherit, 0);
  SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
  if (stream == Stream::kBrokenPipe) {
    CloseHandle(*read_end);
    *read_end = nullptr;
  }
}

}  // namespace

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = _environ; *entry != nullptr; ++entry) entries.push_back(*entry);
  return entries;
}

void SetEnvVariable(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnvVariable(const std::string& name) { _putenv_s(name.c_str(), ""); }

const char* AlwaysFullFile() { return nullptr; }

bool ClosedStreamNumbersAreReused() { return false; }

std::string MakeScratchFolder() {
  char temp[MAX_PATH + 1];
  GetTempPathA(sizeof temp, temp);
  for (unsigned attempt = GetTickCount() ^ GetCurrentProcessId();; ++attempt) {
    char folder[MAX_PATH + 32];
    std::snprintf(folder, sizeof folder, "%sdimmer-test-%08x", temp, attempt);
    if (CreateDirectoryA(folder, nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return temp;
  }
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
  ProgramResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  if (options.stdout_path.empty()) {
    SetUpStream(options.stdout_stream, &out_read, &out_write);
  } else {
    out_write = CreateFileA(options.stdout_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  SetUpStream(options.stderr_stream, &err_read, &err_write);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

  std::string command_line;
  for (const std::string& argument : argv) command_line += Quote(argument) + " ";
  std::string block;
  for (const std::string& entry : MergedEnvironment(options.environment)) {
    block += entry;
    block += '\0';
  }
  block += '\0';

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(argv[0].c_str(), &command_line[0], nullptr, nullptr, TRUE, 0,
                                      &block[0], nullptr, &startup, &process);
  if (out_write != nullptr) CloseHandle(out_write);
  if (err_write != nullptr) CloseHandle(err_write);
  CloseHandle(input);
  if (!started) {
    if (out_read != nullptr) CloseHandle(out_read);
    if (err_read != nullptr) CloseHandle(err_read);
    result.err = "cannot start " + argv[0];
    return result;
  }

  std::thread out_reader;
  if (out_read != nullptr) out_reader = std::thread(ReadAll, out_read, &result.out);
  std::thread err_reader;
  if (err_read != nullptr) err_reader = std::thread(ReadAll, err_read, &result.err);
  if (WaitForSingleObject(process.hProcess, options.timeout_ms) == WAIT_TIMEOUT) {
    result.timed_out = true;
    TerminateProcess(process.hProcess, 255);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (out_reader.joinable()) out_reader.join();
  if (err_reader.joinable()) err_reader.join();
  // Exit codes of 0xC0000000 and above are exceptions, a crash.
  if (!result.timed_out && code < 0xC0000000u) result.exit_status = static_cast<int>(code);
  if (code >= 0xC0000000u) result.signal = static_cast<int>(code & 0xFFFF);
  result.out = WithoutCarriageReturns(result.out);
  result.err = WithoutCarriageReturns(result.err);
  return result;
}
