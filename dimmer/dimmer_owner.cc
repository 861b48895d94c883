#include "dimmer/dimmer_owner.h"

#include <cstdarg>
#include <cstdio>

#include "dimmer/platform.h"

DimmerResult DimmerOwner::Connect(unsigned lock_wait_ms, const char* id) {
  Disconnect();
  const DimmerResult result = dimmer.ConnectId(id, lock_wait_ms);
  if (result != DimmerResult::kDone) {
    dimmer.Disconnect();
    return result;
  }
  dimmer.Unlock();
  connected_ = present_ = true;
  TakeState();
  next_refresh = MonotonicMillis() + refresh_period;
  char light[64];
  Tell(Level::kInfo, "The light is %s.", Describe(light, sizeof light));
  return DimmerResult::kDone;
}

void DimmerOwner::Disconnect() {
  if (!connected_) return;
  dimmer.Disconnect();
  if (present_) {
    if (on_) {
      Tell(Level::kInfo, "Disconnected; the light stays on at %d.", static_cast<int>(intensity_));
    } else {
      Tell(Level::kInfo, "Disconnected; the light stays off.");
    }
  } else {
    Tell(Level::kInfo, "Disconnected; no longer looking for the dimmer.");
  }
  connected_ = present_ = false;
  wanted[0] = wanted[1] = kNone;
  failed[0] = failed[1] = false;
  failure_text[0] = '\0';
  step = Step::kIdle;
  current_value = kNone;
  lock_wait_started = -1;
}

int32_t DimmerOwner::Asked(DimmerTarget target) const {
  if (wanted[Index(target)] != kNone) return wanted[Index(target)];
  return step != Step::kIdle && current == target ? current_value : kNone;
}

DimmerResult DimmerOwner::Request(DimmerTarget target, int32_t value) {
  if (!connected_) return DimmerResult::kNotConnected;
  if (!present_) return DimmerResult::kIoError;
  wanted[Index(target)] = value;
  failed[Index(target)] = false;
  return DimmerResult::kDone;
}

unsigned DimmerOwner::Run() {
  if (!connected_) return refresh_period;
  const int64_t now = MonotonicMillis();
  if (!present_) {
    if (now >= next_refresh) {
      next_refresh = now + refresh_period;
      Reconnect();
    }
  } else if (now >= next_step) {
    if (step == Step::kChanging) Poll(now);
    if (step == Step::kWaitingForLock) step = Step::kIdle;
    // Each pass carries one request out, begins one, or waits for the lock.
    while (step == Step::kIdle && (wanted[0] != kNone || wanted[1] != kNone)) StartNext(now);
    if (step == Step::kIdle && now >= next_refresh) {
      next_refresh = now + refresh_period;
      Refresh();
    }
  }
  const int64_t due = present_ && step != Step::kIdle ? next_step : next_refresh;
  return due > now ? static_cast<unsigned>(due - now) : 0;
}

void DimmerOwner::StartNext(int64_t now) {
  if (!dimmer.TryLock()) {
    if (lock_wait_started < 0) lock_wait_started = now;
    if (now - lock_wait_started >= static_cast<int64_t>(lock_wait)) {
      FailQueued("The dimmer stayed in use by another program.");
      return;
    }
    step = Step::kWaitingForLock;
    next_step = now + DimmerLock::kLockPollMs;
    return;
  }
  lock_wait_started = -1;
  step = Step::kChanging;
  current = wanted[Index(DimmerTarget::kIntensity)] != kNone ? DimmerTarget::kIntensity
                                                             : DimmerTarget::kSwitch;
  current_value = wanted[Index(current)];
  wanted[Index(current)] = kNone;
  if (current == DimmerTarget::kIntensity) {
    switch_follows = wanted[Index(DimmerTarget::kSwitch)] != kNone;
    level_told = false;
  }
  DimmerResult begun;
  if (current == DimmerTarget::kIntensity) {
    begun = dimmer.BeginSetIntensity(static_cast<uint32_t>(current_value));
  } else {
    begun = current_value == 1 ? dimmer.BeginTurnOn() : dimmer.BeginTurnOff();
  }
  if (begun == DimmerResult::kBusy) {
    Poll(now);
  } else {
    Finish(begun);
  }
}

void DimmerOwner::Poll(int64_t now) {
  const DimmerResult result = dimmer.PollChange();
  if (result == DimmerResult::kBusy) {
    next_step = now + kStatePollMs;
    return;
  }
  Finish(result);
}

void DimmerOwner::Finish(DimmerResult result) {
  dimmer.Unlock();
  step = Step::kIdle;
  const DimmerTarget target = current;
  const int32_t value = current_value;
  current_value = kNone;
  const bool after_level = level_told;
  level_told = false;
  if (result != DimmerResult::kDone) {
    failed[Index(target)] = true;
    if (target == DimmerTarget::kIntensity) {
      std::snprintf(failure_text, sizeof failure_text,
                    "The dimmer did not take intensity %d; it keeps %d.",
                    static_cast<int>(value), static_cast<int>(intensity_));
    } else {
      std::snprintf(failure_text, sizeof failure_text,
                    "The dimmer did not switch the light %s; it stays %s.",
                    value == 1 ? "on" : "off", on_ ? "on" : "off");
    }
    Tell(Level::kError, "%s", failure_text);
  } else {
    const bool was_on = on_;
    const int32_t had = intensity_;
    TakeState();
    level_told = target == DimmerTarget::kIntensity && switch_follows;
    // A switch queued with a level, which left the light as the level's
    // line told it: one line for the two.
    const bool repeat = target == DimmerTarget::kSwitch && after_level && on_ == was_on &&
                        intensity_ == had;
    if (!repeat) TellLight(target, value);
  }
  listener.DimmerChanged();
}

void DimmerOwner::TellLight(DimmerTarget target, int32_t value) {
  char light[64];
  if (on_) {
    Tell(Level::kInfo, "Light on at %d", static_cast<int>(intensity_));
  } else if (target == DimmerTarget::kSwitch && value == 1) {
    Tell(Level::kWarning, "The light stays off at level 0: set a level above 0 first.");
  } else if (intensity_ == 0) {
    Tell(Level::kInfo, "Light off at level 0");
  } else if (target == DimmerTarget::kSwitch) {
    Tell(Level::kInfo, "Light %s", Describe(light, sizeof light));
  } else {
    Tell(Level::kInfo, "Level %d kept for when the light comes on", static_cast<int>(intensity_));
  }
}

void DimmerOwner::FailQueued(const char* reason) {
  for (int i = 0; i < 2; ++i) {
    if (wanted[i] != kNone) failed[i] = true;
    wanted[i] = kNone;
  }
  lock_wait_started = -1;
  step = Step::kIdle;
  std::snprintf(failure_text, sizeof failure_text, "%s", reason);
  Tell(Level::kError, "%s", reason);
  listener.DimmerChanged();
}

void DimmerOwner::Refresh() {
  // Another program is using the dimmer: look again next period.
  if (!dimmer.TryLock()) return;
  const DimmerResult result = dimmer.Refresh();
  dimmer.Unlock();
  if (result != DimmerResult::kDone) {
    Lose();
    return;
  }
  const bool was_on = on_;
  const int32_t had = intensity_;
  TakeState();
  if (on_ != was_on || intensity_ != had) listener.DimmerChanged();
}

void DimmerOwner::Lose() {
  wanted[0] = wanted[1] = kNone;
  level_told = false;
  dimmer.Disconnect();
  present_ = false;
  Tell(Level::kError, "The dimmer stopped answering (unplugged?); looking for it every %u ms.",
       refresh_period);
  listener.DimmerChanged();
}

void DimmerOwner::Reconnect() {
  // Told once, when it was lost: each attempt's own warnings would repeat
  // it every period.
  std::FILE* log = dimmer.log_stream();
  dimmer.SetLog(nullptr);
  char id[sizeof DimmerUnit::id];
  std::snprintf(id, sizeof id, "%s", dimmer.unit_id());
  const bool found = dimmer.ConnectId(id, 0) == DimmerResult::kDone;
  dimmer.SetLog(log);
  if (!found) {
    dimmer.Disconnect();
    return;
  }
  // Found off, it keeps the level it was to come on at: nothing is sent.
  if (!dimmer.state().on && intensity_ > 0) dimmer.SetIntensity(static_cast<uint32_t>(intensity_));
  dimmer.Unlock();
  present_ = true;
  failed[0] = failed[1] = false;
  failure_text[0] = '\0';
  TakeState();
  char light[64];
  Tell(Level::kInfo, "The dimmer answers again: the light is %s.", Describe(light, sizeof light));
  listener.DimmerChanged();
}

void DimmerOwner::TakeState() {
  const LightState light = dimmer.state();
  on_ = light.on;
  intensity_ = light.intensity;
}

void DimmerOwner::Tell(Level level, const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  listener.DimmerMessage(level, text);
}

const char* DimmerOwner::Describe(char* out, size_t size) const {
  // Off, the level is never 0 here: a connect assumes the default level,
  // and Finish tells of level 0 itself.
  std::snprintf(out, size, on_ ? "on at %d" : "off; it will come on at %d",
                static_cast<int>(intensity_));
  return out;
}
