#include "alpaca/dimmer_service.h"

#include <chrono>
#include <cstdio>

#include "dimmer/calendar.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"

DimmerService::DimmerService(const HidLink& link, std::FILE* log, std::string unit_id)
    : log(log), unit(std::move(unit_id)) {
  owner.Use(link, log);
  thread = std::thread([this] { Loop(); });
}

DimmerService::~DimmerService() { Stop(); }

void DimmerService::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  connected_changed.notify_all();
  if (thread.joinable()) thread.join();
}

std::string DimmerService::UnitId() const {
  std::lock_guard<std::mutex> lock(mutex);
  return unit;
}

void DimmerService::Bind(const std::string& unit_id) {
  std::lock_guard<std::mutex> lock(mutex);
  unit = unit_id;
}

DimmerService::State DimmerService::Snapshot() const {
  std::shared_lock<std::shared_mutex> lock(shared_mutex);
  return shared;
}

void DimmerService::Share() {
  std::lock_guard<std::shared_mutex> lock(shared_mutex);
  shared = state;
}

void DimmerService::PostConnect() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    posted.command = Command::kConnect;
    state.connecting = true;
    Share();
  }
  wake.notify_all();
}

void DimmerService::PostDisconnect() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    posted = Posted();
    posted.command = Command::kDisconnect;
    state.connecting = true;
    zero_pending = false;
    Share();
  }
  wake.notify_all();
}

void DimmerService::WaitWhileConnecting() {
  std::unique_lock<std::mutex> lock(mutex);
  connected_changed.wait(lock, [this] { return !state.connecting || stopping; });
}

void DimmerService::PostOn(int32_t brightness) {
  // As quorlet does it: a level, then on; 0 only switches off.
  if (brightness > 0) {
    Post(brightness, 1, false);
  } else {
    Post(DimmerOwner::kNone, 0, true);
  }
}

void DimmerService::PostOff() { Post(DimmerOwner::kNone, 0, false); }

void DimmerService::Post(int32_t intensity, int32_t switch_to, bool at_zero) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (intensity != DimmerOwner::kNone) posted.intensity = intensity;
    posted.switch_to = switch_to;
    zero_pending = at_zero;
    state.on_at_zero = false;
    state.changing = true;
    state.failure.clear();
    Share();
  }
  wake.notify_all();
}

void DimmerService::Loop() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    const Posted work = posted;
    posted = Posted();
    lock.unlock();
    Carry(work);
    const unsigned delay = owner.Run();
    lock.lock();
    Publish();
    if (work.command != Command::kNone) {
      state.connecting = posted.command != Command::kNone;
      connected_changed.notify_all();  // its waiters run once `mutex` is free, after Share
    }
    Share();
    wake.wait_for(lock, std::chrono::milliseconds(delay), [this] {
      return stopping || posted.command != Command::kNone || posted.intensity != DimmerOwner::kNone ||
             posted.switch_to != DimmerOwner::kNone;
    });
  }
  lock.unlock();
  owner.Disconnect();
}

void DimmerService::Carry(const Posted& work) {
  if (work.command == Command::kConnect && !owner.connected()) {
    std::string error;
    const std::string id = UnitId();
    const DimmerResult opened = owner.Connect(kConnectLockWaitMs, id.c_str());
    switch (opened) {
      case DimmerResult::kDone:
        break;
      case DimmerResult::kInUse:
        error = "The dimmer is in use by another program.";
        break;
      case DimmerResult::kNotPermitted:
      case DimmerResult::kDenied:
        error = std::string("The dimmer is attached but could not be opened: ") +
                DeviceOpenHint(/*user_may_open=*/opened == DimmerResult::kDenied);
        break;
      case DimmerResult::kUnreadable:
        error = "The dimmer did not answer when it was read.";
        break;
      default:
        error = id.empty() ? "No dimmer is attached." : "Dimmer " + id + " is not attached.";
    }
    std::lock_guard<std::mutex> lock(mutex);
    state.connect_error = error;
    Share();
  } else if (work.command == Command::kDisconnect) {
    owner.Disconnect();
  }
  DimmerResult queued = DimmerResult::kDone;
  if (work.intensity != DimmerOwner::kNone) {
    queued = owner.Request(DimmerTarget::kIntensity, work.intensity);
  }
  if (queued == DimmerResult::kDone && work.switch_to != DimmerOwner::kNone) {
    queued = owner.Request(DimmerTarget::kSwitch, work.switch_to);
  }
  if (queued != DimmerResult::kDone) {
    std::lock_guard<std::mutex> lock(mutex);
    state.failure = queued == DimmerResult::kNotConnected ? "The dimmer is not connected."
                                                          : "The dimmer does not answer.";
    zero_pending = false;
    Share();
  }
}

void DimmerService::Publish() {
  state.connected = owner.connected();
  state.present = owner.present();
  state.on = owner.on();
  state.intensity = owner.intensity();
  const bool queued =
      posted.intensity != DimmerOwner::kNone || posted.switch_to != DimmerOwner::kNone;
  state.changing = queued || owner.Busy();
  if (owner.Failed(DimmerTarget::kIntensity) || owner.Failed(DimmerTarget::kSwitch)) {
    state.failure = owner.failure();
    zero_pending = false;
  }
  if (zero_pending && !state.changing) {
    zero_pending = false;
    state.on_at_zero = true;
  }
  if (state.on || !state.connected) state.on_at_zero = false;
  if (state.present) FormatUtc(CurrentUnixMicros(), state.read_at, sizeof state.read_at);
}

void DimmerService::FormatUtc(int64_t unix_micros, char* out, size_t size) {
  const int64_t seconds = FloorDivide(unix_micros, 1000000);
  std::tm calendar = {};
  UtcCalendar(seconds, &calendar);
  std::snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", calendar.tm_year + 1900,
                calendar.tm_mon + 1, calendar.tm_mday, calendar.tm_hour, calendar.tm_min,
                calendar.tm_sec, static_cast<int>((unix_micros - seconds * 1000000) / 1000));
}

void DimmerService::DimmerMessage(DimmerOwner::Level level, const char* text) {
  const char* word = level == DimmerOwner::Level::kError     ? "ERROR"
                     : level == DimmerOwner::Level::kWarning ? "WARN"
                                                             : "INFO";
  // Named once the unit is known, as the server may serve several.
  const std::string id = UnitId();
  const std::string unit = id.empty() ? "" : "dimmer " + id + ": ";
  LogTo(log, "%s: %s%s\n", word, unit.c_str(), text);
}
