#include "alpaca/device_map.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "alpaca/unique_id.h"

namespace {

void SortByNumber(std::vector<MappedDevice>* list) {
  std::sort(list->begin(), list->end(),
            [](const MappedDevice& a, const MappedDevice& b) { return a.number < b.number; });
}

}  // namespace

DeviceMap::DeviceMap(const std::string& folder, const std::string& file_name,
                     std::string* problem) {
  if (!folder.empty()) path = (std::filesystem::path(folder) / file_name).string();
  // One line per device: number, UniqueID, unit ID; none has spaces.
  if (std::FILE* file = path.empty() ? nullptr : OpenStateFile(path, "r")) {
    int number = 0;
    char unique_id[40];
    char unit_id[128];
    while (static_cast<int>(list.size()) < kMaxDevices &&
           std::fscanf(file, "%d %39s %127s", &number, unique_id, unit_id) == 3) {
      const bool taken = std::any_of(list.begin(), list.end(), [&](const MappedDevice& device) {
        return device.number == number || device.unit_id == unit_id;
      });
      if (number >= 0 && number < kMaxDevices && !taken && LooksLikeUuid(unique_id)) {
        list.push_back({number, unique_id, unit_id});
      }
    }
    std::fclose(file);
  }
  if (list.empty()) list.push_back({0, LoadUniqueId(folder, problem), ""});
  SortByNumber(&list);
}

int DeviceMap::Add(const std::string& unit_id, bool* added, std::string* problem) {
  *added = false;
  for (const MappedDevice& device : list) {
    if (device.unit_id == unit_id) return device.number;
  }
  *added = true;
  if (list.size() == 1 && list[0].unit_id.empty()) {
    list[0].unit_id = unit_id;
    Save(problem);
    return 0;
  }
  if (static_cast<int>(list.size()) == kMaxDevices) {
    *added = false;
    return -1;
  }
  int number = 0;
  while (std::any_of(list.begin(), list.end(),
                     [number](const MappedDevice& device) { return device.number == number; })) {
    ++number;
  }
  list.push_back({number, RandomUuid(), unit_id});
  SortByNumber(&list);
  Save(problem);
  return number;
}

void DeviceMap::Save(std::string* problem) const {
  if (path.empty()) return;
  // Written beside and renamed over, so that a crash leaves the old map or
  // the new one, never half of one.
  const std::string written = path + ".new";
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  std::FILE* file = OpenStateFile(written, "w");
  bool ok = file != nullptr;
  for (const MappedDevice& device : list) {
    if (ok && !device.unit_id.empty()) {
      ok = std::fprintf(file, "%d %s %s\n", device.number, device.unique_id.c_str(),
                        device.unit_id.c_str()) > 0;
    }
  }
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  if (ok) {
    std::filesystem::rename(written, path, error);
    ok = !error;
  }
  if (!ok) *problem = "the map of dimmers to devices could not be written to " + path;
}
