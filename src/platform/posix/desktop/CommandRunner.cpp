#include "platform/posix/desktop/CommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

extern char** environ;

namespace platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

// A tool that floods its output is not worth more memory than this; the rest is read and dropped.
constexpr std::size_t kMaxOutputBytes = 1 << 20;
// How often a wait without data to read looks at the child again.
constexpr int kPollSliceMs = 10;
// How long a background program gets to end on SIGTERM before it is killed.
constexpr auto kStopGrace = std::chrono::seconds(1);

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Starts argv with `outputFd` (or /dev/null when negative) as its standard output; 0 or the
// errno of the failure (glibc reports a failed exec here too).
int spawn(const std::vector<std::string>& argv, int outputFd, pid_t& process) {
  if (argv.empty() || argv[0].empty()) return ENOENT;
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outputFd >= 0)
    posix_spawn_file_actions_adddup2(actions.get(), outputFd, STDOUT_FILENO);
  else
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  // Nothing of ours (the settings lock, the X connection, sockets) leaks into the tool.
  posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

  SpawnAttributes attributes;
  sigset_t everySignal;
  sigset_t noSignal;
  sigfillset(&everySignal);
  sigemptyset(&noSignal);
  posix_spawnattr_setsigdefault(attributes.get(), &everySignal);
  posix_spawnattr_setsigmask(attributes.get(), &noSignal);
  posix_spawnattr_setpgroup(attributes.get(), 0);
  posix_spawnattr_setflags(attributes.get(),
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  return posix_spawnp(&process, arguments[0], actions.get(), attributes.get(), arguments.data(),
                      environ);
}

// Waits for the child to end without a time limit (it has just been sent SIGKILL).
int reap(pid_t process) {
  int status = 0;
  while (::waitpid(process, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Reads what is available on the non-blocking descriptor; false once it reached end of file.
bool drain(int fd, std::string& output) {
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
      const std::size_t room = kMaxOutputBytes - std::min(output.size(), kMaxOutputBytes);
      output.append(buffer, std::min(room, static_cast<std::size_t>(count)));
      continue;
    }
    if (count == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

CommandResult SpawnCommandRunner::run(const std::vector<std::string>& argv) {
  CommandResult result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  // With our own standard descriptors closed, the pipe could land on 0..2 and be overwritten
  // by the child's own set-up; move its writing end out of the way.
  if (pipeFds[1] <= STDERR_FILENO) {
    const int moved = ::fcntl(pipeFds[1], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(pipeFds[1]);
    pipeFds[1] = moved;
  }
  pid_t process = 0;
  const int error = pipeFds[1] >= 0 ? spawn(argv, pipeFds[1], process) : EMFILE;
  if (pipeFds[1] >= 0) ::close(pipeFds[1]);
  const int readFd = pipeFds[0];
  if (error != 0) {
    ::close(readFd);
    return result;
  }
  result.started = true;
  ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);

  const Clock::time_point deadline = Clock::now() + timeout_;
  bool pipeOpen = true;
  for (;;) {
    if (pipeOpen) pipeOpen = drain(readFd, result.output);
    int status = 0;
    const pid_t ended = ::waitpid(process, &status, WNOHANG);
    if (ended == process) {
      // A grandchild may still hold the pipe: take what is there and stop reading.
      if (pipeOpen) drain(readFd, result.output);
      if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
      break;
    }
    if (ended < 0 && errno != EINTR) break;  // reaped elsewhere (SIGCHLD ignored): status unknown
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      ::kill(-process, SIGKILL);
      ::kill(process, SIGKILL);
      reap(process);
      result.timedOut = true;
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    pollfd watched{readFd, POLLIN, 0};
    ::poll(&watched, pipeOpen ? 1 : 0,
           static_cast<int>(std::min<std::int64_t>(left.count() + 1, kPollSliceMs)));
  }
  ::close(readFd);
  return result;
}

std::optional<pid_t> SpawnCommandRunner::startBackground(const std::vector<std::string>& argv) {
  pid_t process = 0;
  if (spawn(argv, -1, process) != 0) return std::nullopt;
  return process;
}

void SpawnCommandRunner::stopBackground(pid_t process) {
  int status = 0;
  if (::waitpid(process, &status, WNOHANG) != 0) return;  // already ended (now reaped) or not ours
  ::kill(process, SIGTERM);
  const Clock::time_point deadline = Clock::now() + kStopGrace;
  while (Clock::now() < deadline) {
    const pid_t ended = ::waitpid(process, &status, WNOHANG);
    if (ended == process || (ended < 0 && errno != EINTR)) return;
    ::poll(nullptr, 0, kPollSliceMs);
  }
  ::kill(process, SIGKILL);
  reap(process);
}

}  // namespace platform::posix
