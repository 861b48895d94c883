#include "alpaca/cover_calibrator.h"

#include <cstdio>
#include <cstring>


namespace {

// CalibratorState and CoverState values.
constexpr int kCalibratorOff = 1;
constexpr int kCalibratorNotReady = 2;
constexpr int kCalibratorReady = 3;
constexpr int kCalibratorError = 5;
constexpr int kCoverNotPresent = 0;

MemberResult Error(int number, std::string message) {
  return {nullptr, number, std::move(message), ""};
}

MemberResult Value(Json value) { return {std::move(value), 0, "", ""}; }

const char kLostMessage[] = "The dimmer does not answer (unplugged?); nothing was changed.";

}  // namespace

struct MemberTable {
  using C = CoverCalibrator;
  static constexpr Parameter kNone = Parameter::kNone;
  // name, PUT, needs a connection, parameter, handler
  static constexpr Member kMembers[] = {
      {"action", true, true, Parameter::kAction, &C::Action},
      {"commandblind", true, true, Parameter::kCommand, &C::NotImplemented},
      {"commandbool", true, true, Parameter::kCommand, &C::NotImplemented},
      {"commandstring", true, true, Parameter::kCommand, &C::NotImplemented},
      {"connect", true, false, kNone, &C::Connect},
      {"connected", false, false, kNone, &C::GetConnected},
      {"connected", true, false, Parameter::kConnected, &C::PutConnected},
      {"connecting", false, false, kNone, &C::Connecting},
      {"description", false, false, kNone, &C::Description},
      {"devicestate", false, true, kNone, &C::DeviceState},
      {"disconnect", true, false, kNone, &C::Disconnect},
      {"driverinfo", false, false, kNone, &C::DriverInfo},
      {"driverversion", false, false, kNone, &C::DriverVersion},
      {"interfaceversion", false, false, kNone, &C::InterfaceVersion},
      {"name", false, false, kNone, &C::Name},
      {"supportedactions", false, false, kNone, &C::SupportedActions},
      {"brightness", false, true, kNone, &C::Brightness},
      {"calibratorchanging", false, true, kNone, &C::CalibratorChanging},
      {"calibratorstate", false, true, kNone, &C::CalibratorState},
      {"covermoving", false, true, kNone, &C::CoverMoving},
      {"coverstate", false, true, kNone, &C::CoverState},
      {"maxbrightness", false, true, kNone, &C::MaxBrightness},
      {"calibratoroff", true, true, kNone, &C::CalibratorOff},
      {"calibratoron", true, true, Parameter::kBrightness, &C::CalibratorOn},
      {"closecover", true, true, kNone, &C::NoCover},
      {"haltcover", true, true, kNone, &C::NoCover},
      {"opencover", true, true, kNone, &C::NoCover},
  };
};

const Member* CoverCalibrator::Find(std::string_view name, bool put) {
  for (const Member& member : MemberTable::kMembers) {
    if (name == member.name && member.put == put) return &member;
  }
  return nullptr;
}

bool CoverCalibrator::Known(std::string_view name) {
  return Find(name, false) != nullptr || Find(name, true) != nullptr;
}

MemberResult CoverCalibrator::Call(const Member& member, uint32_t client,
                                   const MemberArguments& arguments) {
  const DimmerService::State state = service.Snapshot();
  Heard(client);
  if (member.needs_connection && !IsConnected(client, state)) {
    return Error(kNotConnectedError, "Not connected: connect first (Connected=True, or Connect).");
  }
  return (this->*member.handler)({client, arguments, state});
}

void CoverCalibrator::Settle(uint32_t client, const DimmerService::State& state) {
  if (state.connecting) return;
  if (connecting.erase(client) != 0) {
    if (state.connected) {
      connected.insert(client);
    } else {
      heard.erase(client);
      if (connect_errors.size() >= kMaxClients) connect_errors.clear();
      connect_errors[client] = state.connect_error;
    }
  }
  disconnecting.erase(client);
}

bool CoverCalibrator::IsConnected(uint32_t client, const DimmerService::State& state) {
  {
    std::shared_lock<std::shared_mutex> lock(mutex);
    if (connecting.count(client) == 0 && disconnecting.count(client) == 0) {
      return state.connected && connected.count(client) != 0;
    }
  }
  std::lock_guard<std::shared_mutex> lock(mutex);
  Settle(client, state);
  return state.connected && connected.count(client) != 0;
}

MemberResult CoverCalibrator::GetConnected(const MemberCall& call) {
  return Value(IsConnected(call.client, call.state));
}

bool CoverCalibrator::Forget(uint32_t client) {
  connected.erase(client);
  connecting.erase(client);
  connect_errors.erase(client);
  heard.erase(client);
  return connected.empty() && connecting.empty();
}

void CoverCalibrator::Heard(uint32_t client) {
  std::shared_lock<std::shared_mutex> lock(mutex);
  const auto found = heard.find(client);
  if (found != heard.end()) found->second.store(++requests, std::memory_order_relaxed);
}

void CoverCalibrator::Admit(uint32_t client) {
  const bool known = heard.count(client) != 0;
  if (!known && heard.size() >= kMaxClients) {
    auto oldest = heard.begin();
    for (auto entry = heard.begin(); entry != heard.end(); ++entry) {
      if (entry->second.load(std::memory_order_relaxed) <
          oldest->second.load(std::memory_order_relaxed)) {
        oldest = entry;
      }
    }
    connected.erase(oldest->first);
    connecting.erase(oldest->first);
    heard.erase(oldest);
  }
  heard[client].store(++requests, std::memory_order_relaxed);
  connect_errors.erase(client);
  disconnecting.erase(client);
  // Counted before the connect is asked for, so that no other client's
  // disconnect closes the dimmer meanwhile.
  connecting.insert(client);
}

MemberResult CoverCalibrator::PutConnected(const MemberCall& call) {
  std::unique_lock<std::shared_mutex> lock(mutex);
  if (!call.arguments.connected) {
    const bool last = Forget(call.client);
    lock.unlock();
    if (last && call.state.connected) {
      service.PostDisconnect();
      service.WaitWhileConnecting();
    }
    return {};
  }
  Admit(call.client);
  lock.unlock();
  DimmerService::State state = call.state;
  if (!state.connected || state.connecting) {
    service.PostConnect();
    service.WaitWhileConnecting();
    state = service.Snapshot();
  }
  lock.lock();
  connecting.erase(call.client);
  if (!state.connected) {
    heard.erase(call.client);
    return Error(kConnectFailed, "Could not connect: " + state.connect_error);
  }
  connected.insert(call.client);
  // Back in the table if others took its place while it waited.
  heard[call.client].store(++requests, std::memory_order_relaxed);
  return {};
}

MemberResult CoverCalibrator::Connect(const MemberCall& call) {
  {
    std::lock_guard<std::shared_mutex> lock(mutex);
    Admit(call.client);
    if (call.state.connected && !call.state.connecting) {
      connecting.erase(call.client);
      connected.insert(call.client);
      return {};
    }
  }
  service.PostConnect();
  return {};
}

MemberResult CoverCalibrator::Disconnect(const MemberCall& call) {
  {
    std::lock_guard<std::shared_mutex> lock(mutex);
    if (!Forget(call.client) || !call.state.connected) return {};
    disconnecting.insert(call.client);
  }
  service.PostDisconnect();
  return {};
}

MemberResult CoverCalibrator::Connecting(const MemberCall& call) {
  std::lock_guard<std::shared_mutex> lock(mutex);
  Settle(call.client, call.state);
  const auto error = connect_errors.find(call.client);
  if (error != connect_errors.end()) {
    return Error(kConnectFailed, "Could not connect: " + error->second);
  }
  return Value(connecting.count(call.client) != 0 || disconnecting.count(call.client) != 0);
}

MemberResult CoverCalibrator::Action(const MemberCall& call) {
  return Error(kActionNotImplemented,
               "Action \"" + call.arguments.action + "\" is not implemented: this device has none.");
}

MemberResult CoverCalibrator::NotImplemented(const MemberCall&) {
  return Error(kNotImplemented, "Commands are not implemented: this device takes none.");
}

MemberResult CoverCalibrator::NoCover(const MemberCall&) {
  return Error(kNotImplemented, "This device has no cover.");
}

MemberResult CoverCalibrator::Description(const MemberCall&) {
  return Value("USB light dimmer: a flat light with brightness 0-" DIMMER_MAX_INTENSITY_TEXT
               ", and no cover");
}

MemberResult CoverCalibrator::DriverInfo(const MemberCall&) {
  return Value("alpaca_light_dimmer " PROJECT_VERSION_TEXT ", the Alpaca server for the USB light dimmer");
}

MemberResult CoverCalibrator::DriverVersion(const MemberCall&) {
  // Major and minor only, as ASCOM asks.
  const char* version = PROJECT_VERSION_TEXT;
  const char* second_dot = std::strchr(std::strchr(version, '.') + 1, '.');
  return Value(std::string(version, second_dot));
}

MemberResult CoverCalibrator::InterfaceVersion(const MemberCall&) { return Value(2); }

std::string CoverCalibrator::DeviceName() const {
  const std::string unit = several ? service.UnitId() : "";
  return unit.empty() ? kDeviceName : std::string(kDeviceName) + " " + unit;
}

MemberResult CoverCalibrator::Name(const MemberCall&) { return Value(DeviceName()); }

MemberResult CoverCalibrator::SupportedActions(const MemberCall&) {
  return Value(Json::array());
}

int CoverCalibrator::StateOf(const DimmerService::State& state) {
  if (!state.present || !state.failure.empty()) return kCalibratorError;
  if (state.changing) return kCalibratorNotReady;
  return state.on || state.on_at_zero ? kCalibratorReady : kCalibratorOff;
}

int32_t CoverCalibrator::BrightnessOf(const DimmerService::State& state) {
  return state.on ? state.intensity : 0;
}

bool CoverCalibrator::DeviceStateValues::operator==(const DeviceStateValues& other) const {
  return brightness == other.brightness && calibrator_state == other.calibrator_state &&
         changing == other.changing && std::strcmp(read_at, other.read_at) == 0;
}

Json CoverCalibrator::DeviceStateValue(const DeviceStateValues& values) {
  Json list = Json::array();
  list.get_ref<Json::array_t&>().reserve(6);
  // Built in place, as initializer lists would copy.
  auto add = [&list](const char* name, Json value) {
    Json::object_t& entry = list.emplace_back(Json::value_t::object).get_ref<Json::object_t&>();
    entry.reserve(2);
    entry.emplace_back("Name", name);
    entry.emplace_back("Value", std::move(value));
  };
  add("Brightness", values.brightness);
  add("CalibratorState", values.calibrator_state);
  add("CoverState", kCoverNotPresent);
  // Left out while reading it would answer an error, as ASCOM asks.
  if (values.changing >= 0) add("CalibratorChanging", values.changing == 1);
  add("CoverMoving", false);
  add("TimeStamp", values.read_at);
  return list;
}

MemberResult CoverCalibrator::DeviceState(const MemberCall& call) {
  DeviceStateValues values;
  values.brightness = BrightnessOf(call.state);
  values.calibrator_state = StateOf(call.state);
  const MemberResult changing = CalibratorChanging(call);
  if (changing.error_number == 0) values.changing = changing.value.get<bool>() ? 1 : 0;
  std::memcpy(values.read_at, call.state.read_at, sizeof(values.read_at));
  MemberResult result;
  {
    std::shared_lock<std::shared_mutex> lock(device_state_mutex);
    if (!device_state_text.empty() && values == device_state_of) {
      result.value_text = device_state_text;
      return result;
    }
  }
  result.value_text = DeviceStateValue(values).dump(-1, ' ', false, Json::error_handler_t::replace);
  std::lock_guard<std::shared_mutex> lock(device_state_mutex);
  device_state_text = result.value_text;
  device_state_of = values;
  return result;
}

MemberResult CoverCalibrator::Brightness(const MemberCall& call) {
  return Value(BrightnessOf(call.state));
}

MemberResult CoverCalibrator::MaxBrightness(const MemberCall&) {
  return Value(kMaxBrightness);
}

MemberResult CoverCalibrator::CalibratorState(const MemberCall& call) {
  return Value(StateOf(call.state));
}

MemberResult CoverCalibrator::CalibratorChanging(const MemberCall& call) {
  const DimmerService::State& state = call.state;
  if (!state.present) return Error(kDimmerLost, "The dimmer does not answer (unplugged?).");
  if (!state.failure.empty()) return Error(kChangeFailed, state.failure);
  return Value(state.changing);
}

MemberResult CoverCalibrator::CoverState(const MemberCall&) {
  return Value(kCoverNotPresent);
}

MemberResult CoverCalibrator::CoverMoving(const MemberCall&) { return Value(false); }

MemberResult CoverCalibrator::CalibratorOn(const MemberCall& call) {
  const int32_t brightness = call.arguments.brightness;
  if (brightness < 0 || brightness > kMaxBrightness) {
    return Error(kInvalidValue, "Brightness " + std::to_string(brightness) +
                                    " is outside 0-" + std::to_string(kMaxBrightness) + ".");
  }
  if (!call.state.present) return Error(kDimmerLost, kLostMessage);
  service.PostOn(brightness);
  return {};
}

MemberResult CoverCalibrator::CalibratorOff(const MemberCall& call) {
  if (!call.state.present) return Error(kDimmerLost, kLostMessage);
  service.PostOff();
  return {};
}
