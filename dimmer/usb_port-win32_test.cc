// The USB port location in the paths Windows gives HID interfaces.
#include "dimmer/usb_port.h"

#include <gtest/gtest.h>

namespace {

TEST(UsbPortTest, NamesTheInstanceInTheInterfacePath) {
  const struct {
    const char* path;
    size_t size;
    bool found;
    const char* port;
  } cases[] = {
      {"\\\\?\\hid#vid_04d8&pid_f5d1#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", 64,
       true, "7&1a2b3c4d&0&0000"},
      {"\\\\?\\hid#vid_04d8&pid_f5d1#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", 17,
       false, ""},  // 17 characters need 18 bytes
      {"\\\\?\\hid#vid_04d8&pid_f5d1##{4d1e55b2}", 64, false, ""},
      {"\\\\?\\hid#vid_04d8&pid_f5d1", 64, false, ""},
      {"/dev/hidraw0", 64, false, ""},
  };
  for (const auto& c : cases) {
    char port[64] = "stale";
    EXPECT_EQ(UsbPortOf(c.path, "", port, c.size), c.found) << c.path;
    EXPECT_STREQ(port, c.port) << c.path;
  }
}

}  // namespace
