// The driver's side of INDI's light box interface before INDI 2.1 (Debian
// 12's 1.9, and 2.0): plain property vectors, and properties the driver
// defines and saves itself. Chosen by the build; light_box_indi-2_1.cc has
// the same for later INDI.
#include <cstdio>

#include "indi/light_dimmer_driver.h"

LightDimmerDriver::LightDimmerDriver() : INDI::LightBoxInterface(this, true) {
  setVersion(PROJECT_VERSION_MAJOR, PROJECT_VERSION_MINOR);
}

void LightDimmerDriver::InitLightBox() {
  initLightBoxProperties(getDeviceName(), MAIN_CONTROL_TAB);
  LightIntensityN[0].max = kMaxIntensity;
  LightIntensityN[0].step = 1;
}

void LightDimmerDriver::GetLightBoxProperties(const char* dev) { isGetLightBoxProperties(dev); }

void LightDimmerDriver::UpdateLightBox() {
  if (isConnected()) {
    defineProperty(&LightSP);
    defineProperty(&LightIntensityNP);
  } else {
    deleteProperty(LightSP.name);
    deleteProperty(LightIntensityNP.name);
  }
  updateLightBoxProperties();
}

bool LightDimmerDriver::LightBoxSwitch(const char* dev, const char* name, ISState* states,
                                       char* names[], int n) {
  return processLightBoxSwitch(dev, name, states, names, n);
}

bool LightDimmerDriver::LightBoxNumber(const char* dev, const char* name, double values[],
                                       char* names[], int n) {
  return processLightBoxNumber(dev, name, values, names, n);
}

bool LightDimmerDriver::LightBoxText(const char* dev, const char* name, char* texts[],
                                     char* names[], int n) {
  return processLightBoxText(dev, name, texts, names, n);
}

void LightDimmerDriver::SnoopLightBox(XMLEle* root) { snoopLightBox(root); }

void LightDimmerDriver::SaveLightBox(FILE* fp) {
  saveLightBoxConfigItems(fp);
  // The interface does not keep the intensity at all.
  IUSaveConfigNumber(fp, &LightIntensityNP);
}

void LightDimmerDriver::Fill() {
  const int32_t intensity = owner.Asked(DimmerTarget::kIntensity);
  const int32_t on = owner.Asked(DimmerTarget::kSwitch);
  LightIntensityN[0].value = intensity != DimmerOwner::kNone ? intensity : owner.intensity();
  LightIntensityNP.s = StateOf(DimmerTarget::kIntensity);
  const bool shown_on = on != DimmerOwner::kNone ? on == 1 : owner.on();
  LightS[FLAT_LIGHT_ON].s = shown_on ? ISS_ON : ISS_OFF;
  LightS[FLAT_LIGHT_OFF].s = shown_on ? ISS_OFF : ISS_ON;
  LightSP.s = StateOf(DimmerTarget::kSwitch);
}

void LightDimmerDriver::Send() {
  IDSetNumber(&LightIntensityNP, nullptr);
  IDSetSwitch(&LightSP, nullptr);
}
