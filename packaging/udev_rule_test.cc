// The udev rule: well-formed, and matching the dimmer and nothing else.
#include <fnmatch.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Token {
  std::string key;
  std::string op;
  std::string value;
};

struct Rule {
  std::vector<Token> tokens;
};

// Reads the rule lines; every token must be KEY op "value".
std::vector<Rule> ReadRules(const std::string& path) {
  static const std::regex kToken(R"re(\s*([A-Z]+(\{[A-Za-z/_]+\})?)(==|!=|\+=|=)"([^"]*)"\s*(,|$))re");
  std::vector<Rule> rules;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    Rule rule;
    auto begin = line.cbegin();
    std::smatch match;
    while (begin != line.cend() &&
           std::regex_search(begin, line.cend(), match, kToken,
                             std::regex_constants::match_continuous)) {
      rule.tokens.push_back({match[1], match[3], match[4]});
      begin = match[0].second;
    }
    EXPECT_TRUE(begin == line.cend()) << "cannot read: " << std::string(begin, line.cend());
    rules.push_back(rule);
  }
  return rules;
}

// A device as udev sees it: its subsystem and type, the name of its HID
// device (an ancestor, for a hidraw node), and its USB IDs.
struct Device {
  const char* subsystem;
  const char* devtype;
  const char* hid_name;
  const char* vendor;
  const char* product;
};

bool Matches(const Rule& rule, const Device& device) {
  for (const Token& token : rule.tokens) {
    if (token.op != "==") continue;
    const char* actual = token.key == "SUBSYSTEM"        ? device.subsystem
                         : token.key == "ENV{DEVTYPE}"   ? device.devtype
                         : token.key == "KERNELS"        ? device.hid_name
                         : token.key == "ATTR{idVendor}"  ? device.vendor
                         : token.key == "ATTR{idProduct}" ? device.product
                                                          : nullptr;
    if (actual == nullptr) {
      ADD_FAILURE() << "unexpected match key " << token.key;
      return false;
    }
    if (fnmatch(token.value.c_str(), actual, 0) != 0) return false;
  }
  return true;
}

bool Assigns(const Rule& rule, const std::string& key, const std::string& op,
             const std::string& value) {
  for (const Token& token : rule.tokens) {
    if (token.key == key && token.op == op && token.value == value) return true;
  }
  return false;
}

TEST(UdevRuleTest, SortsBeforeTheSeatRules) {
  const std::string path = UDEV_RULE_PATH;
  EXPECT_LT(path.substr(path.rfind('/') + 1), "73-seat-late.rules");
}

// The rules that apply to a device.
std::vector<const Rule*> Applying(const std::vector<Rule>& rules, const Device& device) {
  std::vector<const Rule*> applying;
  for (const Rule& rule : rules) {
    if (Matches(rule, device)) applying.push_back(&rule);
  }
  return applying;
}

TEST(UdevRuleTest, GrantsTheDimmerAndKeepsItPoweredAndNothingElse) {
  const std::vector<Rule> rules = ReadRules(UDEV_RULE_PATH);
  // Its hidraw node, on USB or made through UHID (the same HID name).
  const Device node{"hidraw", "", "0003:04D8:F5D1.0007", "", ""};
  ASSERT_EQ(Applying(rules, node).size(), 1u);
  const Rule& grant = *Applying(rules, node)[0];
  EXPECT_TRUE(Assigns(grant, "TAG", "+=", "uaccess"));
  EXPECT_TRUE(Assigns(grant, "GROUP", "=", "plugdev"));
  EXPECT_TRUE(Assigns(grant, "MODE", "=", "0660"));
  // The USB device, kept out of autosuspend.
  const Device usb{"usb", "usb_device", "", "04d8", "f5d1"};
  ASSERT_EQ(Applying(rules, usb).size(), 1u);
  EXPECT_TRUE(Assigns(*Applying(rules, usb)[0], "ATTR{power/control}", "=", "on"));

  const Device others[] = {
      {"hidraw", "", "0003:04D8:F5D2.0007", "", ""},     // another product
      {"hidraw", "", "0003:046D:F5D1.0001", "", ""},     // another vendor
      {"hidraw", "", "0005:04D8:F5D1.0001", "", ""},     // Bluetooth
      {"input", "", "0003:04D8:F5D1.0007", "", ""},      // the dimmer, not its hidraw node
      {"usb", "usb_device", "", "04d8", "f5d2"},         // another product's USB device
      {"usb", "usb_interface", "", "04d8", "f5d1"},      // the dimmer's interface
  };
  for (const Device& other : others) {
    EXPECT_TRUE(Applying(rules, other).empty()) << other.subsystem << " " << other.hid_name;
  }
}

}  // namespace
