#include "dimmer/usb_dimmer.h"


#include "dimmer/log.h"
#include "dimmer/platform.h"

namespace {

// Builds a request in `report` and writes it; returns hid_write's result.
int SendRequest(const DimmerIo& io, DimmerReport* report, unsigned char command,
                unsigned char argument_low = 0, unsigned char argument_high = 0) {
  *report = DimmerReport{{0x00, command, argument_low, argument_high, 0x00}};
  return io.hid->write(io.dev, report->bytes, kReportSize);
}

// Reads the device's answer into `report`; returns the count read, which is
// 0 on a timeout and negative on an error.
int ReadAnswer(const DimmerIo& io, DimmerReport* report) {
  const int count = io.hid->read_timeout(io.dev, report->bytes, kReportSize, kReadTimeoutMs);
  if (count < 0) LogTo(io.log, "WARN: hid_read_timeout returned %d\n", count);
  return count;
}

const wchar_t* ErrorText(const DimmerIo& io) {
  const wchar_t* text = io.hid->error(io.dev);
  return text != nullptr ? text : L"unknown error";
}

DimmerResult WriteFailed(const DimmerIo& io, int result) {
  LogTo(io.log, "WARN: hid_write: %d: %ls\n", result, ErrorText(io));
  return DimmerResult::kIoError;
}

}  // namespace

void DrainAnswers(const DimmerIo& io) {
  DimmerReport report;
  for (int i = 0;
       i < kMaxStaleAnswers && io.hid->read_timeout(io.dev, report.bytes, kReportSize, 0) > 0;
       ++i) {
  }
}

DimmerResult QueryIntensity(const DimmerIo& io, int32_t* intensity) {
  DimmerReport report;
  if (SendRequest(io, &report, kGetIntensityCommand) < 0) {
    LogTo(io.log, "WARN: Unable to write()\n");
    LogTo(io.log, "WARN: Error: %ls\n", ErrorText(io));
    return DimmerResult::kIoError;
  }
  if (ReadAnswer(io, &report) < 3) return DimmerResult::kIoError;
  *intensity = report.bytes[1] + 256 * report.bytes[2];
  return DimmerResult::kDone;
}

DimmerResult IntensityChange::Begin(const DimmerIo& io, int32_t value) {
  polls = 0;
  DimmerReport report;
  const uint32_t bits = static_cast<uint32_t>(value);
  int written = SendRequest(io, &report, kSetIntensityCommand, bits & 0xFF,
                            (bits >> 8) & 0xFF);
  if (written < 0) return WriteFailed(io, written);
  if (ReadAnswer(io, &report) <= 0) {
    LogTo(io.log, "WARN: timeout\n");
    return DimmerResult::kIoError;
  }

  written = SendRequest(io, &report, kSetStateCommand, kApplyStateValue);
  if (written < 0) return WriteFailed(io, written);
  if (ReadAnswer(io, &report) <= 0) return DimmerResult::kIoError;
  return DimmerResult::kBusy;
}

DimmerResult IntensityChange::Poll(const DimmerIo& io) {
  DimmerReport report;
  const int written = SendRequest(io, &report, kGetStateCommand);
  if (written < 0) return WriteFailed(io, written);
  const int count = ReadAnswer(io, &report);
  if (count <= 0) return DimmerResult::kIoError;
  // A one-byte answer carries no state, so it counts as busy.
  if (count >= 2 && report.bytes[1] == 0) return DimmerResult::kDone;
  if (++polls == kMaxStatePolls) {
    LogTo(io.log, "WARN: device stayed busy\n");
    return DimmerResult::kIoError;
  }
  return DimmerResult::kBusy;
}

DimmerResult ApplyIntensity(const DimmerIo& io, int32_t value) {
  IntensityChange change;
  DimmerResult result = change.Begin(io, value);
  while (result == DimmerResult::kBusy) {
    result = change.Poll(io);
    if (result == DimmerResult::kBusy) SleepMilliseconds(kStatePollMs);
  }
  return result;
}

DimmerResult UsbDimmer::OpenExclusively(const char* path, unsigned lock_wait_ms) {
  const bool shared = hid->shared;
  // Whoever may not take the dimmer's lock may not open the dimmer either.
  if (!shared || lock.Open(path)) {
    if (shared && !lock.Acquire(lock_wait_ms)) {
      LogTo(log, "WARN: the dimmer is in use by another program\n");
      return DimmerResult::kInUse;
    }
    dev = hid->open_path(path);
  }
  if (dev == nullptr) {
    const bool user_may_open = UserMayOpen(path);
    LogTo(log, "WARN: unable to open device\n");
    LogTo(log, "WARN: the dimmer is attached but could not be opened: %s\n",
          DeviceOpenHint(user_may_open));
    return user_may_open ? DimmerResult::kDenied : DimmerResult::kNotPermitted;
  }
  DrainAnswers(Io());
  return DimmerResult::kDone;
}

DimmerResult UsbDimmer::ConnectId(const char* wanted, unsigned lock_wait_ms) {
  DimmerUnit units[kMaxDimmerUnits];
  const int count = ListDimmerUnits(*hid, units);
  if (wanted == nullptr || wanted[0] == '\0' || count == 0) {
    return ConnectTo(count > 0 ? &units[0] : nullptr, lock_wait_ms);
  }
  const DimmerUnit* unit = FindDimmerUnit(units, count, wanted);
  if (unit == nullptr) {
    Disconnect();
    LogTo(log, "WARN: no dimmer %s attached\n", wanted);
    return DimmerResult::kAbsent;
  }
  return ConnectTo(unit, lock_wait_ms);
}

DimmerResult UsbDimmer::ConnectTo(const DimmerUnit* unit, unsigned lock_wait_ms) {
  Disconnect();  // a second Connect must not leak the first handle
  if (unit == nullptr) {
    LogTo(log, "WARN: unable to open device\n");
    return DimmerResult::kAbsent;
  }
  std::snprintf(id, sizeof id, "%s", unit->id);
  // The unit's path names its lock.
  const DimmerResult opened = OpenExclusively(unit->path, lock_wait_ms);
  if (opened != DimmerResult::kDone) return opened;
  int32_t reported = 0;
  if (QueryIntensity(Io(), &reported) != DimmerResult::kDone) {
    LogTo(log, "WARN: could not read intensity\n");
    return DimmerResult::kUnreadable;
  }
  // A light found off comes on at the default level unless one is set first.
  on = reported > 0;
  intensity = on ? reported : kDefaultIntensity;
  return DimmerResult::kDone;
}

bool UsbDimmer::TryLock() {
  if (dev == nullptr || (hid->shared && !lock.TryAcquire())) return false;
  DrainAnswers(Io());
  return true;
}

void UsbDimmer::Unlock() { lock.Release(); }

DimmerResult UsbDimmer::Refresh() {
  if (dev == nullptr) return DimmerResult::kNotConnected;
  int32_t reported = 0;
  if (QueryIntensity(Io(), &reported) != DimmerResult::kDone) return DimmerResult::kIoError;
  // A light found off keeps the level it had, for TurnOn.
  on = reported > 0;
  if (on) intensity = reported;
  return DimmerResult::kDone;
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

DimmerResult UsbDimmer::Carry(const Request& request) {
  if (dev == nullptr) return DimmerResult::kNotConnected;
  if (request.send != kNothingToSend) {
    const DimmerResult result = ApplyIntensity(Io(), request.send);
    if (result != DimmerResult::kDone) return result;
  }
  Adopt(request);
  return DimmerResult::kDone;
}

DimmerResult UsbDimmer::Begin(const Request& request) {
  if (dev == nullptr) return DimmerResult::kNotConnected;
  if (request.send == kNothingToSend) {
    Adopt(request);
    return DimmerResult::kDone;
  }
  pending = request;
  return change.Begin(Io(), request.send);
}

DimmerResult UsbDimmer::PollChange() {
  if (dev == nullptr) return DimmerResult::kNotConnected;
  const DimmerResult result = change.Poll(Io());
  if (result == DimmerResult::kDone) Adopt(pending);
  return result;
}

void UsbDimmer::Adopt(const Request& request) {
  intensity = request.intensity;
  on = request.on;
}

DimmerResult UsbDimmer::SetIntensity(uint32_t value) { return Carry(IntensityRequest(value)); }
DimmerResult UsbDimmer::TurnOn() { return Carry(OnRequest()); }
DimmerResult UsbDimmer::TurnOff() { return Carry(OffRequest()); }
DimmerResult UsbDimmer::BeginSetIntensity(uint32_t value) {
  return Begin(IntensityRequest(value));
}
DimmerResult UsbDimmer::BeginTurnOn() { return Begin(OnRequest()); }
DimmerResult UsbDimmer::BeginTurnOff() { return Begin(OffRequest()); }

void UsbDimmer::Disconnect() {
  if (dev != nullptr) hid->close(dev);
  dev = nullptr;
  lock.Close();
}
