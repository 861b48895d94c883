// The udev rule: well-formed, and matching the dimmer and nothing else.
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
  static const std::regex kToken(R"re(\s*([A-Z]+(\{[A-Za-z]+\})?)(==|!=|\+=|=)"([^"]*)"\s*(,|$))re");
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

struct Device {
  const char* subsystem;
  const char* vendor;
  const char* product;
};

bool Matches(const Rule& rule, const Device& device) {
  for (const Token& token : rule.tokens) {
    if (token.op != "==") continue;
    const char* actual = token.key == "SUBSYSTEM"           ? device.subsystem
                         : token.key == "ATTRS{idVendor}"  ? device.vendor
                         : token.key == "ATTRS{idProduct}" ? device.product
                                                           : nullptr;
    if (actual == nullptr) {
      ADD_FAILURE() << "unexpected match key " << token.key;
      return false;
    }
    if (token.value != actual) return false;
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

TEST(UdevRuleTest, GrantsTheDimmerAndNothingElse) {
  const std::vector<Rule> rules = ReadRules(UDEV_RULE_PATH);
  ASSERT_EQ(rules.size(), 1u);
  const Rule& rule = rules[0];
  EXPECT_TRUE(Matches(rule, {"hidraw", "04d8", "f5d1"}));
  EXPECT_FALSE(Matches(rule, {"hidraw", "04d8", "f5d2"}));
  EXPECT_FALSE(Matches(rule, {"hidraw", "046d", "f5d1"}));
  EXPECT_FALSE(Matches(rule, {"usb", "04d8", "f5d1"}));
  EXPECT_FALSE(Matches(rule, {"input", "04d8", "f5d1"}));
  EXPECT_TRUE(Assigns(rule, "TAG", "+=", "uaccess"));
  EXPECT_TRUE(Assigns(rule, "GROUP", "=", "plugdev"));
  EXPECT_TRUE(Assigns(rule, "MODE", "=", "0660"));
}

}  // namespace
