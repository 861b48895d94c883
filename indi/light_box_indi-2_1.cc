// The driver's side of INDI's light box interface from INDI 2.1 on, which
// gave it property objects, new function names, and properties that it
// defines and saves itself. Chosen by the build; light_box_indi-1_9.cc has
// the same for earlier INDI.
#include <cstdio>

#include "indi/light_dimmer_driver.h"

LightDimmerDriver::LightDimmerDriver() : INDI::LightBoxInterface(this) {
  setVersion(PROJECT_VERSION_MAJOR, PROJECT_VERSION_MINOR);
}

void LightDimmerDriver::InitLightBox() {
  INDI::LightBoxInterface::initProperties(MAIN_CONTROL_TAB, CAN_DIM);
  LightIntensityNP[0].setMinMax(0, kMaxIntensity);
  LightIntensityNP[0].setStep(1);
}

void LightDimmerDriver::GetLightBoxProperties(const char* dev) {
  INDI::LightBoxInterface::ISGetProperties(dev);
}

void LightDimmerDriver::UpdateLightBox() { INDI::LightBoxInterface::updateProperties(); }

bool LightDimmerDriver::LightBoxSwitch(const char* dev, const char* name, ISState* states,
                                       char* names[], int n) {
  return INDI::LightBoxInterface::processSwitch(dev, name, states, names, n);
}

bool LightDimmerDriver::LightBoxNumber(const char* dev, const char* name, double values[],
                                       char* names[], int n) {
  return INDI::LightBoxInterface::processNumber(dev, name, values, names, n);
}

bool LightDimmerDriver::LightBoxText(const char* dev, const char* name, char* texts[],
                                     char* names[], int n) {
  return INDI::LightBoxInterface::processText(dev, name, texts, names, n);
}

void LightDimmerDriver::SnoopLightBox(XMLEle* root) { INDI::LightBoxInterface::snoop(root); }

void LightDimmerDriver::SaveLightBox(FILE* fp) {
  INDI::LightBoxInterface::saveConfigItems(fp);
  // The interface keeps the intensity only where it has no filter presets.
  if (!FilterIntensityNP.isEmpty()) LightIntensityNP.save(fp);
}

void LightDimmerDriver::Fill() {
  const int32_t intensity = owner.Asked(DimmerTarget::kIntensity);
  const int32_t on = owner.Asked(DimmerTarget::kSwitch);
  LightIntensityNP[0].setValue(intensity != DimmerOwner::kNone ? intensity : owner.intensity());
  LightIntensityNP.setState(StateOf(DimmerTarget::kIntensity));
  const bool shown_on = on != DimmerOwner::kNone ? on == 1 : owner.on();
  LightSP[FLAT_LIGHT_ON].setState(shown_on ? ISS_ON : ISS_OFF);
  LightSP[FLAT_LIGHT_OFF].setState(shown_on ? ISS_OFF : ISS_ON);
  LightSP.setState(StateOf(DimmerTarget::kSwitch));
}

void LightDimmerDriver::Send() {
  LightIntensityNP.apply();
  LightSP.apply();
}
