#include "platform/posix/InstanceLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempEnvironment.h"

extern char** environ;

using platform::posix::InstanceLock;

namespace {

// Whether another process can take the lock now: the flock semantics only show between
// processes.
bool otherProcessAcquires(const std::string& name) {
  const pid_t child = fork();
  if (child == 0) _exit(InstanceLock::tryAcquire(name) ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class InstanceLockTest : public testing::Test {
 protected:
  TempEnvironment env;
};

TEST_F(InstanceLockTest, OneHolderPerProgramFileName) {
  auto lock = InstanceLock::tryAcquire("verrelune");
  ASSERT_TRUE(lock);
  EXPECT_TRUE(lock->held());
  EXPECT_EQ(InstanceLock::lockPath("verrelune"), (env.runtime() / "verrelune.lock").string());
  EXPECT_FALSE(otherProcessAcquires("verrelune"));
  // A copy of the program under another name runs beside it.
  EXPECT_TRUE(otherProcessAcquires("verrelune-copie"));
  lock.reset();
  EXPECT_TRUE(otherProcessAcquires("verrelune"));
}

TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepTheLock) {
  auto lock = InstanceLock::tryAcquire("verrelune");
  ASSERT_TRUE(lock);
  pid_t sleeper = 0;
  char sleep[] = "sleep", seconds[] = "30";
  char* argv[] = {sleep, seconds, nullptr};
  ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
  lock.reset();
  EXPECT_TRUE(otherProcessAcquires("verrelune"));
  kill(sleeper, SIGTERM);
  waitpid(sleeper, nullptr, 0);
}

TEST_F(InstanceLockTest, WithoutRuntimeFolderTheLockIsPerUserInTmp) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::string name = "verrelune-test-" + std::to_string(getpid());
  EXPECT_EQ(InstanceLock::lockPath(name), "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock");
  {
    auto lock = InstanceLock::tryAcquire(name);
    ASSERT_TRUE(lock);
    EXPECT_FALSE(otherProcessAcquires(name));
  }
  unlink(InstanceLock::lockPath(name).c_str());
}

TEST(RunningProgram, PathIsTheExecutable) {
  const std::string path = platform::posix::runningProgramPath();
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(platform::posix::fileNameOf(path), "test_platform");
  EXPECT_EQ(platform::posix::fileNameOf("/opt/a b/Verrelune.exe"), "Verrelune.exe");
}

}  // namespace
