// The USB light dimmer as an INDI flat-light box ("USB Light Dimmer"), for
// KStars/Ekos and every other INDI client. FLAT_LIGHT_CONTROL switches the
// light, FLAT_LIGHT_INTENSITY sets the dimmer's raw intensity (0 to its
// maximum, the number quorlet prints), with the dimmer's own semantics: a
// level set while the light is off waits for the light to come on.
//
// The dimmer owner does the work (the queue, the lock per operation, the
// refresh every polling period, loss and return) on INDI timers, so the
// event loop never sleeps: a change shows Busy while it is polled every
// 100 ms.
#ifndef INDI_LIGHT_DIMMER_DRIVER_H_
#define INDI_LIGHT_DIMMER_DRIVER_H_

#include <defaultdevice.h>
#include <indilightboxinterface.h>
#include <indipropertyswitch.h>

#include <cstdint>
#include <cstdio>

#include "dimmer/dimmer_owner.h"
#include "dimmer/dimmer_units.h"

class LightDimmerDriver : public INDI::DefaultDevice,
                          public INDI::LightBoxInterface,
                          private DimmerOwner::Listener {
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
  void simulationTriggered(bool enable) override;
  bool saveConfigItems(FILE* fp) override;
  // Reached through the interface's filter presets: queued like a client's
  // request.
  bool SetLightBoxBrightness(uint16_t value) override;
  bool EnableLightBox(bool enable) override;

 private:
  // The light properties as the dimmer and the queue have them. Sent only
  // while they are defined: a client must never hear of a property's
  // values before its definition.
  void Publish();
  bool RequestedSwitch(ISState* states, char* names[], int n, bool* on);
  // A client's request: queued, and begun at once when the dimmer is free.
  bool Request(DimmerTarget target, int32_t value);
  // Refused without touching the dimmer: Alert, and `message` in the log.
  bool Refuse(DimmerTarget target, const char* message);
  IPState StateOf(DimmerTarget target) const;

  // The light box interface's side, which INDI 2.1 changed: in
  // light_box_indi-1_9.cc or light_box_indi-2_1.cc, as the build chooses,
  // with the constructor.
  void InitLightBox();
  void GetLightBoxProperties(const char* dev);
  void UpdateLightBox();
  bool LightBoxSwitch(const char* dev, const char* name, ISState* states, char* names[], int n);
  bool LightBoxNumber(const char* dev, const char* name, double values[], char* names[], int n);
  bool LightBoxText(const char* dev, const char* name, char* texts[], char* names[], int n);
  void SnoopLightBox(XMLEle* root);
  void SaveLightBox(FILE* fp);
  // The light properties' values and states from the dimmer and the
  // queue, and sending them.
  void Fill();
  void Send();

  // The dimmer to connect, in the Options tab: "the first attached", each
  // attached unit by ID, and the one chosen when it is not attached now.
  // Listed afresh when a client first asks, and at each Connect and choice.
  void ListUnits();
  bool ChooseUnit(ISState* states, char* names[], int n);
  const HidLink& Hid() const;

  // Runs what the dimmer owner has due now, and again when it asks.
  void Work();
  static void OnWorkTimer(void* driver);

  void DimmerChanged() override;
  void DimmerMessage(DimmerOwner::Level level, const char* text) override;

  DimmerOwner owner{*this};
  INDI::PropertySwitch UnitSP{0};
  char chosen_unit[sizeof DimmerUnit::id] = "";  // empty: the first attached
  bool units_listed = false;
  bool lights_defined = false;
  bool refused[2] = {false, false};  // Alert until the next request
  int work_timer = -1;
  std::FILE* dimmer_log = nullptr;
};

#endif  // INDI_LIGHT_DIMMER_DRIVER_H_
