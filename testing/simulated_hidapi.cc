// A simulated dimmer behind the HIDAPI calls that the programs make. It is
// linked into unit tests in place of HIDAPI, and preloaded in front of the
// real library when the programs as built are tested. It is configured by
// environment variables, read afresh at every hid_open (see README.md here),
// and writes each request it receives as a line to a traffic log.
//
// Plain C library calls only, so that preloading it adds no C++ runtime.
#include <hidapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testing/dimmer_model.h"
#include "testing/simulated_log.h"

struct hid_device_ {
  int unused;
};

namespace {

enum class FaultKind { kNone, kWriteError, kReadError, kTimeout, kShortAnswer };

// "Make the k-th request of this command fail in this way."
struct Fault {
  char command[16];
  int occurrence;
  FaultKind kind;
  int short_length;
};

constexpr int kMaxFaults = 8;
constexpr int kCommandCount = 4;

struct CommandName {
  unsigned char code;
  const char* name;
};
constexpr CommandName kCommands[kCommandCount] = {
    {0x21, "getinten"}, {0x20, "setinten"}, {0x10, "setstate"}, {0x11, "getstate"}};

struct Simulator {
  hid_device device;
  bool open;
  DimmerModel model;
  Fault faults[kMaxFaults];
  int fault_count;
  int requests[kCommandCount];  // requests received per command since open
  unsigned char answer[DimmerModel::kAnswerSize];
  int answer_length;  // -1: no answer waiting
  FaultKind read_fault;
  int short_length;
  const wchar_t* error_text;
};

Simulator sim;

bool Flag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

long Number(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtol(value, nullptr, 10) : fallback;
}

[[noreturn]] void Misuse(const char* what) {
  std::fprintf(stderr, "simulated dimmer: %s\n", what);
  std::abort();
}

// Reads one "command:k:kind" item; kind is write, read, timeout or shortN.
bool ParseFault(const char* item, size_t length, Fault* fault) {
  char text[64];
  if (length >= sizeof text) return false;
  std::memcpy(text, item, length);
  text[length] = '\0';
  char kind[16];
  if (std::sscanf(text, "%15[a-z]:%d:%15s", fault->command, &fault->occurrence, kind) != 3)
    return false;
  fault->short_length = 0;
  if (std::strcmp(kind, "write") == 0) {
    fault->kind = FaultKind::kWriteError;
  } else if (std::strcmp(kind, "read") == 0) {
    fault->kind = FaultKind::kReadError;
  } else if (std::strcmp(kind, "timeout") == 0) {
    fault->kind = FaultKind::kTimeout;
  } else if (std::sscanf(kind, "short%d", &fault->short_length) == 1) {
    fault->kind = FaultKind::kShortAnswer;
  } else {
    return false;
  }
  return true;
}

void ReadFaults() {
  sim.fault_count = 0;
  const char* list = std::getenv("DIMMER_SIM_FAIL");
  if (list == nullptr) return;
  while (*list != '\0') {
    const size_t length = std::strcspn(list, ",");
    if (length > 0) {
      if (sim.fault_count == kMaxFaults) Misuse("too many faults in DIMMER_SIM_FAIL");
      if (!ParseFault(list, length, &sim.faults[sim.fault_count]))
        Misuse("DIMMER_SIM_FAIL items read command:k:write|read|timeout|shortN");
      ++sim.fault_count;
    }
    list += length;
    if (*list == ',') ++list;
  }
}

long StoredIntensity(long fallback) {
  const char* path = std::getenv("DIMMER_SIM_STATE_FILE");
  if (path == nullptr) return fallback;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return fallback;
  long stored = fallback;
  if (std::fscanf(file, "%ld", &stored) != 1) stored = fallback;
  std::fclose(file);
  return stored;
}

void StoreIntensity() {
  const char* path = std::getenv("DIMMER_SIM_STATE_FILE");
  if (path == nullptr) return;
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) Misuse("cannot write DIMMER_SIM_STATE_FILE");
  std::fprintf(file, "%u\n", static_cast<unsigned>(sim.model.intensity()));
  std::fclose(file);
}

int CommandIndex(unsigned char code) {
  for (int i = 0; i < kCommandCount; ++i) {
    if (kCommands[i].code == code) return i;
  }
  return -1;
}

const Fault* FaultFor(const char* command, int occurrence) {
  for (int i = 0; i < sim.fault_count; ++i) {
    const Fault& fault = sim.faults[i];
    if (fault.occurrence == occurrence && std::strcmp(fault.command, command) == 0)
      return &fault;
  }
  return nullptr;
}

void CheckHandle(hid_device* dev, const char* call) {
  if (dev != &sim.device || !sim.open) {
    char message[96];
    std::snprintf(message, sizeof message, "%s on a handle that is not open", call);
    Misuse(message);
  }
}

bool Matches(unsigned short vendor_id, unsigned short product_id) {
  return vendor_id == 0x04D8 && product_id == 0xF5D1;
}

}  // namespace

extern "C" {

hid_device* HID_API_EXPORT_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                         const wchar_t* /*serial_number*/) {
  if (Flag("DIMMER_SIM_ABSENT") || !Matches(vendor_id, product_id)) return nullptr;
  // Attached, but this user may not open it (or another program holds it).
  if (Flag("DIMMER_SIM_LOCKED")) {
    sim.error_text = L"Permission denied";
    return nullptr;
  }
  if (sim.open) Misuse("hid_open while the device is already open");
  ReadFaults();
  const long intensity = StoredIntensity(Number("DIMMER_SIM_INTENSITY", 0));
  sim.model.Reset(static_cast<uint16_t>(intensity), static_cast<int>(Number("DIMMER_SIM_BUSY", 0)),
                  Flag("DIMMER_SIM_BUSY_SHORT"));
  std::memset(sim.requests, 0, sizeof sim.requests);
  sim.answer_length = -1;
  sim.read_fault = FaultKind::kNone;
  sim.error_text = L"Success";
  sim.open = true;
  SimulatedLog("open");
  return &sim.device;
}

int HID_API_EXPORT_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  CheckHandle(dev, "hid_write");
  char line[96];
  DimmerModel::Describe(data, length, line, sizeof line);

  const int index = length >= 2 ? CommandIndex(data[1]) : -1;
  const Fault* fault = nullptr;
  if (index >= 0) fault = FaultFor(kCommands[index].name, ++sim.requests[index]);
  if (fault != nullptr && fault->kind == FaultKind::kWriteError) {
    SimulatedLog("%s [write error]", line);
    sim.error_text = L"simulated write error";
    sim.answer_length = -1;
    return -1;
  }

  sim.answer_length = sim.model.Answer(data, length, sim.answer);
  if (data[1] == 0x10) StoreIntensity();
  sim.read_fault = fault != nullptr ? fault->kind : FaultKind::kNone;
  switch (sim.read_fault) {
    case FaultKind::kReadError:
      SimulatedLog("%s [read error]", line);
      break;
    case FaultKind::kTimeout:
      SimulatedLog("%s [timeout]", line);
      break;
    case FaultKind::kShortAnswer:
      sim.short_length = fault->short_length;
      SimulatedLog("%s [short %d]", line, fault->short_length);
      break;
    default:
      SimulatedLog("%s", line);
      break;
  }
  return static_cast<int>(length);
}

int HID_API_EXPORT_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                         int /*milliseconds*/) {
  CheckHandle(dev, "hid_read_timeout");
  const FaultKind fault = sim.read_fault;
  int available = sim.answer_length;
  sim.read_fault = FaultKind::kNone;
  sim.answer_length = -1;
  if (fault == FaultKind::kReadError) {
    sim.error_text = L"simulated read error";
    return -1;
  }
  // Nothing to read is a timeout; the simulator does not make anyone wait.
  if (fault == FaultKind::kTimeout || available < 0) return 0;
  if (fault == FaultKind::kShortAnswer && sim.short_length < available) {
    available = sim.short_length;
  }
  const size_t count = static_cast<size_t>(available) < length ? available : length;
  std::memcpy(data, sim.answer, count);
  return static_cast<int>(count);
}

void HID_API_EXPORT_CALL hid_close(hid_device* dev) {
  CheckHandle(dev, "hid_close");
  sim.open = false;
  SimulatedLog("close");
}

// Lists the dimmer when it is attached, whether or not it can be opened.
hid_device_info* HID_API_EXPORT_CALL hid_enumerate(unsigned short vendor_id,
                                                   unsigned short product_id) {
  if (Flag("DIMMER_SIM_ABSENT")) return nullptr;
  const bool any = vendor_id == 0 && product_id == 0;
  if (!any && !Matches(vendor_id, product_id)) return nullptr;
  static char path[] = "/dev/hidraw-simulated";
  static hid_device_info info;
  std::memset(&info, 0, sizeof info);
  info.path = path;
  info.vendor_id = 0x04D8;
  info.product_id = 0xF5D1;
  return &info;
}

void HID_API_EXPORT_CALL hid_free_enumeration(hid_device_info* /*devices*/) {}

const wchar_t* HID_API_EXPORT_CALL hid_error(hid_device* dev) {
  if (dev != nullptr) CheckHandle(dev, "hid_error");
  if (Flag("DIMMER_SIM_NO_ERROR_TEXT")) return nullptr;
  return dev != nullptr ? sim.error_text : L"Success";
}

}  // extern "C"
