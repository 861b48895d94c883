// The setup page that Alpaca asks every server to have, at /setup and at
// the device's own setup URL.
#ifndef ALPACA_SETUP_PAGE_H_
#define ALPACA_SETUP_PAGE_H_

#include <string>

#include "alpaca/dimmer_service.h"

std::string RenderSetupPage(const DimmerService::State& state);

#endif  // ALPACA_SETUP_PAGE_H_
