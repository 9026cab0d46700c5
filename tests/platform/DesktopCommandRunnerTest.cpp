#include "platform/posix/desktop/CommandRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cerrno>

using namespace platform::posix;
using namespace std::chrono_literals;

namespace {

// No child of this test process is left unreaped.
void expectNoChildLeft() {
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// Processes of the group that still run (zombies waiting for a reaper do not count: an orphan
// killed in a container whose first process never reaps stays one).
int liveMembers(pid_t group) {
  int live = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    char state = 0;
    long parent = 0, processGroup = 0;
    fields >> state >> parent >> processGroup;
    if (processGroup == group && state != 'Z') ++live;
  }
  return live;
}

TEST(DesktopCommandRunnerTest, CollectsOutputAndExitStatusWithoutAShell) {
  SpawnCommandRunner runner;
  const CommandResult printed = runner.run({"printf", "%s|%s", "a b", "$HOME;'\""});
  EXPECT_TRUE(printed.succeeded());
  EXPECT_EQ(printed.output, "a b|$HOME;'\"");

  const CommandResult failed = runner.run({"sh", "-c", "echo out; exit 7"});
  EXPECT_TRUE(failed.started);
  EXPECT_FALSE(failed.succeeded());
  EXPECT_EQ(failed.exitStatus, 7);
  EXPECT_EQ(failed.output, "out\n");

  const CommandResult killed = runner.run({"sh", "-c", "kill -9 $$"});
  EXPECT_EQ(killed.exitStatus, -1);
  expectNoChildLeft();
}

TEST(DesktopCommandRunnerTest, MissingProgramIsNotStarted) {
  SpawnCommandRunner runner;
  EXPECT_FALSE(runner.run({"verrelune-no-such-tool"}).started);
  EXPECT_FALSE(runner.run({}).started);
  EXPECT_FALSE(runner.startBackground({"verrelune-no-such-tool"}));
  expectNoChildLeft();
}

TEST(DesktopCommandRunnerTest, HungToolIsKilledWithWhatItStarted) {
  SpawnCommandRunner runner(300ms);
  const auto start = std::chrono::steady_clock::now();
  // The grandchild holds the output pipe open: the runner must not wait for it either.
  const CommandResult hung = runner.run({"sh", "-c", "echo $$; sleep 30 & sleep 30; wait"});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(hung.timedOut);
  EXPECT_FALSE(hung.succeeded());
  EXPECT_LT(elapsed, 3s);
  expectNoChildLeft();
  // The whole group is gone, the background sleep included.
  const pid_t group = static_cast<pid_t>(std::stol(hung.output));
  for (int i = 0; i < 100 && liveMembers(group) > 0; ++i) ::usleep(10000);
  EXPECT_EQ(liveMembers(group), 0);
}

TEST(DesktopCommandRunnerTest, FinishedToolWhoseChildKeepsThePipeDoesNotWaitForIt) {
  SpawnCommandRunner runner(5s);
  const auto start = std::chrono::steady_clock::now();
  const CommandResult result = runner.run({"sh", "-c", "echo done; (sleep 2 &) ; exit 0"});
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "done\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST(DesktopCommandRunnerTest, OnlyTheStandardDescriptorsAreInherited) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(leaked, 3);
  SpawnCommandRunner runner;
  const CommandResult result = runner.run({"sh", "-c", "ls /proc/$$/fd"});
  ::close(leaked);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "0\n1\n2\n");
}

TEST(DesktopCommandRunnerTest, BackgroundProgramIsStoppedAndReaped) {
  SpawnCommandRunner runner;
  const std::optional<pid_t> drawer = runner.startBackground({"sleep", "30"});
  ASSERT_TRUE(drawer);
  EXPECT_EQ(::kill(*drawer, 0), 0);
  runner.stopBackground(*drawer);
  EXPECT_EQ(::kill(*drawer, 0), -1);
  expectNoChildLeft();

  // One that ended by itself is reaped by the stop as well.
  const std::optional<pid_t> brief = runner.startBackground({"true"});
  ASSERT_TRUE(brief);
  ::usleep(200000);
  runner.stopBackground(*brief);
  expectNoChildLeft();
}

}  // namespace
