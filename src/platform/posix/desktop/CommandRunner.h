#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform::posix {

// What became of one run of a desktop tool.
struct CommandResult {
  bool started = false;    // false: the program could not be started (not installed...)
  bool timedOut = false;   // it was killed for running too long
  int exitStatus = -1;     // its exit status; -1 when it did not exit normally
  std::string output;      // what it wrote on its standard output

  bool succeeded() const { return started && !timedOut && exitStatus == 0; }
};

// Runs the desktops' command-line tools. Programs are started directly from an argument vector
// (argv[0] is looked up in PATH), never through a shell, so no argument is ever re-parsed.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;

  // Runs the program to its end and collects its standard output. Its standard error stays
  // ours, so the tool's own complaint reaches the user's log beside ours.
  virtual CommandResult run(const std::vector<std::string>& argv) = 0;

  // Starts a program that keeps running (a background drawer); nothing when it cannot start.
  virtual std::optional<pid_t> startBackground(const std::vector<std::string>& argv) = 0;
  // Ends a program started by startBackground and reaps it.
  virtual void stopBackground(pid_t process) = 0;
};

// The real runner: posix_spawn with no descriptor inherited but the standard ones, standard
// input from /dev/null, default signal handling, and a process group of its own, so that a
// tool that hangs is killed with all it started once `timeout` has passed. Every child is
// reaped: none is left as a zombie.
class SpawnCommandRunner : public CommandRunner {
 public:
  explicit SpawnCommandRunner(std::chrono::milliseconds timeout = std::chrono::seconds(3))
      : timeout_(timeout) {}

  CommandResult run(const std::vector<std::string>& argv) override;
  std::optional<pid_t> startBackground(const std::vector<std::string>& argv) override;
  void stopBackground(pid_t process) override;

 private:
  std::chrono::milliseconds timeout_;
};

}  // namespace platform::posix
