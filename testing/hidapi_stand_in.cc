// A simulated dimmer behind the HIDAPI calls that the programs make. It is
// linked into unit tests in place of HIDAPI, and preloaded in front of the
// real library when the programs as built are tested. It is configured by
// environment variables, read afresh at every hid_open_path (see README.md
// here), and writes each request it receives as a line to a traffic log.
//
// Plain C library calls only, so that preloading it adds no C++ runtime.
#include <hidapi/hidapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dimmer/dimmer_protocol.h"
#include "simulation/dimmer_model.h"
#include "testing/stand_in_file_lock.h"
#include "testing/stand_in_log.h"

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
constexpr int kMaxAnswers = 64;  // as many as the kernel keeps for a handle

struct CommandName {
  unsigned char code;
  const char* name;
};
constexpr CommandName kCommands[kCommandCount] = {
    {kGetIntensityCommand, "getinten"},
    {kSetIntensityCommand, "setinten"},
    {kSetStateCommand, "setstate"},
    {kGetStateCommand, "getstate"}};

// An answer waiting to be read, who asked for it (the handle that wrote
// the request), and what goes wrong when it is read. Plain data: a device
// shared by processes keeps its answers in a file.
struct Answer {
  unsigned writer;
  int length;
  FaultKind fault;
  int short_length;
  unsigned char bytes[DimmerModel::kAnswerSize];
};

struct Simulator {
  hid_device device;
  bool open;
  std::FILE* node;  // held open, as the real device node is
  DimmerModel model;
  Fault faults[kMaxFaults];
  int fault_count;
  int requests[kCommandCount];  // requests received per command since open
  Answer answers[kMaxAnswers];  // in the order they are read
  int answer_count;
  unsigned id;     // this handle's number among all opened on the device
  long cursor;     // shared device: the next answer in the file to read
  const wchar_t* error_text;
  int unit;        // 0 for the first unit attached
};

// Several units may be attached (DIMMER_SIM_SERIALS), each a device of its
// own with its own handle.
constexpr int kMaxUnits = 4;
Simulator units[kMaxUnits];

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

// The number of units attached: one per item of DIMMER_SIM_SERIALS, else one.
int UnitCount() {
  const char* list = std::getenv("DIMMER_SIM_SERIALS");
  if (list == nullptr) return 1;
  int count = 1;
  for (const char* c = list; *c != '\0'; ++c) count += *c == ',';
  if (count > kMaxUnits) Misuse("more units in DIMMER_SIM_SERIALS than the simulator has");
  return count;
}

// Item `index` of a comma-separated list into `out` (empty when missing).
void ListItem(const char* list, int index, char* out, size_t size) {
  out[0] = '\0';
  for (int i = 0; list != nullptr && i < index; ++i) {
    list = std::strchr(list, ',');
    if (list != nullptr) ++list;
  }
  if (list == nullptr) return;
  const size_t length = std::strcspn(list, ",");
  std::snprintf(out, size, "%.*s", static_cast<int>(length < size ? length : size - 1), list);
}

// A file of unit `unit`: the file a setting names for the first unit, and
// with "-2", "-3" appended for the others.
bool UnitFile(const char* base, int unit, char* out, size_t size) {
  if (base == nullptr || *base == '\0') return false;
  const int length = unit == 0 ? std::snprintf(out, size, "%s", base)
                               : std::snprintf(out, size, "%s-%d", base, unit + 1);
  if (length < 0 || static_cast<size_t>(length) >= size) Misuse("a file name is too long");
  return true;
}

// The file that stands for the unit's device node.
void NodePath(int unit, char* out, size_t size) {
  if (UnitFile(std::getenv("DIMMER_SIM_NODE"), unit, out, size)) return;
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || *folder == '\0') folder = std::getenv("TEMP");
  if (folder == nullptr || *folder == '\0') folder = "/tmp";
  char base[512];
  std::snprintf(base, sizeof base, "%s/simulated-dimmer-node", folder);
  UnitFile(base, unit, out, size);
}

// What the traffic log says before a unit's lines: nothing while one unit
// is attached, its number ("2: ") when there are several.
const char* LogPrefix(const Simulator& sim) {
  static const char* const kPrefixes[kMaxUnits] = {"1: ", "2: ", "3: ", "4: "};
  return UnitCount() > 1 ? kPrefixes[sim.unit] : "";
}

// The unit's starting intensity: its item of DIMMER_SIM_INTENSITY, which
// may list one for each unit ("640,0"); a single number is every unit's.
long StartIntensity(int unit) {
  const char* list = std::getenv("DIMMER_SIM_INTENSITY");
  if (list == nullptr || std::strchr(list, ',') == nullptr) unit = 0;
  char item[32];
  ListItem(list, unit, item, sizeof item);
  return item[0] != '\0' ? std::strtol(item, nullptr, 10) : 0;
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

void ReadFaults(Simulator& sim) {
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

// With DIMMER_SIM_STATE_FILE, the device is one for every process: its
// state is read from the file before each request and written back after
// it, under a lock on the file, and its answers go to a second file
// (STATE_FILE.answers) that every open handle reads from where it stood
// when it was opened, as the kernel hands every answer to every reader.
bool SharedDevice() {
  const char* path = std::getenv("DIMMER_SIM_STATE_FILE");
  return path != nullptr && *path != '\0';
}

// Each unit has a state file of its own, named as UnitFile says.
bool StatePath(const Simulator& sim, char* out, size_t size) {
  return UnitFile(std::getenv("DIMMER_SIM_STATE_FILE"), sim.unit, out, size);
}

std::FILE* OpenAnswers(const Simulator& sim, const char* mode) {
  char state[512];
  StatePath(sim, state, sizeof state);
  char path[520];
  std::snprintf(path, sizeof path, "%s.answers", state);
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) Misuse("cannot open DIMMER_SIM_STATE_FILE.answers");
  return file;
}

// The state file, locked, with the device's state loaded from it (and the
// count of handles ever opened in `opened`); null without a state file.
std::FILE* LoadSharedState(Simulator& sim, unsigned* opened = nullptr) {
  char path[512];
  if (!StatePath(sim, path, sizeof path)) return nullptr;
  std::FILE* created = std::fopen(path, "ab");
  if (created == nullptr) Misuse("cannot write DIMMER_SIM_STATE_FILE");
  std::fclose(created);
  std::FILE* file = std::fopen(path, "r+b");
  if (file == nullptr) Misuse("cannot open DIMMER_SIM_STATE_FILE");
  LockWholeFile(file);
  // "intensity pending busy_left opened"; a file with only an intensity,
  // or an empty one, starts a device that is idle.
  long intensity = StartIntensity(sim.unit);
  long pending = -1;
  long busy_left = 0;
  unsigned handles = 0;
  const int read = std::fscanf(file, "%ld %ld %ld %u", &intensity, &pending, &busy_left, &handles);
  if (read < 3) {
    pending = intensity;
    busy_left = 0;
  }
  sim.model.set_state({static_cast<uint16_t>(intensity), static_cast<uint16_t>(pending),
                       static_cast<int>(busy_left)});
  if (opened != nullptr) *opened = handles;
  return file;
}

void StoreSharedState(const Simulator& sim, std::FILE* file, unsigned opened) {
  if (file == nullptr) return;
  const DimmerModel::State state = sim.model.state();
  std::rewind(file);
  // Fixed width, so the new text always covers the old.
  std::fprintf(file, "%5u %5u %10d %10u\n", static_cast<unsigned>(state.intensity),
               static_cast<unsigned>(state.pending), state.busy_left, opened);
  std::fflush(file);
  UnlockWholeFile(file);
  std::fclose(file);
}

long SharedAnswerCount(const Simulator& sim) {
  std::FILE* answers = OpenAnswers(sim, "ab");
  std::fseek(answers, 0, SEEK_END);  // where a file opened to append starts is not fixed
  const long count = std::ftell(answers) / static_cast<long>(sizeof(Answer));
  std::fclose(answers);
  return count;
}

// The next answer on this handle from the shared file, if there is one;
// answers more than the kernel keeps are lost, the oldest first.
bool ReadSharedAnswer(Simulator& sim, Answer* answer) {
  unsigned opened = 0;
  std::FILE* state = LoadSharedState(sim, &opened);
  const long count = SharedAnswerCount(sim);
  if (count - sim.cursor > kMaxAnswers) sim.cursor = count - kMaxAnswers;
  bool found = false;
  if (sim.cursor < count) {
    std::FILE* answers = OpenAnswers(sim, "rb");
    std::fseek(answers, sim.cursor * static_cast<long>(sizeof(Answer)), SEEK_SET);
    found = std::fread(answer, sizeof(Answer), 1, answers) == 1;
    std::fclose(answers);
    ++sim.cursor;
  }
  StoreSharedState(sim, state, opened);
  return found;
}

int CommandIndex(unsigned char code) {
  for (int i = 0; i < kCommandCount; ++i) {
    if (kCommands[i].code == code) return i;
  }
  return -1;
}

const Fault* FaultFor(const Simulator& sim, const char* command, int occurrence) {
  for (int i = 0; i < sim.fault_count; ++i) {
    const Fault& fault = sim.faults[i];
    if (fault.occurrence == occurrence && std::strcmp(fault.command, command) == 0)
      return &fault;
  }
  return nullptr;
}

// The unit whose handle `dev` is; misuse unless it is open.
Simulator& CheckHandle(hid_device* dev, const char* call) {
  for (Simulator& sim : units) {
    if (dev == &sim.device && sim.open) return sim;
  }
  char message[96];
  std::snprintf(message, sizeof message, "%s on a handle that is not open", call);
  Misuse(message);
}

bool Matches(unsigned short vendor_id, unsigned short product_id) {
  return vendor_id == kDimmerVendorId && product_id == kDimmerProductId;
}

// Queues an answer on this handle; a full queue drops the oldest, as the
// kernel does.
Answer* QueueAnswer(Simulator& sim) {
  if (sim.answer_count == kMaxAnswers) {
    std::memmove(sim.answers, sim.answers + 1, sizeof sim.answers - sizeof sim.answers[0]);
    --sim.answer_count;
  }
  Answer* answer = &sim.answers[sim.answer_count++];
  *answer = Answer{};
  return answer;
}

// Answers left on the handle by someone else: each claims an intensity of
// 77 and an idle device.
void QueueStaleAnswers(Simulator& sim, long count) {
  for (long i = 0; i < count; ++i) {
    Answer* answer = QueueAnswer(sim);
    answer->writer = ~0u;
    answer->bytes[0] = kGetIntensityCommand;
    answer->bytes[1] = 77;
    answer->length = DimmerModel::kAnswerSize;
  }
}

// While the unit's file of DIMMER_SIM_UNPLUG_FILE exists, the unit is
// unplugged: not listed, not opened, and an open handle fails.
bool Unplugged(int unit) {
  char path[512];
  if (!UnitFile(std::getenv("DIMMER_SIM_UNPLUG_FILE"), unit, path, sizeof path)) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

extern "C" {

hid_device* HID_API_EXPORT_CALL hid_open_path(const char* path) {
  // Also refuses the node that a user without permission is shown.
  if (Flag("DIMMER_SIM_ABSENT")) return nullptr;
  Simulator* found = nullptr;
  for (int unit = 0; unit < UnitCount() && found == nullptr; ++unit) {
    char node[512];
    NodePath(unit, node, sizeof node);
    if (std::strcmp(path, node) == 0 && !Unplugged(unit)) found = &units[unit];
  }
  if (found == nullptr) return nullptr;
  Simulator& sim = *found;
  if (sim.open) Misuse("hid_open_path while the device is already open");
  sim.node = std::fopen(path, "r+b");
  if (sim.node == nullptr) Misuse("cannot open the node that hid_enumerate listed");
  sim.unit = static_cast<int>(found - units);
  ReadFaults(sim);
  sim.model.Reset(static_cast<uint16_t>(StartIntensity(sim.unit)),
                  static_cast<int>(Number("DIMMER_SIM_BUSY", 0)), Flag("DIMMER_SIM_BUSY_SHORT"));
  unsigned opened = 0;
  std::FILE* shared = LoadSharedState(sim, &opened);
  sim.id = ++opened;
  if (shared != nullptr) sim.cursor = SharedAnswerCount(sim);
  StoreSharedState(sim, shared, opened);
  std::memset(sim.requests, 0, sizeof sim.requests);
  sim.answer_count = 0;
  QueueStaleAnswers(sim, Number("DIMMER_SIM_STALE_ANSWERS", 0));
  sim.error_text = L"Success";
  sim.open = true;
  SimulatedLog("%sopen", LogPrefix(sim));
  return &sim.device;
}

int HID_API_EXPORT_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  Simulator& sim = CheckHandle(dev, "hid_write");
  char request[96];
  DimmerModel::Describe(data, length, request, sizeof request);
  char line[104];
  std::snprintf(line, sizeof line, "%s%s", LogPrefix(sim), request);
  if (Unplugged(sim.unit)) {
    SimulatedLog("%s [unplugged]", line);
    sim.error_text = L"device disconnected";
    return -1;
  }

  const int index = length >= 2 ? CommandIndex(data[1]) : -1;
  const Fault* fault = nullptr;
  if (index >= 0) fault = FaultFor(sim, kCommands[index].name, ++sim.requests[index]);
  if (fault != nullptr && fault->kind == FaultKind::kWriteError) {
    SimulatedLog("%s [write error]", line);
    sim.error_text = L"simulated write error";
    return -1;
  }

  Answer answer = {};
  answer.writer = sim.id;
  unsigned opened = 0;
  std::FILE* shared = LoadSharedState(sim, &opened);
  answer.length = sim.model.Answer(data, length, answer.bytes);
  answer.fault = fault != nullptr ? fault->kind : FaultKind::kNone;
  if (answer.fault == FaultKind::kShortAnswer) answer.short_length = fault->short_length;
  if (shared == nullptr) {
    *QueueAnswer(sim) = answer;
  } else if (answer.fault != FaultKind::kTimeout) {  // an answer never sent reaches no one
    std::FILE* answers = OpenAnswers(sim, "ab");
    std::fwrite(&answer, sizeof answer, 1, answers);
    std::fclose(answers);
  }
  StoreSharedState(sim, shared, opened);
  switch (answer.fault) {
    case FaultKind::kReadError:
      SimulatedLog("%s [read error]", line);
      break;
    case FaultKind::kTimeout:
      SimulatedLog("%s [timeout]", line);
      break;
    case FaultKind::kShortAnswer:
      SimulatedLog("%s [short %d]", line, answer.short_length);
      break;
    default:
      SimulatedLog("%s", line);
      break;
  }
  return static_cast<int>(length);
}

int HID_API_EXPORT_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                         int milliseconds) {
  Simulator& sim = CheckHandle(dev, "hid_read_timeout");
  if (Unplugged(sim.unit)) {
    sim.error_text = L"device disconnected";
    return -1;
  }
  Answer answer;
  if (sim.answer_count > 0) {
    answer = sim.answers[0];
    std::memmove(sim.answers, sim.answers + 1, sizeof sim.answers - sizeof sim.answers[0]);
    --sim.answer_count;
  } else if (!SharedDevice() || !ReadSharedAnswer(sim, &answer)) {
    return 0;  // nothing to read is a timeout; the simulator makes no one wait
  }
  // Answers read off without waiting are known to be left over; one taken
  // for the answer to this handle's own request must be its own.
  if (answer.writer != sim.id && milliseconds != 0) SimulatedLog("%sforeign answer", LogPrefix(sim));
  if (answer.fault == FaultKind::kReadError) {
    sim.error_text = L"simulated read error";
    return -1;
  }
  if (answer.fault == FaultKind::kTimeout || answer.length <= 0) return 0;
  int available = answer.length;
  if (answer.fault == FaultKind::kShortAnswer && answer.short_length < available) {
    available = answer.short_length;
  }
  const size_t count = static_cast<size_t>(available) < length ? available : length;
  std::memcpy(data, answer.bytes, count);
  return static_cast<int>(count);
}

void HID_API_EXPORT_CALL hid_close(hid_device* dev) {
  Simulator& sim = CheckHandle(dev, "hid_close");
  sim.open = false;
  std::fclose(sim.node);
  SimulatedLog("%sclose", LogPrefix(sim));
}

// Lists each unit that is attached, whether or not it can be opened; its
// node is then there too. For a user who may not open the node
// (DIMMER_SIM_LOCKED) the path listed is one that no one can open for
// writing: the folder that holds the node. Each listing is the caller's
// own, as with the real library, so that threads may list at once.
struct Listed {
  hid_device_info info;
  char path[512];
  wchar_t serial[64];
};

hid_device_info* HID_API_EXPORT_CALL hid_enumerate(unsigned short vendor_id,
                                                   unsigned short product_id) {
  if (Flag("DIMMER_SIM_ABSENT")) return nullptr;
  const bool any = vendor_id == 0 && product_id == 0;
  if (!any && !Matches(vendor_id, product_id)) return nullptr;
  const char* serials = std::getenv("DIMMER_SIM_SERIALS");
  hid_device_info* first = nullptr;
  hid_device_info** link = &first;
  for (int unit = 0; unit < UnitCount(); ++unit) {
    if (Unplugged(unit)) continue;
    Listed* listed = static_cast<Listed*>(std::calloc(1, sizeof(Listed)));
    if (listed == nullptr) Misuse("out of memory");
    char* path = listed->path;
    NodePath(unit, path, sizeof listed->path);
    std::FILE* node = std::fopen(path, "ab");
    if (node == nullptr) Misuse("cannot create the device node (DIMMER_SIM_NODE)");
    std::fclose(node);
    if (Flag("DIMMER_SIM_LOCKED")) {
      char* end = std::strrchr(path, '/');
      char* backslash = std::strrchr(path, '\\');
      if (backslash != nullptr && (end == nullptr || backslash > end)) end = backslash;
      if (end != nullptr) {
        *end = '\0';
      } else {
        std::snprintf(path, sizeof listed->path, ".");
      }
    }
    char serial[64];
    ListItem(serials, unit, serial, sizeof serial);
    for (size_t i = 0; i <= std::strlen(serial); ++i) {
      listed->serial[i] = static_cast<wchar_t>(static_cast<unsigned char>(serial[i]));
    }
    listed->info.path = path;
    listed->info.vendor_id = kDimmerVendorId;
    listed->info.product_id = kDimmerProductId;
    // One unit without DIMMER_SIM_SERIALS reports no serial string at all.
    listed->info.serial_number = serials != nullptr ? listed->serial : nullptr;
    *link = &listed->info;
    link = &listed->info.next;
  }
  return first;
}

void HID_API_EXPORT_CALL hid_free_enumeration(hid_device_info* devices) {
  while (devices != nullptr) {
    hid_device_info* next = devices->next;
    std::free(devices);  // the info is the first member of its Listed
    devices = next;
  }
}

const wchar_t* HID_API_EXPORT_CALL hid_error(hid_device* dev) {
  const wchar_t* text = dev != nullptr ? CheckHandle(dev, "hid_error").error_text : L"Success";
  return Flag("DIMMER_SIM_NO_ERROR_TEXT") ? nullptr : text;
}

}  // extern "C"
