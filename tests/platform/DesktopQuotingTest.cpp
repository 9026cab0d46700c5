#include "platform/posix/desktop/Quoting.h"

#include <gtest/gtest.h>

using namespace platform::posix;

namespace {

struct QuotingCase {
  std::string input;
  std::string uri;
  std::string gvariant;
  std::string javascript;
};

class DesktopQuotingTest : public testing::TestWithParam<QuotingCase> {};

TEST_P(DesktopQuotingTest, QuotesForEachConsumer) {
  EXPECT_EQ(fileUri(GetParam().input), GetParam().uri);
  EXPECT_EQ(gvariantString(GetParam().input), GetParam().gvariant);
  EXPECT_EQ(javascriptString(GetParam().input), GetParam().javascript);
}

INSTANTIATE_TEST_SUITE_P(DesktopPaths, DesktopQuotingTest,
    testing::Values(
        QuotingCase{"/home/u/Pictures/a-b_c.~1.png", "file:///home/u/Pictures/a-b_c.~1.png",
                    "'/home/u/Pictures/a-b_c.~1.png'", "'/home/u/Pictures/a-b_c.~1.png'"},
        QuotingCase{"/a b/%41#x?y", "file:///a%20b/%2541%23x%3Fy", "'/a b/%41#x?y'", "'/a b/%41#x?y'"},
        QuotingCase{"/it's \"q\"\\", "file:///it%27s%20%22q%22%5C", "'/it\\'s \"q\"\\\\'",
                    "'/it\\'s \"q\"\\\\'"},
        QuotingCase{"/\xc3\xa9t\xc3\xa9/\xff", "file:///%C3%A9t%C3%A9/%FF", "'/\xc3\xa9t\xc3\xa9/\xff'",
                    "'/\xc3\xa9t\xc3\xa9/\xff'"},
        QuotingCase{"/l\ni\tn\x01", "file:///l%0Ai%09n%01", "'/l\\ni\\tn\\u0001'", "'/l\\ni\\tn\\x01'"}));

TEST(DesktopUtf8Test, TellsValidFromInvalid) {
  for (const char* valid : {"", "plain", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"})
    EXPECT_TRUE(isUtf8(valid)) << valid;
  for (const char* invalid : {"\xff", "\xc3", "\xc3(", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"})
    EXPECT_FALSE(isUtf8(invalid)) << invalid;
}

}  // namespace
