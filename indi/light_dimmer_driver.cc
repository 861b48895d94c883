#include "indi/light_dimmer_driver.h"

#include <indiapi.h>
#include <indidevapi.h>
#include <indilogger.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "dimmer/hid_link.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"
#include "simulation/simulated_hid_link.h"

namespace {

// The dimmer code's lines, as lines of the driver's own log: without the
// "[date time] " and the level word, which the INDI log gives itself.
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
    INDI::Logger::VerbosityLevel level = INDI::Logger::DBG_WARNING;
    for (const auto& word : {std::make_pair("WARN: ", INDI::Logger::DBG_WARNING),
                             std::make_pair("ERROR: ", INDI::Logger::DBG_ERROR)}) {
      const size_t length = std::strlen(word.first);
      if (static_cast<size_t>(line_end - message) >= length &&
          std::memcmp(message, word.first, length) == 0) {
        message += length;
        level = word.second;
      }
    }
    if (message < line_end) {
      DEBUGFDEVICE(static_cast<LightDimmerDriver*>(driver)->getDeviceName(), level, "%.*s",
                   static_cast<int>(line_end - message), message);
    }
    line = line_end + 1;
  }
  return static_cast<ssize_t>(size);
}

constexpr char kUnitProperty[] = "DIMMER_UNIT";
constexpr char kFirstUnit[] = "FIRST";

}  // namespace

const char* LightDimmerDriver::getDefaultName() { return "USB Light Dimmer"; }

bool LightDimmerDriver::initProperties() {
  INDI::DefaultDevice::initProperties();
  InitLightBox();
  setDriverInterface(AUX_INTERFACE | LIGHTBOX_INTERFACE);
  addAuxControls();

  if (dimmer_log == nullptr) {
    dimmer_log = fopencookie(this, "w", {nullptr, WriteDimmerLog, nullptr, nullptr});
    if (dimmer_log != nullptr) setvbuf(dimmer_log, nullptr, _IOLBF, 0);
  }
  return true;
}

void LightDimmerDriver::ISGetProperties(const char* dev) {
  INDI::DefaultDevice::ISGetProperties(dev);
  GetLightBoxProperties(dev);
  if (!units_listed) {
    ListUnits();
    // The choice is needed before the first Connect, which loads the rest;
    // INDI loads only properties that are defined.
    loadConfig(true, kUnitProperty);
  }
}

const HidLink& LightDimmerDriver::Hid() const {
  return isSimulation() ? SimulatedHid() : SystemHid();
}

void LightDimmerDriver::ListUnits() {
  DimmerUnit units[kMaxDimmerUnits];
  const int count = ListDimmerUnits(Hid(), units);
  if (units_listed) deleteProperty(kUnitProperty);
  UnitSP.resize(0);
  bool chosen_attached = chosen_unit[0] == '\0';
  INDI::WidgetView<ISwitch> first;
  first.fill(kFirstUnit, "The first attached", chosen_attached ? ISS_ON : ISS_OFF);
  UnitSP.push(std::move(first));
  for (int i = 0; i < count; ++i) {
    const DimmerUnit& unit = units[i];
    if (std::strlen(unit.id) >= MAXINDINAME) continue;  // no element could be named so
    const bool chosen = std::strcmp(unit.id, chosen_unit) == 0;
    chosen_attached |= chosen;
    char label[256];  // INDI keeps what fits
    std::snprintf(label, sizeof label, "%s (serial %s, port %s)", unit.id,
                  unit.serial[0] != '\0' ? unit.serial : "-", unit.port[0] != '\0' ? unit.port : "-");
    INDI::WidgetView<ISwitch> element;
    element.fill(unit.id, label, chosen ? ISS_ON : ISS_OFF);
    UnitSP.push(std::move(element));
  }
  if (!chosen_attached) {
    char label[256];  // INDI keeps what fits
    std::snprintf(label, sizeof label, "%s (not attached)", chosen_unit);
    INDI::WidgetView<ISwitch> element;
    element.fill(chosen_unit, label, ISS_ON);
    UnitSP.push(std::move(element));
  }
  UnitSP.fill(getDeviceName(), kUnitProperty, "Dimmer", OPTIONS_TAB, IP_RW, ISR_1OFMANY, 60,
              IPS_IDLE);
  defineProperty(UnitSP);
  units_listed = true;
}

bool LightDimmerDriver::ChooseUnit(ISState* states, char* names[], int n) {
  const char* chosen = nullptr;
  for (int i = 0; i < n; ++i) {
    if (states[i] == ISS_ON) chosen = names[i];
  }
  if (chosen == nullptr || std::strlen(chosen) >= sizeof chosen_unit) return false;
  if (std::strcmp(chosen, kFirstUnit) == 0) chosen = "";
  const bool changed = std::strcmp(chosen, chosen_unit) != 0;
  std::snprintf(chosen_unit, sizeof chosen_unit, "%s", chosen);
  ListUnits();
  if (changed && isConnected()) {
    LOGF_INFO("The dimmer %s is used from the next Connect on.",
              chosen_unit[0] != '\0' ? chosen_unit : "attached first");
  }
  return true;
}

bool LightDimmerDriver::updateProperties() {
  INDI::DefaultDevice::updateProperties();
  // Their values first, so that the definitions carry the dimmer's state.
  if (isConnected()) Fill();
  UpdateLightBox();
  lights_defined = isConnected();
  return true;
}

bool LightDimmerDriver::ISNewSwitch(const char* dev, const char* name, ISState* states,
                                    char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
      std::strcmp(name, kUnitProperty) == 0) {
    return ChooseUnit(states, names, n);
  }
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
      std::strcmp(name, "FLAT_LIGHT_CONTROL") == 0) {
    bool on = false;
    if (!RequestedSwitch(states, names, n, &on)) {
      return Refuse(DimmerTarget::kSwitch, "Switch the light with FLAT_LIGHT_ON or FLAT_LIGHT_OFF.");
    }
    Request(DimmerTarget::kSwitch, on);
    return true;
  }
  if (LightBoxSwitch(dev, name, states, names, n)) return true;
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
        return Refuse(DimmerTarget::kIntensity, message);
      }
      Request(DimmerTarget::kIntensity, static_cast<int32_t>(std::lround(values[i])));
    }
    return true;
  }
  if (LightBoxNumber(dev, name, values, names, n)) return true;
  return INDI::DefaultDevice::ISNewNumber(dev, name, values, names, n);
}

bool LightDimmerDriver::ISNewText(const char* dev, const char* name, char* texts[],
                                  char* names[], int n) {
  if (LightBoxText(dev, name, texts, names, n)) return true;
  return INDI::DefaultDevice::ISNewText(dev, name, texts, names, n);
}

bool LightDimmerDriver::ISSnoopDevice(XMLEle* root) {
  SnoopLightBox(root);
  return INDI::DefaultDevice::ISSnoopDevice(root);
}

bool LightDimmerDriver::saveConfigItems(FILE* fp) {
  INDI::DefaultDevice::saveConfigItems(fp);
  if (units_listed) UnitSP.save(fp);
  // With the intensity, which the interface does not always keep.
  SaveLightBox(fp);
  return true;
}

bool LightDimmerDriver::Connect() {
  ListUnits();
  owner.Use(Hid(), dimmer_log);
  owner.set_refresh_period(getCurrentPollingPeriod());
  if (owner.Connect(kConnectLockWaitMs, chosen_unit) != DimmerResult::kDone) {
    LOG_ERROR("Could not connect to the USB light dimmer (see the warnings above).");
    return false;
  }
  LOGF_INFO("Connected to the dimmer %s.", owner.unit_id());
  refused[0] = refused[1] = false;
  // The first refresh comes after the properties are defined.
  work_timer = IEAddTimer(static_cast<int>(owner.refresh_period_ms()), OnWorkTimer, this);
  return true;
}

bool LightDimmerDriver::Disconnect() {
  if (work_timer >= 0) IERmTimer(work_timer);
  work_timer = -1;
  owner.Disconnect();
  return true;
}

void LightDimmerDriver::simulationTriggered(bool enable) {
  if (isConnected()) {
    LOGF_INFO("The %s dimmer is used from the next Connect on.",
              enable ? "simulated" : "USB");
  }
}

bool LightDimmerDriver::SetLightBoxBrightness(uint16_t value) {
  return Request(DimmerTarget::kIntensity, value);
}

bool LightDimmerDriver::EnableLightBox(bool enable) {
  return Request(DimmerTarget::kSwitch, enable);
}

bool LightDimmerDriver::Request(DimmerTarget target, int32_t value) {
  const DimmerResult queued =
      isConnected() ? owner.Request(target, value) : DimmerResult::kNotConnected;
  if (queued != DimmerResult::kDone) {
    Refuse(target, queued == DimmerResult::kNotConnected ? "The dimmer is not connected."
                                                         : "The dimmer does not answer.");
    return false;
  }
  refused[static_cast<int>(target)] = false;
  Publish();
  Work();
  return true;
}

bool LightDimmerDriver::Refuse(DimmerTarget target, const char* message) {
  LOGF_WARN("%s", message);
  refused[static_cast<int>(target)] = true;
  Publish();
  return true;
}

void LightDimmerDriver::Work() {
  if (work_timer >= 0) IERmTimer(work_timer);
  work_timer = -1;
  if (!isConnected()) return;
  owner.set_refresh_period(getCurrentPollingPeriod());
  const unsigned delay = owner.Run();
  work_timer = IEAddTimer(static_cast<int>(delay), OnWorkTimer, this);
}

void LightDimmerDriver::OnWorkTimer(void* driver) {
  auto* self = static_cast<LightDimmerDriver*>(driver);
  self->work_timer = -1;
  self->Work();
}

void LightDimmerDriver::DimmerChanged() { Publish(); }

void LightDimmerDriver::DimmerMessage(DimmerOwner::Level level, const char* text) {
  const INDI::Logger::VerbosityLevel verbosity =
      level == DimmerOwner::Level::kError     ? INDI::Logger::DBG_ERROR
      : level == DimmerOwner::Level::kWarning ? INDI::Logger::DBG_WARNING
                                              : INDI::Logger::DBG_SESSION;
  DEBUGFDEVICE(getDeviceName(), verbosity, "%s", text);
}

IPState LightDimmerDriver::StateOf(DimmerTarget target) const {
  if (!owner.present()) return IPS_ALERT;
  if (owner.Busy(target)) return IPS_BUSY;
  return refused[static_cast<int>(target)] || owner.Failed(target) ? IPS_ALERT : IPS_OK;
}

void LightDimmerDriver::Publish() {
  Fill();
  // A request for a property that is not defined (the driver is not
  // connected) is answered in the log alone.
  if (lights_defined) Send();
}

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
