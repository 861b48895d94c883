// The USB port lookup on fake sysfs trees laid out as the kernel lays out a
// dimmer behind a hub, one on the root port, and a UHID dimmer.
#include "dimmer/usb_port.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

class UsbPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root = folder;
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  // A hidraw node whose HID device sits at `hid_folder` (under devices/),
  // with a devpath file in each of `usb_devices` (folders under devices/).
  void AddNode(const std::string& node, const std::string& hid_folder,
               std::initializer_list<std::string> usb_devices) {
    const std::string hid = root + "/devices/" + hid_folder;
    std::filesystem::create_directories(hid);
    std::filesystem::create_directories(root + "/class/hidraw/" + node);
    for (const std::string& device : usb_devices) {
      std::ofstream(root + "/devices/" + device + "/devpath") << "1\n";
    }
    ASSERT_EQ(symlink(hid.c_str(), (root + "/class/hidraw/" + node + "/device").c_str()), 0);
  }

  std::string root;
};

TEST_F(UsbPortTest, NamesTheUsbDeviceAboveTheDimmersInterface) {
  const std::string controller = "pci0000:00/0000:00:14.0/usb1";
  AddNode("hidraw3", controller + "/1-1/1-1.2/1-1.2:1.0/0003:04D8:F5D1.0007",
          {controller, controller + "/1-1", controller + "/1-1/1-1.2"});
  AddNode("hidraw4", controller + "/1-3/1-3:1.0/0003:04D8:F5D1.0008", {controller, controller + "/1-3"});
  AddNode("hidraw5", "virtual/misc/uhid/0003:04D8:F5D1.0009", {});
  const struct {
    const char* path;
    size_t size;
    bool found;
    const char* port;
  } cases[] = {
      {"/dev/hidraw3", 64, true, "1-1.2"},  // behind a hub
      {"/dev/hidraw4", 64, true, "1-3"},    // on a root port
      {"/dev/hidraw5", 64, false, ""},      // UHID: no USB parent
      {"/dev/hidraw9", 64, false, ""},      // gone
      {"DevSrvsID:4294967297", 64, false, ""},  // not a hidraw node
      {"/dev/hidraw3", 5, false, ""},       // "1-1.2" needs 6 bytes
  };
  for (const auto& c : cases) {
    char port[64] = "stale";
    EXPECT_EQ(UsbPortOf(c.path, root.c_str(), port, c.size), c.found) << c.path;
    EXPECT_STREQ(port, c.port) << c.path;
  }
}

}  // namespace
