#include "simulation/simulated_hid_link.h"

#include <cstring>
#include <new>

#include "dimmer/usb_dimmer.h"
#include "simulation/dimmer_model.h"

namespace {

constexpr int kBusyPolls = 2;

// One simulated unit. Each is opened by one connection at a time, and all
// that the listing shares is constant.
struct SimulatedDimmer {
  DimmerModel model;
  bool started = false;
  unsigned char answer[DimmerModel::kAnswerSize] = {};
  int answer_length = -1;  // none waiting
};

SimulatedDimmer simulated[kMaxSimulatedUnits];

struct UnitName {
  const char* path;
  const wchar_t* serial;
};
constexpr UnitName kNames[kMaxSimulatedUnits] = {
    {"simulated", L"SIM-1"}, {"simulated-2", L"SIM-2"}, {"simulated-3", L"SIM-3"},
    {"simulated-4", L"SIM-4"}};

SimulatedDimmer* Unit(hid_device* dev) { return reinterpret_cast<SimulatedDimmer*>(dev); }

// A fresh listing for each caller, so that threads listing at once share
// nothing that changes.
template <int kUnits>
hid_device_info* Enumerate(unsigned short vendor_id, unsigned short product_id) {
  if (vendor_id != kDimmerVendorId || product_id != kDimmerProductId) return nullptr;
  hid_device_info* list = new (std::nothrow) hid_device_info[kUnits]();
  if (list == nullptr) return nullptr;
  for (int i = 0; i < kUnits; ++i) {
    list[i].path = const_cast<char*>(kNames[i].path);
    list[i].serial_number = const_cast<wchar_t*>(kNames[i].serial);
    list[i].vendor_id = vendor_id;
    list[i].product_id = product_id;
    list[i].next = i + 1 < kUnits ? &list[i + 1] : nullptr;
  }
  return list;
}

void FreeEnumeration(hid_device_info* list) { delete[] list; }

hid_device* OpenPath(const char* path) {
  for (int i = 0; i < kMaxSimulatedUnits; ++i) {
    if (std::strcmp(path, kNames[i].path) != 0) continue;
    SimulatedDimmer& unit = simulated[i];
    if (!unit.started) unit.model.Reset(0, kBusyPolls, false);
    unit.started = true;
    unit.answer_length = -1;
    return reinterpret_cast<hid_device*>(&unit);
  }
  return nullptr;
}

int Write(hid_device* dev, const unsigned char* data, size_t length) {
  SimulatedDimmer& unit = *Unit(dev);
  unit.answer_length = unit.model.Answer(data, length, unit.answer);
  return static_cast<int>(length);
}

int ReadTimeout(hid_device* dev, unsigned char* data, size_t length, int) {
  SimulatedDimmer& unit = *Unit(dev);
  if (unit.answer_length < 0) return 0;
  const size_t count = static_cast<size_t>(unit.answer_length) < length
                           ? static_cast<size_t>(unit.answer_length)
                           : length;
  std::memcpy(data, unit.answer, count);
  unit.answer_length = -1;
  return static_cast<int>(count);
}

void Close(hid_device*) {}

const wchar_t* Error(hid_device*) { return L"simulated dimmer"; }

// The simulated dimmers are this process's own: no other program reaches
// them.
const HidLink kSimulatedHid[kMaxSimulatedUnits] = {
    {Enumerate<1>, FreeEnumeration, OpenPath, Write, ReadTimeout, Close, Error, false},
    {Enumerate<2>, FreeEnumeration, OpenPath, Write, ReadTimeout, Close, Error, false},
    {Enumerate<3>, FreeEnumeration, OpenPath, Write, ReadTimeout, Close, Error, false},
    {Enumerate<4>, FreeEnumeration, OpenPath, Write, ReadTimeout, Close, Error, false}};

}  // namespace

const HidLink& SimulatedHid(int units) {
  if (units < 1) units = 1;
  if (units > kMaxSimulatedUnits) units = kMaxSimulatedUnits;
  return kSimulatedHid[units - 1];
}
