#include "indi/light_dimmer_driver.h"

#include <indiapi.h>
#include <indidevapi.h>
#include <indilogger.h>

#include <cmath>
#include <cstring>

#include "dimmer/hid_link.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"
#include "indi/simulated_hid_link.h"

// INDI 2.1 gave the light box interface property objects, new function
// names, and properties that it defines and saves itself.
#if INDI_VERSION_MAJOR > 2 || (INDI_VERSION_MAJOR == 2 && INDI_VERSION_MINOR >= 1)
#define LIGHT_BOX_API_2_1 1
#else
#define LIGHT_BOX_API_2_1 0
#endif

namespace {

// Connecting waits this long at most for a program that holds the dimmer:
// a change by quorlet or orvane takes a fraction of a second.
constexpr unsigned kConnectLockWaitMs = 5000;

// The dimmer code's warnings, as lines of the driver's own log: without the
// "[date time] " that the INDI log adds itself.
ssize_t WriteDimmerLog(void* driver, const char* text, size_t size) {
  const char* line = text;
  const char* end = text + size;
  while (line < end) {
    const char* newline = static_cast<const char*>(std::memchr(line, '\n', end - line));
    const char* line_end = newline != nullptr ? newline : end;
    const char* message = line;
    if (*message == '[') {
      const char* close = static_cast<const char*>(std::memchr(line, ']', line_end - line));
      if (close != nullptr && close + 1 < line_end) message = close + 2;
    }
    if (message < line_end) {
      DEBUGFDEVICE(static_cast<LightDimmerDriver*>(driver)->getDeviceName(),
                   INDI::Logger::DBG_WARNING, "%.*s", static_cast<int>(line_end - message),
                   message);
    }
    line = line_end + 1;
  }
  return static_cast<ssize_t>(size);
}

}  // namespace

#if LIGHT_BOX_API_2_1
LightDimmerDriver::LightDimmerDriver() : INDI::LightBoxInterface(this) {
#else
LightDimmerDriver::LightDimmerDriver() : INDI::LightBoxInterface(this, true) {
#endif
  setVersion(PROJECT_VERSION_MAJOR, PROJECT_VERSION_MINOR);
}

const char* LightDimmerDriver::getDefaultName() { return "USB Light Dimmer"; }

bool LightDimmerDriver::initProperties() {
  INDI::DefaultDevice::initProperties();
#if LIGHT_BOX_API_2_1
  INDI::LightBoxInterface::initProperties(MAIN_CONTROL_TAB, CAN_DIM);
  LightIntensityNP[0].setMinMax(0, kMaxIntensity);
  LightIntensityNP[0].setStep(1);
#else
  initLightBoxProperties(getDeviceName(), MAIN_CONTROL_TAB);
  LightIntensityN[0].max = kMaxIntensity;
  LightIntensityN[0].step = 1;
#endif
  setDriverInterface(AUX_INTERFACE | LIGHTBOX_INTERFACE);
  addAuxControls();

  if (dimmer_log == nullptr) {
    dimmer_log = fopencookie(this, "w", {nullptr, WriteDimmerLog, nullptr, nullptr});
    if (dimmer_log != nullptr) setvbuf(dimmer_log, nullptr, _IOLBF, 0);
    SetLogStream(dimmer_log);
  }
  return true;
}

void LightDimmerDriver::ISGetProperties(const char* dev) {
  INDI::DefaultDevice::ISGetProperties(dev);
#if LIGHT_BOX_API_2_1
  INDI::LightBoxInterface::ISGetProperties(dev);
#else
  isGetLightBoxProperties(dev);
#endif
}

bool LightDimmerDriver::updateProperties() {
  INDI::DefaultDevice::updateProperties();
#if LIGHT_BOX_API_2_1
  INDI::LightBoxInterface::updateProperties();
#else
  if (isConnected()) {
    defineProperty(&LightSP);
    defineProperty(&LightIntensityNP);
  } else {
    deleteProperty(LightSP.name);
    deleteProperty(LightIntensityNP.name);
  }
  updateLightBoxProperties();
#endif
  return true;
}

bool LightDimmerDriver::ISNewSwitch(const char* dev, const char* name, ISState* states,
                                    char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
      std::strcmp(name, "FLAT_LIGHT_CONTROL") == 0) {
    bool on = false;
    if (!RequestedSwitch(states, names, n, &on)) {
      return Refuse(Target::kSwitch, "Switch the light with FLAT_LIGHT_ON or FLAT_LIGHT_OFF.");
    }
    Request(Target::kSwitch, on);
    return true;
  }
#if LIGHT_BOX_API_2_1
  if (INDI::LightBoxInterface::processSwitch(dev, name, states, names, n)) return true;
#else
  if (processLightBoxSwitch(dev, name, states, names, n)) return true;
#endif
  return INDI::DefaultDevice::ISNewSwitch(dev, name, states, names, n);
}

bool LightDimmerDriver::ISNewNumber(const char* dev, const char* name, double values[],
                                    char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
      std::strcmp(name, "FLAT_LIGHT_INTENSITY") == 0) {
    for (int i = 0; i < n; ++i) {
      if (std::strcmp(names[i], "FLAT_LIGHT_INTENSITY_VALUE") != 0) continue;
      // Rounded to the nearest level, where the interface would truncate.
      if (!(values[i] >= -0.5 && values[i] < kMaxIntensity + 0.5)) {
        char message[128];
        std::snprintf(message, sizeof message,
                      "Intensity %g is outside 0-%d; the dimmer is left as it is.", values[i],
                      static_cast<int>(kMaxIntensity));
        return Refuse(Target::kIntensity, message);
      }
      Request(Target::kIntensity, static_cast<int32_t>(std::lround(values[i])));
    }
    return true;
  }
#if LIGHT_BOX_API_2_1
  if (INDI::LightBoxInterface::processNumber(dev, name, values, names, n)) return true;
#else
  if (processLightBoxNumber(dev, name, values, names, n)) return true;
#endif
  return INDI::DefaultDevice::ISNewNumber(dev, name, values, names, n);
}

bool LightDimmerDriver::ISNewText(const char* dev, const char* name, char* texts[],
                                  char* names[], int n) {
#if LIGHT_BOX_API_2_1
  if (INDI::LightBoxInterface::processText(dev, name, texts, names, n)) return true;
#else
  if (processLightBoxText(dev, name, texts, names, n)) return true;
#endif
  return INDI::DefaultDevice::ISNewText(dev, name, texts, names, n);
}

bool LightDimmerDriver::ISSnoopDevice(XMLEle* root) {
#if LIGHT_BOX_API_2_1
  INDI::LightBoxInterface::snoop(root);
#else
  snoopLightBox(root);
#endif
  return INDI::DefaultDevice::ISSnoopDevice(root);
}

bool LightDimmerDriver::saveConfigItems(FILE* fp) {
  INDI::DefaultDevice::saveConfigItems(fp);
  // The interface keeps the intensity only where it has no filter presets
  // (INDI 2.1 and later) or not at all (before): this driver always does.
#if LIGHT_BOX_API_2_1
  INDI::LightBoxInterface::saveConfigItems(fp);
  if (!FilterIntensityNP.isEmpty()) LightIntensityNP.save(fp);
#else
  saveLightBoxConfigItems(fp);
  IUSaveConfigNumber(fp, &LightIntensityNP);
#endif
  return true;
}

bool LightDimmerDriver::Connect() {
  UseHidLink(isSimulation() ? SimulatedHid() : SystemHid());
  if (!dimmer.Connect(kConnectLockWaitMs)) {
    dimmer.Disconnect();
    LOG_ERROR("Could not connect to the USB light dimmer (see the warnings above).");
    return false;
  }
  dimmer.Unlock();
  present = true;
  intensity_state = IPS_OK;
  switch_state = IPS_OK;
  Publish();
  LOGF_INFO("The light is %s, intensity %d.", dimmer.IsOn() == 1 ? "on" : "off",
            static_cast<int>(dimmer.Intensity()));
  poll_timer = SetTimer(getCurrentPollingPeriod());
  return true;
}

bool LightDimmerDriver::Disconnect() {
  if (poll_timer >= 0) RemoveTimer(poll_timer);
  if (step_timer >= 0) IERmTimer(step_timer);
  poll_timer = step_timer = -1;
  wanted_intensity = wanted_switch = kNone;
  step = Step::kIdle;
  lock_wait_started = -1;
  dimmer.Disconnect();
  present = false;
  return true;
}

bool LightDimmerDriver::SetLightBoxBrightness(uint16_t value) {
  return Request(Target::kIntensity, value);
}

bool LightDimmerDriver::EnableLightBox(bool enable) { return Request(Target::kSwitch, enable); }

bool LightDimmerDriver::Request(Target target, int32_t value) {
  const char* refusal = !isConnected() ? "The dimmer is not connected."
                        : !present      ? "The dimmer does not answer."
                                        : nullptr;
  if (refusal != nullptr) {
    Refuse(target, refusal);
    return false;
  }
  if (target == Target::kIntensity) {
    wanted_intensity = value;
    intensity_state = IPS_BUSY;
  } else {
    wanted_switch = value;
    switch_state = IPS_BUSY;
  }
  Publish();
  StartNext();
  return true;
}

void LightDimmerDriver::StartNext() {
  if (!isConnected() || !present || step != Step::kIdle) return;
  if (wanted_intensity == kNone && wanted_switch == kNone) return;
  if (!dimmer.TryLock()) {
    if (lock_wait_started < 0) lock_wait_started = MonotonicMillis();
    if (MonotonicMillis() - lock_wait_started >= kLockWaitMs) {
      FailRequests("The dimmer stayed in use by another program.");
      return;
    }
    step = Step::kWaitingForLock;
    step_timer = IEAddTimer(DimmerLock::kLockPollMs, OnStepTimer, this);
    return;
  }
  lock_wait_started = -1;
  step = Step::kChanging;
  int begun;
  // A level first, then the switch: a light switched on after a level was
  // asked for comes on at that level.
  if (wanted_intensity != kNone) {
    current = Target::kIntensity;
    current_value = wanted_intensity;
    wanted_intensity = kNone;
    begun = dimmer.BeginSetIntensity(static_cast<uint32_t>(current_value));
  } else {
    current = Target::kSwitch;
    current_value = wanted_switch;
    wanted_switch = kNone;
    begun = current_value == 1 ? dimmer.BeginTurnOn() : dimmer.BeginTurnOff();
  }
  if (begun == kChangeBusy) {
    Poll();
  } else {
    Finish(begun);
  }
}

void LightDimmerDriver::Poll() {
  const int state = dimmer.PollChange();
  if (state == kChangeBusy) {
    step_timer = IEAddTimer(kStatePollMs, OnStepTimer, this);
    return;
  }
  Finish(state);
}

void LightDimmerDriver::OnStepTimer(void* driver) {
  auto* self = static_cast<LightDimmerDriver*>(driver);
  self->step_timer = -1;
  if (self->step == Step::kChanging) {
    self->Poll();
  } else {
    self->step = Step::kIdle;
    self->StartNext();
  }
}

void LightDimmerDriver::Finish(int result) {
  dimmer.Unlock();
  step = Step::kIdle;
  const bool asked_for_more =
      current == Target::kIntensity ? wanted_intensity != kNone : wanted_switch != kNone;
  IPState& state = current == Target::kIntensity ? intensity_state : switch_state;
  if (result == 0) {
    state = asked_for_more ? IPS_BUSY : IPS_OK;
  } else {
    state = asked_for_more ? IPS_BUSY : IPS_ALERT;
    if (current == Target::kIntensity) {
      LOGF_ERROR("The dimmer did not take intensity %d; it keeps %d.",
                 static_cast<int>(current_value), static_cast<int>(dimmer.Intensity()));
    } else {
      LOGF_ERROR("The dimmer did not switch the light %s; it stays %s.",
                 current_value == 1 ? "on" : "off", dimmer.IsOn() == 1 ? "on" : "off");
    }
  }
  current_value = kNone;
  Publish();
  StartNext();
}

void LightDimmerDriver::FailRequests(const char* message) {
  if (wanted_intensity != kNone) intensity_state = IPS_ALERT;
  if (wanted_switch != kNone) switch_state = IPS_ALERT;
  wanted_intensity = wanted_switch = kNone;
  lock_wait_started = -1;
  step = Step::kIdle;
  LOGF_ERROR("%s", message);
  Publish();
}

void LightDimmerDriver::TimerHit() {
  if (!isConnected()) return;
  if (!present) {
    Reconnect();
  } else if (step == Step::kIdle && wanted_intensity == kNone && wanted_switch == kNone) {
    Refresh();
  }
  poll_timer = SetTimer(getCurrentPollingPeriod());
}

void LightDimmerDriver::Refresh() {
  // Another program is using the dimmer: look again next time.
  if (!dimmer.TryLock()) return;
  const int32_t was_on = dimmer.IsOn();
  const int32_t had = dimmer.Intensity();
  const int result = dimmer.Refresh();
  dimmer.Unlock();
  if (result != 0) {
    LoseDimmer("The dimmer does not answer: unplugged?");
    return;
  }
  if (dimmer.IsOn() != was_on || dimmer.Intensity() != had) Publish();
}

void LightDimmerDriver::Reconnect() {
  if (!dimmer.Connect(0)) {
    dimmer.Disconnect();
    return;
  }
  dimmer.Unlock();
  present = true;
  intensity_state = switch_state = IPS_OK;
  LOGF_INFO("The dimmer answers again: the light is %s, intensity %d.",
            dimmer.IsOn() == 1 ? "on" : "off", static_cast<int>(dimmer.Intensity()));
  Publish();
}

void LightDimmerDriver::LoseDimmer(const char* message) {
  wanted_intensity = wanted_switch = kNone;
  dimmer.Disconnect();
  present = false;
  intensity_state = switch_state = IPS_ALERT;
  LOGF_ERROR("%s Looking for it every %u ms.", message, getCurrentPollingPeriod());
  Publish();
}

bool LightDimmerDriver::Refuse(Target target, const char* message) {
  LOGF_WARN("%s", message);
  if (target == Target::kIntensity) {
    intensity_state = IPS_ALERT;
  } else {
    switch_state = IPS_ALERT;
  }
  Publish();
  return true;
}

void LightDimmerDriver::Publish() {
  double intensity = dimmer.Intensity() >= 0 ? dimmer.Intensity() : 0;
  if (wanted_intensity != kNone) {
    intensity = wanted_intensity;
  } else if (step == Step::kChanging && current == Target::kIntensity) {
    intensity = current_value;
  }
  bool on = dimmer.IsOn() == 1;
  if (wanted_switch != kNone) {
    on = wanted_switch == 1;
  } else if (step == Step::kChanging && current == Target::kSwitch) {
    on = current_value == 1;
  }
  PublishIntensity(intensity, intensity_state);
  PublishSwitch(on, switch_state);
}

#if LIGHT_BOX_API_2_1

void LightDimmerDriver::PublishIntensity(double value, IPState state) {
  LightIntensityNP[0].setValue(value);
  LightIntensityNP.setState(state);
  LightIntensityNP.apply();
}

void LightDimmerDriver::PublishSwitch(bool on, IPState state) {
  LightSP[FLAT_LIGHT_ON].setState(on ? ISS_ON : ISS_OFF);
  LightSP[FLAT_LIGHT_OFF].setState(on ? ISS_OFF : ISS_ON);
  LightSP.setState(state);
  LightSP.apply();
}

#else

void LightDimmerDriver::PublishIntensity(double value, IPState state) {
  LightIntensityN[0].value = value;
  LightIntensityNP.s = state;
  IDSetNumber(&LightIntensityNP, nullptr);
}

void LightDimmerDriver::PublishSwitch(bool on, IPState state) {
  LightS[FLAT_LIGHT_ON].s = on ? ISS_ON : ISS_OFF;
  LightS[FLAT_LIGHT_OFF].s = on ? ISS_OFF : ISS_ON;
  LightSP.s = state;
  IDSetSwitch(&LightSP, nullptr);
}

#endif

bool LightDimmerDriver::RequestedSwitch(ISState* states, char* names[], int n, bool* on) {
  for (int i = 0; i < n; ++i) {
    if (states[i] != ISS_ON) continue;
    if (std::strcmp(names[i], "FLAT_LIGHT_ON") == 0) {
      *on = true;
      return true;
    }
    if (std::strcmp(names[i], "FLAT_LIGHT_OFF") == 0) {
      *on = false;
      return true;
    }
  }
  return false;
}
