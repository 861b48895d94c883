// The driver's one device. INDI's driver library provides main() and hands
// every client request to the devices that exist.
#include <memory>

#include "indi/light_dimmer_driver.h"

namespace {

const std::unique_ptr<LightDimmerDriver> driver(new LightDimmerDriver());

}  // namespace
