#include "alpaca/host_policy.h"

#include <gtest/gtest.h>

TEST(HostPolicyTest, NamesThisServerOrNot) {
  const HostPolicy policy("Scope-PC.lan", {"observatory.example"});
  const struct {
    const char* host;
    bool allowed;
  } table[] = {
      {"192.168.1.20", true},       {"192.168.1.20:11111", true},
      {"[::1]", true},              {"[fe80::1%25eth0]:11111", false},
      {"[::1]:11111", true},        {"localhost:11111", true},
      {"LOCALHOST.", true},         {"scope-pc.lan", true},
      {"scope-pc", true},           {"Scope-PC.local:80", true},
      {"observatory.example", true}, {"evil.example", false},
      {"", false},                  {"1.2.3.4.evil.example", false},
      {"256.1.1.1", false},         {"127.0.0.1:x", false},
      {"localhost.evil.example", false}, {"[::1]evil", false},
  };
  for (const auto& row : table) EXPECT_EQ(policy.Allows(row.host), row.allowed) << row.host;
}
