// The USB light dimmer as an INDI flat-light box ("USB Light Dimmer"), for
// KStars/Ekos and every other INDI client. FLAT_LIGHT_CONTROL switches the
// light, FLAT_LIGHT_INTENSITY sets the dimmer's raw intensity (0-1023, the
// number quorlet prints), with the dimmer's own semantics: a level set while
// the light is off waits for the light to come on.
//
// The event loop never sleeps: each change runs as a chain of timers (one
// getstate poll every 100 ms) while the property shows Busy. The dimmer is
// shared with quorlet, orvane and other drivers: every operation takes its
// lock, none holds it while idle, and a dimmer that stops answering is
// looked for again every polling period.
#ifndef INDI_LIGHT_DIMMER_DRIVER_H_
#define INDI_LIGHT_DIMMER_DRIVER_H_

#include <defaultdevice.h>
#include <indilightboxinterface.h>

#include <cstdint>
#include <cstdio>

#include "dimmer/usb_dimmer.h"

class LightDimmerDriver : public INDI::DefaultDevice, public INDI::LightBoxInterface {
 public:
  LightDimmerDriver();

  const char* getDefaultName() override;
  bool initProperties() override;
  void ISGetProperties(const char* dev) override;
  bool updateProperties() override;
  bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                   int n) override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                   int n) override;
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
  bool ISSnoopDevice(XMLEle* root) override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;
  // Reached through the interface's filter presets: queued like a client's
  // request.
  bool SetLightBoxBrightness(uint16_t value) override;
  bool EnableLightBox(bool enable) override;

 private:
  enum class Target { kIntensity, kSwitch };
  enum class Step { kIdle, kWaitingForLock, kChanging };
  static constexpr int32_t kNone = -1;

  // The light properties, from the requests still to be carried out and
  // from what the dimmer holds.
  void Publish();
  void PublishIntensity(double value, IPState state);
  void PublishSwitch(bool on, IPState state);
  bool RequestedSwitch(ISState* states, char* names[], int n, bool* on);
  // A client's request: queued, and begun at once when the dimmer is free.
  bool Request(Target target, int32_t value);
  // Refused without touching the dimmer: Alert, and `message` in the log.
  bool Refuse(Target target, const char* message);

  // The chain of one change: take the lock (trying again every few
  // milliseconds while another program holds it), begin the change, poll
  // until the dimmer is idle, then the next request.
  void StartNext();
  void Poll();
  void Finish(int result);
  void FailRequests(const char* message);
  static void OnStepTimer(void* driver);

  // Each polling period: the dimmer's state, or the dimmer found again.
  void Refresh();
  void Reconnect();
  void LoseDimmer(const char* message);

  UsbDimmer dimmer;
  bool present = false;  // connected, and the dimmer answers
  int32_t wanted_intensity = kNone;
  int32_t wanted_switch = kNone;  // 1 on, 0 off
  Step step = Step::kIdle;
  Target current = Target::kIntensity;
  int32_t current_value = kNone;
  int64_t lock_wait_started = -1;
  int step_timer = -1;
  int poll_timer = -1;
  IPState intensity_state = IPS_IDLE;
  IPState switch_state = IPS_IDLE;
  std::FILE* dimmer_log = nullptr;
};

#endif  // INDI_LIGHT_DIMMER_DRIVER_H_
