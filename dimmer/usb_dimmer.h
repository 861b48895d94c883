// The USB light dimmer: its HID report protocol and the connection object
// that turns requests (set an intensity, switch on, switch off) into
// exchanges with the device.
#ifndef DIMMER_USB_DIMMER_H_
#define DIMMER_USB_DIMMER_H_

#include <cstdint>
#include <cstdio>

#include <hidapi/hidapi.h>

#include "dimmer/dimmer_lock.h"
#include "dimmer/dimmer_protocol.h"
#include "dimmer/dimmer_units.h"
#include "dimmer/hid_link.h"

constexpr int kReadTimeoutMs = 5000;
constexpr unsigned kStatePollMs = 100;
// A device that never reports idle must not hang its caller: 300 polls
// are about half a minute of waiting.
constexpr int kMaxStatePolls = 300;
// How long a run waits for another program to finish with the dimmer:
// longer than any sequence of exchanges lasts (a change that polls 300
// times takes about 35 s at most).
constexpr unsigned kLockWaitMs = 60000;
// Answers already waiting when a sequence starts belong to someone else;
// the kernel keeps at most 64 for a handle.
constexpr int kMaxStaleAnswers = 64;
constexpr int32_t kDefaultIntensity = 900;

// What became of an operation on the device: the one way the dimmer code
// says what went wrong, which each program puts in its own words.
enum class DimmerResult {
  kDone,          // done, or nothing needed sending
  kBusy,          // a change is under way: poll it again after kStatePollMs
  kNotConnected,  // no dimmer is open
  kIoError,       // an exchange failed, or the device stayed busy too long
  // Why Connect failed:
  kAbsent,        // no dimmer is attached
  kInUse,         // another program kept it for the whole wait
  kNotPermitted,  // attached, but this user may not open it
  kDenied,        // attached and this user may open it, yet it did not open
  kUnreadable,    // opened, but its intensity could not be read
};

// The light as last read from or given to the device. While it is off,
// `intensity` is the level it comes on at.
struct LightState {
  bool on;
  int32_t intensity;
};

// One exchange's buffer: the request is built in it, and the device's
// answer is read back into it.
struct DimmerReport {
  unsigned char bytes[kReportSize];
};

// An open dimmer as its exchanges need it: the handle, the HIDAPI calls
// that reach it, and the stream its warnings go to (null: none).
struct DimmerIo {
  const HidLink* hid;
  hid_device* dev;
  std::FILE* log;
};

// Reads the intensity the device reports (0-65535) into `intensity`:
// kDone or kIoError.
DimmerResult QueryIntensity(const DimmerIo& io, int32_t* intensity);

// One change of intensity on the device, in steps, for a caller that must
// not wait in between: setinten and setstate, then getstate polls until
// the device reports idle.
class IntensityChange {
 public:
  // Sends setinten and setstate; kBusy (poll now) or kIoError.
  DimmerResult Begin(const DimmerIo& io, int32_t value);
  // One getstate poll: kDone when the device has finished, kBusy while it
  // works, kIoError when an exchange failed or the device stayed busy for
  // kMaxStatePolls polls.
  DimmerResult Poll(const DimmerIo& io);

 private:
  int polls = 0;
};

// Sets the intensity and waits until the device has finished the change:
// kDone or kIoError.
DimmerResult ApplyIntensity(const DimmerIo& io, int32_t value);

// Reads, without waiting, whatever answers are waiting on the handle, so
// that the next read is the answer to the next request.
void DrainAnswers(const DimmerIo& io);

// The dimmer as seen by one program run. It owns the device handle from
// Connect to Disconnect, holds the dimmer's lock for as long, and remembers
// the intensity and the on/off state as last read from or given to the
// device.
class UsbDimmer {
 public:
  // The dimmer behind `hid`, its warnings written to `log` (null: none).
  explicit UsbDimmer(const HidLink& hid = SystemHid(), std::FILE* log = nullptr)
      : hid(&hid), log(log) {}
  ~UsbDimmer() { Disconnect(); }
  UsbDimmer(const UsbDimmer&) = delete;
  UsbDimmer& operator=(const UsbDimmer&) = delete;

  // Waits up to `lock_wait_ms` until no other program uses `unit`, opens it
  // and reads its intensity, and keeps the unit's lock: kDone, or why it
  // failed (kAbsent for a null `unit`, kInUse, kNotPermitted, kDenied,
  // kUnreadable). Call Disconnect afterwards even when this fails.
  DimmerResult ConnectTo(const DimmerUnit* unit, unsigned lock_wait_ms = kLockWaitMs);
  // The same for the attached unit whose ID is `id` (kAbsent when there is
  // none), or with a null or empty `id` the first in the stable order.
  DimmerResult ConnectId(const char* id, unsigned lock_wait_ms = kLockWaitMs);
  DimmerResult Connect(unsigned lock_wait_ms = kLockWaitMs) { return ConnectId(nullptr, lock_wait_ms); }
  // The ID of the unit last connected to (empty before the first Connect).
  const char* unit_id() const { return id; }
  // Another device behind the dimmer code, for the next Connect.
  void Use(const HidLink& link) { hid = &link; }
  // Where warnings go from now on (null: nowhere), for this dimmer alone.
  void SetLog(std::FILE* stream) { log = stream; }
  std::FILE* log_stream() const { return log; }
  // Whether a device handle is open.
  bool connected() const { return dev != nullptr; }
  // The light, as far as it is known while connected.
  LightState state() const { return {on, intensity}; }
  // Sets the intensity, limited to kMaxIntensity. While the light is off
  // the value is only stored for TurnOn. kDone, kNotConnected or kIoError.
  DimmerResult SetIntensity(uint32_t value);
  DimmerResult TurnOn();
  DimmerResult TurnOff();
  // Closes the handle and releases the lock; a second call does nothing.
  void Disconnect();

  // For a program that keeps the dimmer open between operations and must
  // not block (the INDI driver). Between operations it gives the lock up
  // (Unlock); each operation starts with TryLock, which fails while
  // another program holds the lock, and reads off the answers that other
  // programs' exchanges left on the handle.
  bool TryLock();
  void Unlock();
  // Reads the intensity again: on at what it reports, or off keeping the
  // level for TurnOn. kDone, kNotConnected or kIoError.
  DimmerResult Refresh();
  // SetIntensity, TurnOn and TurnOff, only begun: kDone when nothing had to
  // be sent, kBusy when a change is under way (then call PollChange every
  // kStatePollMs until it returns something else), or kNotConnected or
  // kIoError with the state unchanged.
  DimmerResult BeginSetIntensity(uint32_t value);
  DimmerResult BeginTurnOn();
  DimmerResult BeginTurnOff();
  // kDone once the device has finished (the state now records the change),
  // kBusy, or kNotConnected or kIoError with the state unchanged.
  DimmerResult PollChange();

 private:
  // What a request does: the level to send, and the state once the device
  // has taken it.
  struct Request {
    int32_t send;
    int32_t intensity;
    bool on;
  };
  static constexpr int32_t kNothingToSend = -1;

  DimmerIo Io() const { return {hid, dev, log}; }
  DimmerResult OpenExclusively(const char* path, unsigned lock_wait_ms);
  Request IntensityRequest(uint32_t value) const;
  Request OnRequest() const;
  Request OffRequest() const;
  DimmerResult Carry(const Request& request);
  DimmerResult Begin(const Request& request);
  void Adopt(const Request& request);

  DimmerLock lock;
  IntensityChange change;
  Request pending = {kNothingToSend, 0, false};
  const HidLink* hid;
  std::FILE* log;
  hid_device* dev = nullptr;
  char id[sizeof DimmerUnit::id] = "";
  int32_t intensity = 0;
  bool on = false;
};

#endif  // DIMMER_USB_DIMMER_H_
