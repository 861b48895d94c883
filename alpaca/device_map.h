// Which dimmer is which Alpaca device: each unit the server has seen, by its
// ID, keeps a device number and a UniqueID, across replugs and restarts, in
// a file in the state folder. Clients save the UniqueID in their profiles,
// so a unit must never get another.
//
// Before any unit is seen, device 0 stands for the first that will be: it
// has the UniqueID that the server kept before it served several dimmers
// (or a new one), and the first unit seen takes it over.
#ifndef ALPACA_DEVICE_MAP_H_
#define ALPACA_DEVICE_MAP_H_

#include <string>
#include <vector>

struct MappedDevice {
  int number;
  std::string unique_id;
  std::string unit_id;  // "" for device 0 while no unit is seen
};

class DeviceMap {
 public:
  // As many devices as a server serves, at most.
  static constexpr int kMaxDevices = 16;

  // The map kept in `folder` (none: for this run only) as `file_name`;
  // `problem` says why it cannot be kept, when it cannot.
  DeviceMap(const std::string& folder, const std::string& file_name, std::string* problem);

  // The number of the unit `unit_id`, which gets the lowest free number and
  // a new UniqueID when it is new, or device 0 when that waits for a unit;
  // -1 when the map is full. `added` says whether it was new. A change is
  // kept at once; `problem` says why it could not be.
  int Add(const std::string& unit_id, bool* added, std::string* problem);

  // By number.
  const std::vector<MappedDevice>& devices() const { return list; }

 private:
  void Save(std::string* problem) const;

  std::string path;  // "" when it is not kept
  std::vector<MappedDevice> list;
};

#endif  // ALPACA_DEVICE_MAP_H_
