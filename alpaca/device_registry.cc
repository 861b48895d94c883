#include "alpaca/device_registry.h"

#include "dimmer/dimmer_units.h"
#include "dimmer/log.h"
#include "dimmer/platform.h"

DeviceRegistry::DeviceRegistry(const HidLink& link, std::FILE* log, DeviceMap map)
    : link(link), log(log), map(std::move(map)) {
  for (const MappedDevice& mapped : this->map.devices()) {
    served.push_back(std::make_unique<Served>(link, log, mapped, several));
  }
  several = served.size() > 1;
}

void DeviceRegistry::Scan(unsigned at_most_every_ms) {
  std::lock_guard<std::mutex> scanning(scan_mutex);
  const int64_t now = MonotonicMillis();
  if (at_most_every_ms > 0 && last_scan >= 0 && now - last_scan < at_most_every_ms) return;
  last_scan = now;
  DimmerUnit units[kMaxDimmerUnits];
  const int count = ListDimmerUnits(link, units);
  for (int i = 0; i < count; ++i) {
    bool added = false;
    std::string problem;
    const int number = map.Add(units[i].id, &added, &problem);
    if (!problem.empty()) LogTo(log, "WARN: %s\n", problem.c_str());
    if (!added) {
      if (number < 0) {
        LogTo(log, "WARN: dimmer %s is not served: the server serves %d at most\n", units[i].id,
              DeviceMap::kMaxDevices);
      }
      continue;
    }
    LogTo(log, "INFO: dimmer %s is CoverCalibrator %d\n", units[i].id, number);
    std::unique_lock<std::shared_mutex> lock(mutex);
    auto at = served.begin();
    while (at != served.end() && (*at)->mapped.number < number) ++at;
    if (at != served.end() && (*at)->mapped.number == number) {
      (*at)->service.Bind(units[i].id);  // it stood for the first unit to be seen
      (*at)->mapped.unit_id = units[i].id;
    } else {
      for (const MappedDevice& mapped : map.devices()) {
        if (mapped.number == number) at = served.insert(at, std::make_unique<Served>(link, log, mapped, several));
      }
    }
    several = served.size() > 1;
  }
}

CoverCalibrator* DeviceRegistry::Find(int number) const {
  std::shared_lock<std::shared_mutex> lock(mutex);
  for (const auto& entry : served) {
    if (entry->mapped.number == number) return &entry->device;
  }
  return nullptr;
}

int DeviceRegistry::count() const {
  std::shared_lock<std::shared_mutex> lock(mutex);
  return static_cast<int>(served.size());
}

std::vector<DeviceRegistry::Listed> DeviceRegistry::List() const {
  std::shared_lock<std::shared_mutex> lock(mutex);
  std::vector<Listed> list;
  for (const auto& entry : served) {
    list.push_back({entry->mapped.number, entry->device.DeviceName(), entry->mapped.unique_id});
  }
  return list;
}

void DeviceRegistry::Stop() {
  std::shared_lock<std::shared_mutex> lock(mutex);
  for (const auto& entry : served) entry->service.Stop();
}
