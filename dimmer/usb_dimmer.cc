#include "dimmer/usb_dimmer.h"

#include "dimmer/log.h"
#include "dimmer/platform.h"

namespace {

// Builds a request in `report` and writes it; returns hid_write's result.
int SendRequest(hid_device* dev, DimmerReport* report, unsigned char command,
                unsigned char argument_low = 0, unsigned char argument_high = 0) {
  *report = DimmerReport{{0x00, command, argument_low, argument_high, 0x00}};
  return hid_write(dev, report->bytes, kReportSize);
}

// Reads the device's answer into `report`; returns the count read, which is
// 0 on a timeout and negative on an error.
int ReadAnswer(hid_device* dev, DimmerReport* report) {
  const int count = hid_read_timeout(dev, report->bytes, kReportSize, kReadTimeoutMs);
  if (count < 0) LogMessage("WARN: hid_read_timeout returned %d\n", count);
  return count;
}

const wchar_t* ErrorText(hid_device* dev) {
  const wchar_t* text = hid_error(dev);
  return text != nullptr ? text : L"unknown error";
}

int WriteFailed(hid_device* dev, int result) {
  LogMessage("WARN: hid_write: %d: %ls\n", result, ErrorText(dev));
  return kDimmerIoError;
}

}  // namespace

void DrainAnswers(hid_device* dev) {
  DimmerReport report;
  for (int i = 0; i < kMaxStaleAnswers && hid_read_timeout(dev, report.bytes, kReportSize, 0) > 0;
       ++i) {
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

int ApplyIntensity(hid_device* dev, int32_t value) {
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

  for (int poll = 1;; ++poll) {
    written = SendRequest(dev, &report, kGetStateCommand);
    if (written < 0) return WriteFailed(dev, written);
    const int count = ReadAnswer(dev, &report);
    if (count <= 0) return kDimmerIoError;
    // A one-byte answer carries no state, so it counts as busy.
    if (count >= 2 && report.bytes[1] == 0) return 0;
    if (poll == kMaxStatePolls) {
      LogMessage("WARN: device stayed busy\n");
      return kDimmerIoError;
    }
    SleepMilliseconds(kStatePollMs);
  }
}

bool UsbDimmer::OpenExclusively(const char* path) {
  // Whoever may not take the dimmer's lock may not open the dimmer either.
  if (lock.Open(path)) {
    if (!lock.Acquire(kLockWaitMs)) {
      LogMessage("WARN: the dimmer is in use by another program\n");
      return false;
    }
    dev = hid_open_path(path);
  }
  if (dev == nullptr) {
    LogMessage("WARN: unable to open device\n");
    LogMessage("WARN: the dimmer is attached but could not be opened: %s\n", DeviceOpenHint());
    return false;
  }
  DrainAnswers(dev);
  return true;
}

bool UsbDimmer::Connect() {
  Disconnect();  // a second Connect must not leak the first handle
  // The first dimmer listed, as hid_open would take; its path names its lock.
  hid_device_info* found = hid_enumerate(kDimmerVendorId, kDimmerProductId);
  if (found == nullptr) {
    LogMessage("WARN: unable to open device\n");
    return false;
  }
  const bool opened = OpenExclusively(found->path);
  hid_free_enumeration(found);
  if (!opened) return false;
  const int32_t reported = QueryIntensity(dev);
  if (reported < 0) {
    LogMessage("WARN: could not read intensity\n");
    return false;
  }
  // A light found off comes on at the default level unless one is set first.
  on = reported > 0;
  intensity = on ? reported : kDefaultIntensity;
  return true;
}

int32_t UsbDimmer::IsOn() const {
  if (dev == nullptr) return kNotConnected;
  return on ? 1 : 0;
}

int32_t UsbDimmer::Intensity() const {
  if (dev == nullptr) return kNotConnected;
  return intensity;
}

int UsbDimmer::SetIntensity(uint32_t value) {
  if (dev == nullptr) return kNotConnected;
  const int32_t level =
      value < static_cast<uint32_t>(kMaxIntensity) ? static_cast<int32_t>(value) : kMaxIntensity;
  if (level == intensity) return 0;
  if (!on) {
    intensity = level;
    return 0;
  }
  const int result = ApplyIntensity(dev, level);
  if (result != 0) return result;
  intensity = level;
  if (level == 0) on = false;
  return 0;
}

int UsbDimmer::TurnOn() {
  if (dev == nullptr) return kNotConnected;
  if (on) return 0;
  const int result = ApplyIntensity(dev, intensity);
  if (result != 0) return result;
  on = intensity > 0;
  return 0;
}

int UsbDimmer::TurnOff() {
  if (dev == nullptr) return kNotConnected;
  if (!on) return 0;
  const int result = ApplyIntensity(dev, 0);
  if (result != 0) return result;
  on = false;  // the intensity is kept, so TurnOn restores the same level
  return 0;
}

void UsbDimmer::Disconnect() {
  if (dev != nullptr) hid_close(dev);
  dev = nullptr;
  lock.Close();
}
