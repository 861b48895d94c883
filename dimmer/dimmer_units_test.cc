// How attached dimmers are named and ordered, from what HIDAPI lists.
#include "dimmer/dimmer_units.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// What the system lists: a path and a serial string (null: none) each.
struct Listed {
  std::string path;
  const wchar_t* serial;
};
std::vector<Listed> listed;
std::vector<hid_device_info> infos;

hid_device_info* Enumerate(unsigned short, unsigned short) {
  infos.assign(listed.size(), hid_device_info{});
  for (size_t i = 0; i < listed.size(); ++i) {
    infos[i].path = const_cast<char*>(listed[i].path.c_str());
    infos[i].serial_number = const_cast<wchar_t*>(listed[i].serial);
    infos[i].next = i + 1 < infos.size() ? &infos[i + 1] : nullptr;
  }
  return infos.empty() ? nullptr : &infos[0];
}
void FreeEnumeration(hid_device_info*) {}

const HidLink kListing = {Enumerate, FreeEnumeration, nullptr, nullptr, nullptr, nullptr, nullptr,
                          false};

struct UnitsCase {
  const char* name;
  std::vector<Listed> listed;
  std::vector<std::string> ids;  // in the order listed back
};

class DimmerUnitsTest : public testing::TestWithParam<UnitsCase> {};

TEST_P(DimmerUnitsTest, IdsInStableOrder) {
  listed = GetParam().listed;
  DimmerUnit units[kMaxDimmerUnits];
  // No sysfs here: units without a usable serial are named by their path.
  const int count = ListDimmerUnits(kListing, units, "/nonexistent");
  std::vector<std::string> ids;
  for (int i = 0; i < count; ++i) ids.push_back(units[i].id);
  EXPECT_EQ(ids, GetParam().ids);
}

const std::wstring kLongSerial(64, L'7');
const std::string kLongPath(256, 'p');

const UnitsCase kCases[] = {
    {"None", {}, {}},
    {"DistinctSerialsSorted", {{"/dev/hidraw1", L"B2"}, {"/dev/hidraw0", L"A1"}}, {"A1", "B2"}},
    {"EqualSerialsByPath", {{"/dev/hidraw1", L"S"}, {"/dev/hidraw0", L"S"}, {"/dev/hidraw2", L"T"}},
     {"/dev/hidraw0", "/dev/hidraw1", "T"}},
    {"EmptyOrMissingSerial", {{"/dev/hidraw1", L""}, {"/dev/hidraw0", nullptr}},
     {"/dev/hidraw0", "/dev/hidraw1"}},
    // A serial that would not stay one word, or not fit, names nothing.
    {"UnusableSerials",
     {{"/dev/hidraw0", L"A 1"}, {"/dev/hidraw1", L"\u00e91"}, {"/dev/hidraw2", kLongSerial.c_str()}},
     {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"}},
    {"PathTooLongIsLeftOut", {{kLongPath, L"A1"}, {"/dev/hidraw1", L"B2"}}, {"B2"}},
};

INSTANTIATE_TEST_SUITE_P(Listings, DimmerUnitsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<UnitsCase>& info) { return info.param.name; });

TEST(DimmerUnitsListTest, KeepsAtMostTheMaximumAndFindsById) {
  listed.clear();
  std::vector<std::wstring> serials;
  for (int i = 0; i < kMaxDimmerUnits + 2; ++i) serials.push_back(L"U" + std::to_wstring(100 + i));
  for (const std::wstring& serial : serials) listed.push_back({"/dev/hidraw", serial.c_str()});
  DimmerUnit units[kMaxDimmerUnits];
  const int count = ListDimmerUnits(kListing, units, "/nonexistent");
  ASSERT_EQ(count, kMaxDimmerUnits);
  EXPECT_EQ(FindDimmerUnit(units, count, "U105"), &units[5]);
  EXPECT_EQ(FindDimmerUnit(units, count, "U1"), nullptr);
}

}  // namespace
