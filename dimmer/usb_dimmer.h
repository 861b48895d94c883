// The USB light dimmer: its HID report protocol and the connection object
// that turns requests (set an intensity, switch on, switch off) into
// exchanges with the device.
#ifndef DIMMER_USB_DIMMER_H_
#define DIMMER_USB_DIMMER_H_

#include <cstdint>

#include <hidapi.h>

#include "dimmer/dimmer_lock.h"

constexpr unsigned short kDimmerVendorId = 0x04D8;
constexpr unsigned short kDimmerProductId = 0xF5D1;
constexpr int kReportSize = 5;
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
constexpr int32_t kMaxIntensity = 1023;
constexpr int32_t kDefaultIntensity = 900;
constexpr unsigned char kApplyStateValue = 3;

// Result codes of the dimmer code; 0 is success.
constexpr int kNotConnected = -1;
constexpr int kDimmerIoError = -2;

// Device command codes (byte 1 of a request).
constexpr unsigned char kSetStateCommand = 0x10;    // setstate
constexpr unsigned char kGetStateCommand = 0x11;    // getstate
constexpr unsigned char kSetIntensityCommand = 0x20;  // setinten
constexpr unsigned char kGetIntensityCommand = 0x21;  // getinten

// One exchange's buffer: the request is built in it, and the device's
// answer is read back into it.
struct DimmerReport {
  unsigned char bytes[kReportSize];
};

// The intensity the device reports (0-65535), or kDimmerIoError.
int32_t QueryIntensity(hid_device* dev);

// Sets the intensity and waits until the device has finished the change.
// Returns 0 or kDimmerIoError.
int ApplyIntensity(hid_device* dev, int32_t value);

// Reads, without waiting, whatever answers are waiting on the handle, so
// that the next read is the answer to the next request.
void DrainAnswers(hid_device* dev);

// The dimmer as seen by one program run. It owns the device handle from
// Connect to Disconnect, holds the dimmer's lock for as long, and remembers
// the intensity and the on/off state as last read from or given to the
// device.
class UsbDimmer {
 public:
  UsbDimmer() = default;
  ~UsbDimmer() { Disconnect(); }
  UsbDimmer(const UsbDimmer&) = delete;
  UsbDimmer& operator=(const UsbDimmer&) = delete;

  // Waits until no other program uses the first matching device, opens it
  // and reads its intensity. Call Disconnect afterwards even when this
  // fails.
  bool Connect();
  // 1 on, 0 off, kNotConnected without a device handle.
  int32_t IsOn() const;
  // The current intensity (while off: the one the next TurnOn uses), or
  // kNotConnected.
  int32_t Intensity() const;
  // Sets the intensity, limited to kMaxIntensity. While the light is off
  // the value is only stored for TurnOn. Returns 0 or a result code.
  int SetIntensity(uint32_t value);
  int TurnOn();
  int TurnOff();
  // Closes the handle and releases the lock; a second call does nothing.
  void Disconnect();

 private:
  bool OpenExclusively(const char* path);

  DimmerLock lock;
  hid_device* dev = nullptr;
  int32_t intensity = 0;
  bool on = false;
};

#endif  // DIMMER_USB_DIMMER_H_
