// A dimmer as ASCOM's CoverCalibrator: its members, each one
// row of a table and one small function, answering from the state that the
// dimmer service publishes.
//
// Each client connects for itself, told apart by its ClientID: Connected,
// Connect and Disconnect change only the asking client's connection. The
// dimmer is opened when the first client connects and closed when the last
// one disconnects, so one program disconnecting never takes the dimmer from
// another. A client that has not connected gets NotConnected from every
// member that needs the device.
//
// The server keeps up to kMaxClients clients. When a new one connects with
// the table full, the client heard from least recently is forgotten to make
// room: one that vanished without disconnecting, most likely, as a client
// that still polls has been heard from more recently than all but the last
// kMaxClients others.
#ifndef ALPACA_COVER_CALIBRATOR_H_
#define ALPACA_COVER_CALIBRATOR_H_

#include <cstdint>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "alpaca/dimmer_service.h"
#include "dimmer/dimmer_protocol.h"

// ASCOM's error numbers, and this driver's own from 0x500 on.
constexpr int kNotImplemented = 0x400;
constexpr int kInvalidValue = 0x401;
constexpr int kNotConnectedError = 0x407;
constexpr int kActionNotImplemented = 0x40C;
constexpr int kConnectFailed = 0x500;
constexpr int kChangeFailed = 0x501;
constexpr int kDimmerLost = 0x502;

// JSON whose objects keep their members in the order given, as replies
// read best ("Value" first), and which builds with fewer allocations.
using Json = nlohmann::ordered_json;

// What a member answers: a value (null for a method), or an ASCOM error.
struct MemberResult {
  Json value;
  int error_number = 0;
  std::string error_message;
  std::string value_text;  // the value already written as JSON, instead of `value`
};

// The parameter a member takes, which the transport checks and reads.
enum class Parameter {
  kNone,
  kBrightness,  // Brightness: a 32-bit integer
  kConnected,   // Connected: True or False
  kAction,      // Action and Parameters: text
  kCommand,     // Command: text, and Raw: True or False
};

struct MemberArguments {
  int32_t brightness = 0;
  bool connected = false;
  std::string action;
};

// One call of a member: who asks, with what, and the state it sees.
struct MemberCall {
  uint32_t client;
  const MemberArguments& arguments;
  const DimmerService::State& state;
};

class CoverCalibrator;

struct Member {
  const char* name;  // in lower case, as it stands in the URL
  bool put;          // PUT, else GET
  bool needs_connection;
  Parameter parameter;
  MemberResult (CoverCalibrator::*handler)(const MemberCall& call);
};

class CoverCalibrator {
 public:
  // The dimmer `service` serves; `several` says whether the server serves
  // more than this one, so that names must tell them apart.
  CoverCalibrator(DimmerService& service, const std::atomic<bool>& several)
      : service(service), several(several) {}

  static constexpr const char* kDeviceName = "USB Light Dimmer";
  // kDeviceName, followed by the unit's ID where the server serves several.
  std::string DeviceName() const;
  static constexpr int32_t kMaxBrightness = kMaxIntensity;

  // The member of that name and verb, or null.
  static const Member* Find(std::string_view name, bool put);
  // Whether there is a member of that name, with either verb.
  static bool Known(std::string_view name);
  // Calls it for `client`, applying the connection gate first.
  MemberResult Call(const Member& member, uint32_t client, const MemberArguments& arguments);

 private:
  friend struct MemberTable;

  MemberResult Action(const MemberCall& call);
  MemberResult NotImplemented(const MemberCall& call);
  MemberResult NoCover(const MemberCall& call);
  MemberResult GetConnected(const MemberCall& call);
  MemberResult PutConnected(const MemberCall& call);
  MemberResult Connect(const MemberCall& call);
  MemberResult Disconnect(const MemberCall& call);
  MemberResult Connecting(const MemberCall& call);
  MemberResult Description(const MemberCall& call);
  MemberResult DriverInfo(const MemberCall& call);
  MemberResult DriverVersion(const MemberCall& call);
  MemberResult InterfaceVersion(const MemberCall& call);
  MemberResult Name(const MemberCall& call);
  MemberResult SupportedActions(const MemberCall& call);
  MemberResult DeviceState(const MemberCall& call);
  MemberResult Brightness(const MemberCall& call);
  MemberResult MaxBrightness(const MemberCall& call);
  MemberResult CalibratorState(const MemberCall& call);
  MemberResult CalibratorChanging(const MemberCall& call);
  MemberResult CoverState(const MemberCall& call);
  MemberResult CoverMoving(const MemberCall& call);
  MemberResult CalibratorOn(const MemberCall& call);
  MemberResult CalibratorOff(const MemberCall& call);

  // Settles a connect or disconnect that `client` started and that has
  // finished; call with `mutex` held.
  void Settle(uint32_t client, const DimmerService::State& state);
  bool IsConnected(uint32_t client, const DimmerService::State& state);
  // Drops `client`'s connection; whether no client is left. With `mutex`.
  bool Forget(uint32_t client);
  // Counts `client` as connecting, forgetting the client heard from least
  // recently if the table is full. With `mutex`.
  void Admit(uint32_t client);
  // Notes that `client` was heard from, if it is in the table.
  void Heard(uint32_t client);
  // The light's ASCOM state: Off, NotReady, Ready or Error.
  static int StateOf(const DimmerService::State& state);
  static int32_t BrightnessOf(const DimmerService::State& state);

  static constexpr size_t kMaxClients = 1000;

  // What DeviceState's value is made of, and that value as JSON text.
  struct DeviceStateValues {
    int32_t brightness = -1;
    int calibrator_state = -1;
    int changing = -1;  // 0 or 1, or -1 while reading it answers an error
    char read_at[sizeof(DimmerService::State::read_at)] = {};
    bool operator==(const DeviceStateValues& other) const;
  };
  static Json DeviceStateValue(const DeviceStateValues& values);

  DimmerService& service;
  const std::atomic<bool>& several;
  // Shared by the requests that only read the clients, as nearly all do
  // (see DimmerService::shared_mutex).
  std::shared_mutex mutex;
  std::set<uint32_t> connected;
  std::set<uint32_t> connecting;     // asked Connect, not yet settled
  std::set<uint32_t> disconnecting;  // asked Disconnect, not yet settled
  std::map<uint32_t, std::string> connect_errors;  // until the next Connect
  // For each client connected or connecting, when it was last heard from,
  // on a clock that counts requests. Written under a shared lock.
  std::map<uint32_t, std::atomic<uint64_t>> heard;
  std::atomic<uint64_t> requests{0};

  // Clients poll DeviceState several times a second, and it changes about
  // once a second: its text is written once per change.
  std::shared_mutex device_state_mutex;
  DeviceStateValues device_state_of;
  std::string device_state_text;
};

#endif  // ALPACA_COVER_CALIBRATOR_H_
