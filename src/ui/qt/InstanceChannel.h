#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

// The running program's door for the commands of a second start (--show, --next, --previous,
// --quit): a local socket beside the single-instance lock, in a folder only its user may enter.
//
// A client sends one command per line and hears one line back once the command is done:
// "ok", or "error " and why it was not carried out. A client that hears nothing (the program
// ended, or never got to its command) knows that nothing was confirmed.
//
// A few connections are held at once; the others wait in the system's queue for their turn.
// When all held ones are waiting for a command to be done, nobody is pushed out; when some are
// silent, the oldest silent one makes way (told "busy": nothing it sent was read, it may come
// again), and a silent one is dropped after a few seconds. When
// the process runs out of descriptors it pauses and listens again: a program that opens
// connections and keeps them cannot close the door for the rest of the session.
class InstanceChannel : public QObject {
  Q_OBJECT
 public:
  // How a command went: empty when it was carried out, otherwise why it was not.
  using Reponse = std::function<void(const std::string& echec)>;
  using Gestionnaire = std::function<void(const std::string& commande, const Reponse& repondre)>;

  // Where the socket of the program file `programFileName` lives; empty when there is no
  // private folder for it.
  static std::string socketPath(const std::string& programFileName);

  // Listens for commands. Each received one goes to `onCommand` once the event that brought it
  // has been handled, unless its client has gone by then; `onCommand` answers it through
  // `repondre`, and a command it leaves unanswered is answered as not carried out.
  InstanceChannel(const std::string& programFileName, Gestionnaire onCommand);
  ~InstanceChannel() override;
  bool listening() const { return ecoute_ >= 0; }
  int connexions() const { return static_cast<int>(clients_.size()); }
  // Stops listening and removes the socket: a start from now on does not take this program,
  // which is ending, for a running one.
  void arreter();

  enum class Issue { Fait, Refuse, SansReponse, Absent };
  struct Resultat {
    Issue issue;
    std::string raison;  // of a refusal
  };
  // Sends one command to the running program and waits for its answer. Absent: no program
  // listens (one that is starting is waited for `attenteConnexionMs`).
  static Resultat send(const std::string& programFileName, const std::string& command,
                       int attenteConnexionMs = kAttenteConnexionMs);
  // Whether a program listens for commands now.
  static bool ecoute(const std::string& programFileName);

  static constexpr int kConnexionsMax = 8;
  static constexpr int kSilenceMaxMs = 5000;
  // A command is a word: a line of this many bytes or more, newline included, is none.
  static constexpr std::size_t kLigneMax = 64;
  static constexpr int kAttenteConnexionMs = 3000;
  // Commands are done one after the other: forty wallpaper changes of large pictures on a
  // slow disk take a while.
  static constexpr int kAttenteReponseMs = 60000;

 private:
  struct Client;

  bool ecouter();
  void fermerEcoute();
  void accepter();
  void accueillir(int descripteur);
  void lire(std::uint64_t numero);
  void executer(std::uint64_t numero, const std::string& commande);
  void repondre(std::uint64_t numero, const std::string& echec);
  void fermer(std::uint64_t numero);
  Client* trouver(std::uint64_t numero);
  // Lets the waiting connections in once a held one is gone.
  void reprendreAccueil();

  std::string chemin_;
  Gestionnaire onCommand_;
  int ecoute_ = -1;
  QSocketNotifier* notificateur_ = nullptr;
  // Waits a moment before accepting again (out of descriptors) or listening again.
  QTimer reprise_;
  bool complet_ = false;     // not accepting: every held connection waits for its command
  bool plainteFaite_ = false;  // a failure to listen is said once, not at every try
  bool arrete_ = false;
  std::uint64_t prochainNumero_ = 1;
  std::vector<std::unique_ptr<Client>> clients_;  // oldest first
};
