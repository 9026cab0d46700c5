#include "platform/posix/InstanceLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
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

// Without a runtime folder the lock and the socket go to a folder only the user may enter;
// one that another user made first under that name, a link, or an open one is not taken as is.
TEST_F(InstanceLockTest, WithoutRuntimeFolderTheLockIsInAPrivateFolder) {
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", env.root().c_str(), 1);
  setenv("XDG_CACHE_HOME", (env.root() / "cache").c_str(), 1);
  const std::filesystem::path partage = env.root() / ("verrelune-" + std::to_string(getuid()));
  const std::filesystem::path cache = env.root() / "cache/verrelune";
  auto prive = [](const std::filesystem::path& dossier) {
    struct stat status {};
    return lstat(dossier.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == getuid() && (status.st_mode & 077) == 0;
  };

  EXPECT_EQ(InstanceLock::lockPath("verrelune"), (partage / "verrelune.lock").string());
  EXPECT_TRUE(prive(partage));
  {
    auto lock = InstanceLock::tryAcquire("verrelune");
    ASSERT_TRUE(lock);
    EXPECT_FALSE(otherProcessAcquires("verrelune"));
  }
  chmod(partage.c_str(), 0777);
  EXPECT_EQ(InstanceLock::runtimeFolder(), partage.string());
  EXPECT_TRUE(prive(partage));

  std::filesystem::remove_all(partage);
  std::filesystem::create_directory_symlink(env.home(), partage);
  EXPECT_EQ(InstanceLock::runtimeFolder(), cache.string());
  EXPECT_TRUE(prive(cache));
  if (getuid() == 0) {
    std::filesystem::remove(partage);
    std::filesystem::create_directory(partage);
    ASSERT_EQ(chown(partage.c_str(), 4242, 4242), 0);
    EXPECT_NE(InstanceLock::runtimeFolder(), partage.string());
  }
}

TEST(RunningProgram, PathIsTheExecutable) {
  const std::string path = platform::posix::runningProgramPath();
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(platform::posix::fileNameOf(path), "test_platform");
  EXPECT_EQ(platform::posix::fileNameOf("/opt/a b/Verrelune.exe"), "Verrelune.exe");
}

}  // namespace
