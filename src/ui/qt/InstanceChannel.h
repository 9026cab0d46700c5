#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;

// The running program's door for the commands of a second start (--show, --next, --previous,
// --quit): a local socket beside the single-instance lock, reachable by its user only.
class InstanceChannel : public QObject {
  Q_OBJECT
 public:
  // Where the socket of the program file `programFileName` lives.
  static std::string socketPath(const std::string& programFileName);

  // Listens for commands; each received one goes to `onCommand`.
  InstanceChannel(const std::string& programFileName,
                  std::function<void(const std::string&)> onCommand);
  ~InstanceChannel() override;
  bool listening() const;

  // Sends one command to the running program; false when it does not answer.
  static bool send(const std::string& programFileName, const std::string& command);

 private:
  std::unique_ptr<QLocalServer> server_;
  std::function<void(const std::string&)> onCommand_;
};
