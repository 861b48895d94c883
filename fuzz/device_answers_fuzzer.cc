// UsbDimmer against a device whose every answer comes from the input:
// write results, answer lengths and bytes, errors, missing error texts and
// long busy streaks. Checks what must hold whatever the device does:
// results are 0, -1 or -2; a failed request changes nothing; one change
// polls at most 300 times; the device is opened only under the dimmer's
// lock; Disconnect closes the handle, once, and releases the lock.
#include <hidapi/hidapi.h>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fuzzer/FuzzedDataProvider.h>

#include "dimmer/log.h"
#include "dimmer/usb_dimmer.h"

namespace {

struct ScriptedDevice {
  FuzzedDataProvider* input;
  bool open;
  int opens;
  int closes;
  int busy_streak;  // getstate answers busy this many more times
  unsigned char last_command;
  int polls;
};

ScriptedDevice device;

#define CHECK(condition)                                            \
  do {                                                              \
    if (!(condition)) {                                             \
      std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                 \
    }                                                               \
  } while (0)

hid_device* Handle() { return reinterpret_cast<hid_device*>(&device); }

// A real file stands for the device node, so the dimmer's lock is taken.
char node_path[] = "/tmp/device-answers-fuzzer-XXXXXX";

// Whether someone holds the dimmer's lock: a lock of our own would fail.
bool LockIsHeld() {
  const int fd = open(node_path, O_RDWR);
  CHECK(fd >= 0);
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return held;
}

}  // namespace

extern "C" {

hid_device_info* hid_enumerate(unsigned short, unsigned short) {
  static hid_device_info info;
  info.path = node_path;
  return device.input->ConsumeBool() ? nullptr : &info;
}
void hid_free_enumeration(hid_device_info*) {}

hid_device* hid_open_path(const char* path) {
  CHECK(!device.open && std::strcmp(path, node_path) == 0 && LockIsHeld());
  if (device.input->ConsumeBool()) return nullptr;
  device.open = true;
  ++device.opens;
  device.busy_streak = device.input->ConsumeIntegralInRange(0, 400);
  return Handle();
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  CHECK(dev == Handle() && device.open && length == 5 && data[0] == 0);
  device.last_command = data[1];
  if (data[1] == kGetStateCommand) ++device.polls;
  return device.input->ConsumeIntegralInRange(0, 15) == 0 ? -1 : 5;
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int) {
  CHECK(dev == Handle() && device.open && length == 5);
  if (device.last_command == kGetStateCommand && device.busy_streak > 0) {
    --device.busy_streak;
    data[1] = 1;
    return 2;
  }
  // 0: error, 1: timeout, 2-7: an answer of 0 to 5 bytes.
  const int kind = device.input->ConsumeIntegralInRange(0, 7);
  if (kind < 2) return kind == 0 ? -1 : 0;
  const int count = kind - 2;
  for (int i = 0; i < count; ++i) data[i] = device.input->ConsumeIntegral<unsigned char>();
  return count;
}

void hid_close(hid_device* dev) {
  CHECK(dev == Handle() && device.open);
  device.open = false;
  ++device.closes;
}

const wchar_t* hid_error(hid_device*) {
  return device.input->ConsumeBool() ? nullptr : L"scripted failure";
}

// Pauses between polls cost nothing here.
int nanosleep(const struct timespec*, struct timespec*) { return 0; }

int LLVMFuzzerInitialize(int*, char***) {
  const int node = mkstemp(node_path);
  CHECK(node >= 0);
  close(node);
  std::atexit([] { unlink(node_path); });
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  device = ScriptedDevice{};
  device.input = &input;
  {
    // The log runs, so every message is formatted, but goes nowhere.
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    UsbDimmer dimmer(SystemHid(), nowhere);
    dimmer.Connect();
    const int requests = input.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < requests; ++i) {
      const LightState before = dimmer.state();
      device.polls = 0;
      const int request = input.ConsumeIntegralInRange(0, 2);
      const uint32_t value = input.ConsumeIntegral<uint32_t>();
      const DimmerResult result = request == 0   ? dimmer.SetIntensity(value)
                                  : request == 1 ? dimmer.TurnOn()
                                                 : dimmer.TurnOff();
      CHECK(result == DimmerResult::kDone || result == DimmerResult::kNotConnected ||
            result == DimmerResult::kIoError);
      CHECK(device.polls <= kMaxStatePolls);
      const LightState after = dimmer.state();
      if (result != DimmerResult::kDone) {
        CHECK(after.on == before.on && after.intensity == before.intensity);
      } else if (request == 0) {
        CHECK(after.intensity == static_cast<int32_t>(value < 1023 ? value : 1023));
      }
    }
    dimmer.Disconnect();
    CHECK(!device.open && device.closes == device.opens && !LockIsHeld());
  }
  CHECK(device.closes == device.opens);
  return 0;
}

}  // extern "C"
