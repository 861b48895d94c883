#include "dimmer/usb_dimmer.h"

#include "dimmer/hid_link.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"

namespace {

// Builds a request in `report` and writes it; returns hid_write's result.
int SendRequest(hid_device* dev, DimmerReport* report, unsigned char command,
                unsigned char argument_low = 0, unsigned char argument_high = 0) {
  *report = DimmerReport{{0x00, command, argument_low, argument_high, 0x00}};
  return Hid().write(dev, report->bytes, kReportSize);
}

// Reads the device's answer into `report`; returns the count read, which is
// 0 on a timeout and negative on an error.
int ReadAnswer(hid_device* dev, DimmerReport* report) {
  const int count = Hid().read_timeout(dev, report->bytes, kReportSize, kReadTimeoutMs);
  if (count < 0) LogMessage("WARN: hid_read_timeout returned %d\n", count);
  return count;
}

const wchar_t* ErrorText(hid_device* dev) {
  const wchar_t* text = Hid().error(dev);
  return text != nullptr ? text : L"unknown error";
}

int WriteFailed(hid_device* dev, int result) {
  LogMessage("WARN: hid_write: %d: %ls\n", result, ErrorText(dev));
  return kDimmerIoError;
}

}  // namespace

void DrainAnswers(hid_device* dev) {
  DimmerReport report;
  for (int i = 0;
       i < kMaxStaleAnswers && Hid().read_timeout(dev, report.bytes, kReportSize, 0) > 0; ++i) {
  }
}

int32_t QueryIntensity(hid_device* dev) {
  DimmerReport report;
  if (SendRequest(dev, &report, kGetIntensityCommand) < 0) {
    LogMessage("WARN: Unable to write()\n");
    LogMessage("WARN: Error: %ls\n", ErrorText(dev));
    return kDimmerIoError;
  }
  if (ReadAnswer(dev, &report) < 3) return kDimmerIoError;
  return report.bytes[1] + 256 * report.bytes[2];
}

int IntensityChange::Begin(hid_device* dev, int32_t value) {
  polls = 0;
  DimmerReport report;
  const uint32_t bits = static_cast<uint32_t>(value);
  int written = SendRequest(dev, &report, kSetIntensityCommand, bits & 0xFF,
                            (bits >> 8) & 0xFF);
  if (written < 0) return WriteFailed(dev, written);
  if (ReadAnswer(dev, &report) <= 0) {
    LogMessage("WARN: timeout\n");
    return kDimmerIoError;
  }

  written = SendRequest(dev, &report, kSetStateCommand, kApplyStateValue);
  if (written < 0) return WriteFailed(dev, written);
  if (ReadAnswer(dev, &report) <= 0) return kDimmerIoError;
  return kChangeBusy;
}

int IntensityChange::Poll(hid_device* dev) {
  DimmerReport report;
  const int written = SendRequest(dev, &report, kGetStateCommand);
  if (written < 0) return WriteFailed(dev, written);
  const int count = ReadAnswer(dev, &report);
  if (count <= 0) return kDimmerIoError;
  // A one-byte answer carries no state, so it counts as busy.
  if (count >= 2 && report.bytes[1] == 0) return 0;
  if (++polls == kMaxStatePolls) {
    LogMessage("WARN: device stayed busy\n");
    return kDimmerIoError;
  }
  return kChangeBusy;
}

int ApplyIntensity(hid_device* dev, int32_t value) {
  IntensityChange change;
  int state = change.Begin(dev, value);
  while (state == kChangeBusy) {
    state = change.Poll(dev);
    if (state == kChangeBusy) SleepMilliseconds(kStatePollMs);
  }
  return state;
}

bool UsbDimmer::OpenExclusively(const char* path, unsigned lock_wait_ms) {
  const bool shared = Hid().shared;
  // Whoever may not take the dimmer's lock may not open the dimmer either.
  if (!shared || lock.Open(path)) {
    if (shared && !lock.Acquire(lock_wait_ms)) {
      failure = ConnectFailure::kInUse;
      LogMessage("WARN: the dimmer is in use by another program\n");
      return false;
    }
    dev = Hid().open_path(path);
  }
  if (dev == nullptr) {
    failure = ConnectFailure::kNotPermitted;
    LogMessage("WARN: unable to open device\n");
    LogMessage("WARN: the dimmer is attached but could not be opened: %s\n", DeviceOpenHint());
    return false;
  }
  DrainAnswers(dev);
  return true;
}

bool UsbDimmer::Connect(unsigned lock_wait_ms) {
  Disconnect();  // a second Connect must not leak the first handle
  failure = ConnectFailure::kNone;
  // The first dimmer listed, as hid_open would take; its path names its lock.
  hid_device_info* found = Hid().enumerate(kDimmerVendorId, kDimmerProductId);
  if (found == nullptr) {
    failure = ConnectFailure::kAbsent;
    LogMessage("WARN: unable to open device\n");
    return false;
  }
  const bool opened = OpenExclusively(found->path, lock_wait_ms);
  Hid().free_enumeration(found);
  if (!opened) return false;
  const int32_t reported = QueryIntensity(dev);
  if (reported < 0) {
    failure = ConnectFailure::kUnreadable;
    LogMessage("WARN: could not read intensity\n");
    return false;
  }
  // A light found off comes on at the default level unless one is set first.
  on = reported > 0;
  intensity = on ? reported : kDefaultIntensity;
  return true;
}

bool UsbDimmer::TryLock() {
  if (dev == nullptr || (Hid().shared && !lock.TryAcquire())) return false;
  DrainAnswers(dev);
  return true;
}

void UsbDimmer::Unlock() { lock.Release(); }

int UsbDimmer::Refresh() {
  if (dev == nullptr) return kNotConnected;
  const int32_t reported = QueryIntensity(dev);
  if (reported < 0) return kDimmerIoError;
  // A light found off keeps the level it had, for TurnOn.
  on = reported > 0;
  if (on) intensity = reported;
  return 0;
}

int32_t UsbDimmer::IsOn() const {
  if (dev == nullptr) return kNotConnected;
  return on ? 1 : 0;
}

int32_t UsbDimmer::Intensity() const {
  if (dev == nullptr) return kNotConnected;
  return intensity;
}

UsbDimmer::Request UsbDimmer::IntensityRequest(uint32_t value) const {
  const int32_t level =
      value < static_cast<uint32_t>(kMaxIntensity) ? static_cast<int32_t>(value) : kMaxIntensity;
  // While the light is off the level is only stored, for TurnOn.
  if (level == intensity || !on) return {kNothingToSend, level, on};
  return {level, level, level != 0};
}

UsbDimmer::Request UsbDimmer::OnRequest() const {
  if (on) return {kNothingToSend, intensity, on};
  return {intensity, intensity, intensity > 0};
}

UsbDimmer::Request UsbDimmer::OffRequest() const {
  // The intensity is kept, so TurnOn restores the same level.
  if (!on) return {kNothingToSend, intensity, on};
  return {0, intensity, false};
}

int UsbDimmer::Carry(const Request& request) {
  if (dev == nullptr) return kNotConnected;
  if (request.send != kNothingToSend) {
    const int result = ApplyIntensity(dev, request.send);
    if (result != 0) return result;
  }
  Adopt(request);
  return 0;
}

int UsbDimmer::Begin(const Request& request) {
  if (dev == nullptr) return kNotConnected;
  if (request.send == kNothingToSend) {
    Adopt(request);
    return 0;
  }
  pending = request;
  return change.Begin(dev, request.send);
}

int UsbDimmer::PollChange() {
  if (dev == nullptr) return kNotConnected;
  const int state = change.Poll(dev);
  if (state == 0) Adopt(pending);
  return state;
}

void UsbDimmer::Adopt(const Request& request) {
  intensity = request.intensity;
  on = request.on;
}

int UsbDimmer::SetIntensity(uint32_t value) { return Carry(IntensityRequest(value)); }
int UsbDimmer::TurnOn() { return Carry(OnRequest()); }
int UsbDimmer::TurnOff() { return Carry(OffRequest()); }
int UsbDimmer::BeginSetIntensity(uint32_t value) { return Begin(IntensityRequest(value)); }
int UsbDimmer::BeginTurnOn() { return Begin(OnRequest()); }
int UsbDimmer::BeginTurnOff() { return Begin(OffRequest()); }

void UsbDimmer::Disconnect() {
  if (dev != nullptr) Hid().close(dev);
  dev = nullptr;
  lock.Close();
}
