#include "simulation/simulated_hid_link.h"

#include <cstring>

#include "dimmer/usb_dimmer.h"
#include "simulation/dimmer_model.h"

namespace {

constexpr int kBusyPolls = 2;

struct SimulatedDimmer {
  DimmerModel model;
  bool started = false;
  unsigned char answer[DimmerModel::kAnswerSize] = {};
  int answer_length = -1;  // none waiting
  char path[16] = "simulated";
  hid_device_info info = {};
};

SimulatedDimmer simulated;

hid_device* Handle() { return reinterpret_cast<hid_device*>(&simulated); }

hid_device_info* Enumerate(unsigned short vendor_id, unsigned short product_id) {
  if (vendor_id != kDimmerVendorId || product_id != kDimmerProductId) return nullptr;
  simulated.info.path = simulated.path;
  simulated.info.vendor_id = vendor_id;
  simulated.info.product_id = product_id;
  return &simulated.info;
}

void FreeEnumeration(hid_device_info*) {}

hid_device* OpenPath(const char*) {
  if (!simulated.started) simulated.model.Reset(0, kBusyPolls, false);
  simulated.started = true;
  simulated.answer_length = -1;
  return Handle();
}

int Write(hid_device*, const unsigned char* data, size_t length) {
  simulated.answer_length = simulated.model.Answer(data, length, simulated.answer);
  return static_cast<int>(length);
}

int ReadTimeout(hid_device*, unsigned char* data, size_t length, int) {
  if (simulated.answer_length < 0) return 0;
  const size_t count = static_cast<size_t>(simulated.answer_length) < length
                           ? static_cast<size_t>(simulated.answer_length)
                           : length;
  std::memcpy(data, simulated.answer, count);
  simulated.answer_length = -1;
  return static_cast<int>(count);
}

void Close(hid_device*) {}

const wchar_t* Error(hid_device*) { return L"simulated dimmer"; }

// The simulated dimmer is this process's own: no other program reaches it.
const HidLink kSimulatedHid = {Enumerate, FreeEnumeration, OpenPath, Write, ReadTimeout,
                               Close, Error, false};

}  // namespace

const HidLink& SimulatedHid() { return kSimulatedHid; }
