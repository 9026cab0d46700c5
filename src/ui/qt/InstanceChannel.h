#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QLocalSocket;
class QSocketNotifier;

// The running program's door for the commands of a second start (--show, --next, --previous,
// --quit): a local socket beside the single-instance lock, in a folder only its user may enter.
//
// It holds a few connections at once and drops those that send nothing for a few seconds, and
// when the process runs out of descriptors it pauses and listens again: a program that opens
// connections and keeps them cannot close the door for the rest of the session.
class InstanceChannel : public QObject {
  Q_OBJECT
 public:
  // Where the socket of the program file `programFileName` lives; empty when there is no
  // private folder for it.
  static std::string socketPath(const std::string& programFileName);

  // Listens for commands; each received one goes to `onCommand`, once the event that brought
  // it has been handled.
  InstanceChannel(const std::string& programFileName,
                  std::function<void(const std::string&)> onCommand);
  ~InstanceChannel() override;
  bool listening() const { return ecoute_ >= 0; }
  int connexions() const { return static_cast<int>(clients_.size()); }

  // Sends one command to the running program; false when it does not answer.
  static bool send(const std::string& programFileName, const std::string& command);

  static constexpr int kConnexionsMax = 8;
  static constexpr int kSilenceMaxMs = 5000;

 private:
  bool ecouter();
  void fermerEcoute();
  void accepter();
  void accueillir(int descripteur);
  void lire(QLocalSocket* client);
  void oublier(QLocalSocket* client);

  std::string chemin_;
  std::function<void(const std::string&)> onCommand_;
  int ecoute_ = -1;
  QSocketNotifier* notificateur_ = nullptr;
  // Waits a moment before accepting again (out of descriptors) or listening again.
  QTimer reprise_;
  std::vector<QLocalSocket*> clients_;  // oldest first
};
