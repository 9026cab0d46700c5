#include "platform/posix/AutostartEntry.h"

#include <gtest/gtest.h>

using platform::posix::autostartEntryFor;
using platform::posix::commandLineOfAutostartEntry;

namespace {

TEST(AutostartEntry, IsADesktopEntryThatStartsTheCommandLine) {
  EXPECT_EQ(autostartEntryFor("\"/opt/verrelune/verrelune\" /background"),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Verrelune\n"
            "Exec=\"/opt/verrelune/verrelune\" /background\n"
            "Icon=verrelune\n"
            "X-GNOME-Autostart-enabled=true\n");
}

TEST(AutostartEntry, ExecQuotesAndEscapesThePath) {
  // Inside the quotes ", `, $ and \ take a backslash, % is doubled, and then the string
  // escapes double every backslash once more.
  const std::string entry = autostartEntryFor(R"("/a b/100%/q"`$\" /background)");
  EXPECT_NE(entry.find(R"(Exec="/a b/100%%/q\\"\\`\\$\\\\" /background)" "\n"),
            std::string::npos)
      << entry;
  EXPECT_NE(autostartEntryFor("\"/new\nline\" /background").find("Exec=\"/new\\nline\" /background\n"),
            std::string::npos);
}

class AutostartRoundTrip : public testing::TestWithParam<std::string> {};

TEST_P(AutostartRoundTrip, CommandLineComesBackExactly) {
  const std::string commandLine = "\"" + GetParam() + "\" /background";
  const std::string entry = autostartEntryFor(commandLine);
  // One line per key: nothing in the path may break the entry's lines.
  EXPECT_EQ(std::count(entry.begin(), entry.end(), '\n'), 6);
  EXPECT_EQ(commandLineOfAutostartEntry(entry), commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AutostartRoundTrip,
    testing::Values("/opt/verrelune/verrelune", "/home/ana/Mes programmes/verrelune",
                    "/tmp/100% s\xC3\xBBr/v", "/tmp/%f%u%%/v", "/tmp/say \"hi\"/v",
                    "/tmp/$HOME/v", "/tmp/back\\slash\\\\/v", "/tmp/tick`s/v",
                    "/tmp/new\nline/v", "/tmp/tab\tand\rreturn/v", "/tmp/a\" b/v",
                    "/tmp/semi;amp&pipe|/v", "/tmp/'single'/v", "/tmp/trailing\\",
                    "/tmp/\xE9t\xE9-latin1/v", " leading space"));

TEST(AutostartEntry, ReadsTheExecOfTheMainGroupOnly) {
  EXPECT_EQ(commandLineOfAutostartEntry("[Desktop Entry]\r\nName=x\r\nExec = /usr/bin/v  /background\r\n"),
            "\"/usr/bin/v\" /background");
  EXPECT_EQ(commandLineOfAutostartEntry("[Desktop Action x]\nExec=/other\n"), std::nullopt);
  EXPECT_EQ(commandLineOfAutostartEntry("[Desktop Entry]\nName=x\n"), std::nullopt);
}

}  // namespace
