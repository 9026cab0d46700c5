#include "platform/posix/StaleTemporaryFiles.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "TempEnvironment.h"

namespace fs = std::filesystem;

namespace {

// A process id that names no running process: a child that has ended and been reaped.
pid_t endedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(StaleTemporaryFiles, OnlyTheProgramsOwnLeftoversOfEndedOrOldWritesGo) {
  TempEnvironment env;
  const fs::path folder = env.config() / "verrelune";
  fs::create_directories(folder);
  const std::string dead = std::to_string(endedProcess());
  const std::string alive = std::to_string(getpid());
  const struct {
    std::string name;
    bool old;  // written two minutes ago
    bool removed;
  } cases[] = {
      {".registry.reg.tmp-" + dead + "-Ab3dE9", false, true},
      {".registry.reg.tmp-" + alive + "-Ab3dE9", false, false},
      {".registry.reg.tmp-" + alive + "-Xy7zW2", true, true},
      {".registry.reg.tmp-Ab3dE9", false, false},  // older versions, no process id
      {".registry.reg.tmp-Xy7zW2", true, true},
      {"registry.reg.tmp", false, false},
      {"registry.reg.tmp.", true, false},
      {"registry.reg", true, false},
      {"registry.reg.corrupt", true, false},
      {".registry.reg.tmp-" + dead + "-toolong1", true, false},
      {".other.reg.tmp-" + dead + "-Ab3dE9", true, false},
  };
  const auto twoMinutesAgo = fs::file_time_type::clock::now() - std::chrono::minutes(2);
  for (const auto& c : cases) {
    TempEnvironment::write(folder / c.name, "x");
    if (c.old) fs::last_write_time(folder / c.name, twoMinutesAgo);
  }
  // A link at a stale name is not the program's file: it stays, and so does what it points to.
  fs::create_symlink(folder / "registry.reg", folder / (".registry.reg.tmp-" + dead + "-L1nk00"));

  platform::posix::removeStaleTemporaryFilesOf({(folder / "registry.reg").string()});

  for (const auto& c : cases) EXPECT_EQ(fs::exists(folder / c.name), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_symlink(folder / (".registry.reg.tmp-" + dead + "-L1nk00")));
}

TEST(StaleTemporaryFiles, EveryFolderTheProgramWritesToIsSwept) {
  TempEnvironment env;
  const fs::path leftovers[] = {
      env.config() / "verrelune" / ".registry.reg.tmp-Ab3dE9",
      env.config() / "autostart" / ".verrelune.desktop.tmp-Ab3dE9",
      env.data() / "Verrelune" / ".Verrelune.bmp.tmp-Ab3dE9",
      env.data() / "Verrelune" / ".Verrelune-a.png.tmp-Ab3dE9",
      env.data() / "Verrelune" / ".Verrelune-b.png.tmp-Ab3dE9",
      env.data() / "Verrelune" / ".Verrelune-12.png.tmp-Ab3dE9",
  };
  for (const fs::path& leftover : leftovers) {
    TempEnvironment::write(leftover, "x");
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::minutes(2));
  }
  platform::posix::removeStaleTemporaryFiles(platform::posix::XdgDirs::fromEnvironment());
  for (const fs::path& leftover : leftovers) EXPECT_FALSE(fs::exists(leftover)) << leftover;
}

}  // namespace
