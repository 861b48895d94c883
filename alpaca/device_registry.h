// The CoverCalibrator devices the server serves, registered by number: one
// for every dimmer it has seen (device_map.h), each with its own dimmer
// service (its thread, its clients, its state), so that a change on one
// never waits for another. A unit that is absent stays registered: its
// clients are told it is not attached until it is plugged in again.
// Devices are added while the server runs and never removed before it
// stops, so a device found stays valid.
#ifndef ALPACA_DEVICE_REGISTRY_H_
#define ALPACA_DEVICE_REGISTRY_H_

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "alpaca/cover_calibrator.h"
#include "alpaca/device_map.h"
#include "alpaca/dimmer_service.h"
#include "dimmer/hid_link.h"

class DeviceRegistry {
 public:
  // The dimmers behind `link`, numbered as `map` says; what happens is
  // logged to `log` (null: nowhere).
  DeviceRegistry(const HidLink& link, std::FILE* log, DeviceMap map);
  ~DeviceRegistry() { Stop(); }
  DeviceRegistry(const DeviceRegistry&) = delete;
  DeviceRegistry& operator=(const DeviceRegistry&) = delete;

  // Registers the attached units not seen before, each as the lowest free
  // number; with `at_most_every_ms`, not again within that time of the last
  // look (the system's listing is not free).
  void Scan(unsigned at_most_every_ms = 0);

  // The device of that number, or null.
  CoverCalibrator* Find(int number) const;
  int count() const;

  struct Listed {
    int number;
    std::string name;
    std::string unique_id;
  };
  // Every device, by number.
  std::vector<Listed> List() const;

  // Closes every dimmer, leaving the lights as they are.
  void Stop();

 private:
  struct Served {
    Served(const HidLink& link, std::FILE* log, const MappedDevice& mapped,
           const std::atomic<bool>& several)
        : mapped(mapped), service(link, log, mapped.unit_id), device(service, several) {}
    MappedDevice mapped;
    DimmerService service;
    CoverCalibrator device;
  };

  const HidLink& link;
  std::FILE* const log;
  std::mutex scan_mutex;  // one look at a time; holds `map`
  DeviceMap map;
  int64_t last_scan = -1;
  mutable std::shared_mutex mutex;  // guards `served`
  std::vector<std::unique_ptr<Served>> served;  // in the order of their numbers
  std::atomic<bool> several{false};  // names then tell the devices apart
};

#endif  // ALPACA_DEVICE_REGISTRY_H_
