#include "alpaca/url_encoding.h"

#include <gtest/gtest.h>

TEST(UrlEncodingTest, Decodes) {
  EXPECT_EQ(PercentDecode("a%20b+c%2B%zz%4", true), "a b c+%zz%4");
  EXPECT_EQ(PercentDecode("/a+b%2F", false), "/a+b/");
  EXPECT_EQ(PercentDecode("%00%ff", false), std::string("\0\xff", 2));
}

TEST(UrlEncodingTest, ReadsFormPairs) {
  std::multimap<std::string, std::string> params;
  ParseFormText("ClientID=7&&=x&Flag&Brightness=1%32=3&Name=a+b", &params);
  const std::multimap<std::string, std::string> expected = {
      {"ClientID", "7"}, {"Flag", ""}, {"Brightness", "12=3"}, {"Name", "a b"}};
  EXPECT_EQ(params, expected);
}
