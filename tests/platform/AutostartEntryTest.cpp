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
            "TryExec=/opt/verrelune/verrelune\n"
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

// TryExec holds the bare program path: only the escapes of a string value, no Exec quoting.
struct TryExecCase {
  std::string commandLine;
  std::string tryExec;
};

class AutostartTryExec : public testing::TestWithParam<TryExecCase> {};

TEST_P(AutostartTryExec, NamesTheProgramFile) {
  const std::string entry = autostartEntryFor(GetParam().commandLine);
  EXPECT_NE(entry.find("\nTryExec=" + GetParam().tryExec + "\n"), std::string::npos) << entry;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AutostartTryExec,
    testing::Values(TryExecCase{"\"/usr/bin/verrelune\" /background", "/usr/bin/verrelune"},
                    TryExecCase{R"("/a b/100%/q"`$" /background)", R"(/a b/100%/q"`$)"},
                    TryExecCase{R"("/back\slash" /background)", R"(/back\\slash)"},
                    TryExecCase{"\"/new\nline\" /background", "/new\\nline"},
                    TryExecCase{"\" /leading\" /background", "\\s/leading"}));

class AutostartRoundTrip : public testing::TestWithParam<std::string> {};

TEST_P(AutostartRoundTrip, CommandLineComesBackExactly) {
  const std::string commandLine = "\"" + GetParam() + "\" /background";
  const std::string entry = autostartEntryFor(commandLine);
  // One line per key: nothing in the path may break the entry's lines.
  EXPECT_EQ(std::count(entry.begin(), entry.end(), '\n'), 7);
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
