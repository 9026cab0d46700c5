#include "ui/qt/InstanceChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/posix/InstanceLock.h"

namespace {

using Horloge = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kRepriseMs = 1000;
// Connections beyond those held wait here for their turn.
constexpr int kFileAttente = 64;
constexpr char kFait[] = "ok";
constexpr char kRefus[] = "error ";
// Said to a silent connection that makes way: nothing it sent was read, it may come again.
constexpr char kOccupe[] = "busy";
// An answer is one short line; more than this is no answer of ours.
constexpr std::size_t kReponseMax = 4096;

bool Adresse(const std::string& chemin, sockaddr_un& adresse) {
  adresse = {};
  adresse.sun_family = AF_UNIX;
  if (chemin.empty() || chemin.size() >= sizeof adresse.sun_path) return false;
  std::memcpy(adresse.sun_path, chemin.c_str(), chemin.size() + 1);
  return true;
}

// The answer on one line: a reason written on several lines is joined.
std::string LigneReponse(const std::string& echec) {
  if (echec.empty()) return std::string(kFait) + "\n";
  std::string ligne = kRefus;
  for (const char c : echec) {
    if (c == '\n')
      ligne += ": ";
    else if (c != '\r')
      ligne += c;
  }
  return ligne + "\n";
}

std::string SansBlancs(const std::string& texte) {
  const auto blanc = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto debut = std::find_if_not(texte.begin(), texte.end(), blanc);
  const auto fin = std::find_if_not(texte.rbegin(), texte.rend(), blanc).base();
  return debut < fin ? std::string(debut, fin) : std::string();
}

// A folder in the socket's place cannot be removed as a stale socket is, and would keep the
// program unreachable: it is moved aside, with a word. Nothing else of the user's is touched.
void DegagerDossier(const std::string& chemin) {
  struct stat etat {};
  if (::lstat(chemin.c_str(), &etat) != 0 || !S_ISDIR(etat.st_mode)) return;
  for (int n = 1; n <= 100; ++n) {
    const std::string ailleurs = chemin + ".moved-aside" + (n > 1 ? "-" + std::to_string(n) : "");
    if (::lstat(ailleurs.c_str(), &etat) == 0) continue;
    if (::rename(chemin.c_str(), ailleurs.c_str()) == 0)
      std::fprintf(stderr, "verrelune: a folder stood where the command socket goes; it was moved to %s\n",
                   ailleurs.c_str());
    return;
  }
}

// The client has closed its end: nobody waits for what it asked.
bool ClientParti(int descripteur) {
  pollfd attente{descripteur, POLLOUT, 0};
  return ::poll(&attente, 1, 0) > 0 && (attente.revents & (POLLHUP | POLLERR)) != 0;
}

bool Envoyer(int descripteur, const std::string& texte, Horloge::time_point limite) {
  std::size_t envoyes = 0;
  while (envoyes < texte.size()) {
    const ssize_t n = ::send(descripteur, texte.data() + envoyes, texte.size() - envoyes,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      envoyes += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    const auto reste = std::chrono::duration_cast<milliseconds>(limite - Horloge::now()).count();
    if (reste <= 0) return false;
    pollfd attente{descripteur, POLLOUT, 0};
    ::poll(&attente, 1, static_cast<int>(reste));
  }
  return true;
}

}  // namespace

struct InstanceChannel::Client {
  std::uint64_t numero = 0;
  int descripteur = -1;
  QSocketNotifier* lecture = nullptr;
  QTimer* silence = nullptr;
  std::string ligne;
  bool jeter = false;  // an over-long line is dropped up to its newline
  bool fini = false;   // the client sends nothing more
  int enCours = 0;     // commands received and not answered yet

  Client() = default;
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  // The notifier and the timer may be the ones whose signal is being handled: they go once
  // that is over.
  ~Client() {
    lecture->setEnabled(false);
    lecture->deleteLater();
    silence->stop();
    silence->deleteLater();
    ::close(descripteur);
  }
};

std::string InstanceChannel::socketPath(const std::string& programFileName) {
  std::string chemin = platform::posix::InstanceLock::lockPath(programFileName);
  const std::string suffixe = ".lock";
  if (chemin.size() < suffixe.size() ||
      chemin.compare(chemin.size() - suffixe.size(), suffixe.size(), suffixe) != 0)
    return {};
  chemin.erase(chemin.size() - suffixe.size());
  return chemin + ".sock";
}

InstanceChannel::InstanceChannel(const std::string& programFileName, Gestionnaire onCommand)
    : chemin_(socketPath(programFileName)), onCommand_(std::move(onCommand)) {
  reprise_.setSingleShot(true);
  reprise_.setInterval(kRepriseMs);
  connect(&reprise_, &QTimer::timeout, this, [this] {
    if (ecoute_ < 0) {
      if (!ecouter()) reprise_.start();
      return;
    }
    if (!complet_) notificateur_->setEnabled(true);
    accepter();
  });
  if (!ecouter()) reprise_.start();
}

InstanceChannel::~InstanceChannel() {
  clients_.clear();
  if (!arrete_) arreter();
}

void InstanceChannel::arreter() {
  arrete_ = true;
  reprise_.stop();
  const bool lie = ecoute_ >= 0;
  fermerEcoute();
  if (lie) ::unlink(chemin_.c_str());
}

// The caller holds the instance lock, so a socket left at the path is a crashed run's.
bool InstanceChannel::ecouter() {
  sockaddr_un adresse{};
  if (!Adresse(chemin_, adresse)) {
    std::fprintf(stderr, "verrelune: no place for the command socket%s%s\n",
                 chemin_.empty() ? "" : " ", chemin_.c_str());
    return true;  // nothing to try again
  }
  DegagerDossier(chemin_);
  const int descripteur = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(chemin_.c_str());
  if (descripteur < 0 ||
      ::bind(descripteur, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) != 0 ||
      ::chmod(chemin_.c_str(), 0600) != 0 || ::listen(descripteur, kFileAttente) != 0) {
    // Tried again every second: said once, not at every try.
    if (!plainteFaite_)
      std::fprintf(stderr, "verrelune: cannot listen for commands on %s (%s); trying again\n",
                   chemin_.c_str(), std::strerror(errno));
    plainteFaite_ = true;
    if (descripteur >= 0) ::close(descripteur);
    return false;
  }
  if (plainteFaite_) std::fprintf(stderr, "verrelune: listening for commands on %s\n", chemin_.c_str());
  plainteFaite_ = false;
  ecoute_ = descripteur;
  complet_ = false;
  notificateur_ = new QSocketNotifier(ecoute_, QSocketNotifier::Read, this);
  connect(notificateur_, &QSocketNotifier::activated, this, &InstanceChannel::accepter);
  return true;
}

void InstanceChannel::fermerEcoute() {
  delete notificateur_;
  notificateur_ = nullptr;
  if (ecoute_ >= 0) ::close(ecoute_);
  ecoute_ = -1;
}

void InstanceChannel::accepter() {
  while (ecoute_ >= 0) {
    std::uint64_t place = 0;
    if (static_cast<int>(clients_.size()) >= kConnexionsMax) {
      // A silent connection makes way, the one silent longest first; a connection whose
      // command is being done never does. When all are busy the newcomers wait their turn.
      const auto silencieux = std::find_if(clients_.begin(), clients_.end(),
                                           [](const auto& c) { return c->enCours == 0; });
      if (silencieux == clients_.end()) {
        complet_ = true;
        notificateur_->setEnabled(false);
        return;
      }
      place = (*silencieux)->numero;
    }
    const int descripteur = ::accept4(ecoute_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (descripteur >= 0) {
      if (place != 0) {
        // Its command may have arrived since it was last read: it is told to come again.
        const std::string occupe = std::string(kOccupe) + "\n";
        [[maybe_unused]] auto envoye = ::send(trouver(place)->descripteur, occupe.data(), occupe.size(),
                                              MSG_NOSIGNAL | MSG_DONTWAIT);
        fermer(place);
      }
      accueillir(descripteur);
      continue;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      // Out of descriptors or memory: the waiting connection stays queued; try again soon
      // rather than spin on a socket that stays readable.
      notificateur_->setEnabled(false);
      reprise_.start();
      return;
    }
    std::fprintf(stderr, "verrelune: the command socket failed (%s); listening again\n",
                 std::strerror(errno));
    fermerEcoute();
    reprise_.start();
    return;
  }
}

void InstanceChannel::accueillir(int descripteur) {
  auto client = std::make_unique<Client>();
  const std::uint64_t numero = prochainNumero_++;
  client->numero = numero;
  client->descripteur = descripteur;
  client->lecture = new QSocketNotifier(descripteur, QSocketNotifier::Read, this);
  client->silence = new QTimer(this);
  client->silence->setSingleShot(true);
  client->silence->setInterval(kSilenceMaxMs);
  connect(client->lecture, &QSocketNotifier::activated, this, [this, numero] { lire(numero); });
  connect(client->silence, &QTimer::timeout, this, [this, numero] {
    if (Client* c = trouver(numero); c && c->enCours == 0) fermer(numero);
  });
  client->silence->start();
  clients_.push_back(std::move(client));
  lire(numero);  // what it sent before it was let in
}

void InstanceChannel::lire(std::uint64_t numero) {
  Client* client = trouver(numero);
  if (!client || client->fini) return;
  char tampon[512];
  for (;;) {
    const ssize_t lus = ::recv(client->descripteur, tampon, sizeof tampon, MSG_DONTWAIT);
    if (lus < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) fermer(numero);
      return;
    }
    if (lus == 0) {
      // What it asked for is still done, and answered while it listens.
      client->fini = true;
      client->lecture->setEnabled(false);
      if (client->enCours == 0) fermer(numero);
      return;
    }
    for (ssize_t i = 0; i < lus; ++i) {
      const char c = tampon[i];
      if (c != '\n') {
        if (client->jeter) continue;
        if (client->ligne.size() + 1 >= kLigneMax) {
          client->ligne.clear();
          client->jeter = true;
        } else {
          client->ligne += c;
        }
        continue;
      }
      // Each command is done once this handler has returned (a command may run the event
      // loop: showing the window builds thumbnails), and answered in the order they came.
      std::string commande = SansBlancs(client->ligne);
      client->ligne.clear();
      const bool tropLongue = client->jeter;
      client->jeter = false;
      if (commande.empty() && !tropLongue) continue;
      ++client->enCours;
      client->silence->stop();
      if (tropLongue) {
        QMetaObject::invokeMethod(
            this, [this, numero] { repondre(numero, "the line is too long to be a command"); },
            Qt::QueuedConnection);
      } else {
        QMetaObject::invokeMethod(
            this, [this, numero, commande] { executer(numero, commande); }, Qt::QueuedConnection);
      }
    }
  }
}

void InstanceChannel::executer(std::uint64_t numero, const std::string& commande) {
  Client* client = trouver(numero);
  if (!client) return;
  // Its client gave up waiting: what it was told (nothing was confirmed) stays true.
  if (ClientParti(client->descripteur)) {
    fermer(numero);
    return;
  }
  auto repondu = std::make_shared<bool>(false);
  const Reponse reponse = [this, numero, repondu](const std::string& echec) {
    if (*repondu) return;
    *repondu = true;
    repondre(numero, echec);
  };
  try {
    onCommand_(commande, reponse);
  } catch (const std::exception& erreur) {
    reponse(erreur.what());
  }
  reponse("the command was not carried out");
}

void InstanceChannel::repondre(std::uint64_t numero, const std::string& echec) {
  Client* client = trouver(numero);
  if (!client) return;
  --client->enCours;
  const std::string ligne = LigneReponse(echec);
  const ssize_t envoyes =
      ::send(client->descripteur, ligne.data(), ligne.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (envoyes != static_cast<ssize_t>(ligne.size()) || (client->fini && client->enCours == 0)) {
    fermer(numero);
    return;
  }
  if (client->enCours == 0) client->silence->start();
}

InstanceChannel::Client* InstanceChannel::trouver(std::uint64_t numero) {
  for (const auto& client : clients_)
    if (client->numero == numero) return client.get();
  return nullptr;
}

void InstanceChannel::fermer(std::uint64_t numero) {
  const auto place = std::find_if(clients_.begin(), clients_.end(),
                                  [numero](const auto& c) { return c->numero == numero; });
  if (place == clients_.end()) return;
  clients_.erase(place);
  reprendreAccueil();
}

void InstanceChannel::reprendreAccueil() {
  if (!complet_ || ecoute_ < 0) return;
  complet_ = false;
  // The notifier fires again from the event loop while connections wait.
  notificateur_->setEnabled(true);
}

bool InstanceChannel::ecoute(const std::string& programFileName) {
  sockaddr_un adresse{};
  if (!Adresse(socketPath(programFileName), adresse)) return false;
  const int descripteur = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (descripteur < 0) return false;
  const bool relie = ::connect(descripteur, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) == 0 ||
                     errno == EAGAIN;  // a full queue: busy, but there
  ::close(descripteur);
  return relie;
}

InstanceChannel::Resultat InstanceChannel::send(const std::string& programFileName,
                                                const std::string& command,
                                                int attenteConnexionMs) {
  sockaddr_un adresse{};
  if (!Adresse(socketPath(programFileName), adresse)) return {Issue::Absent, {}};
  const auto debut = Horloge::now();
  const auto limiteConnexion = debut + milliseconds(attenteConnexionMs);
  const auto limiteReponse = debut + milliseconds(kAttenteReponseMs);
  for (;;) {
    const int descripteur = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descripteur < 0) return {Issue::Absent, {}};
    if (::connect(descripteur, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) != 0) {
      const int erreur = errno;
      ::close(descripteur);
      const auto maintenant = Horloge::now();
      // Its queue is full: the program is busy with the commands of others; this one waits.
      if (erreur == EAGAIN && maintenant < limiteReponse) {
        std::this_thread::sleep_for(milliseconds(20));
        continue;
      }
      // Nobody listens yet: a program that is starting listens once it has its lock.
      if ((erreur == ENOENT || erreur == ECONNREFUSED || erreur == EINTR) &&
          maintenant < limiteConnexion) {
        std::this_thread::sleep_for(milliseconds(50));
        continue;
      }
      return {Issue::Absent, {}};
    }

    // The answer is read even when the command could not be sent: it may be "busy".
    Envoyer(descripteur, command + "\n", limiteReponse);
    std::string reponse;
    while (reponse.find('\n') == std::string::npos && reponse.size() < kReponseMax) {
      const auto reste =
          std::chrono::duration_cast<milliseconds>(limiteReponse - Horloge::now()).count();
      if (reste <= 0) break;
      pollfd attente{descripteur, POLLIN, 0};
      const int pret = ::poll(&attente, 1, static_cast<int>(reste));
      if (pret < 0 && errno == EINTR) continue;
      if (pret <= 0) break;
      char tampon[512];
      const ssize_t lus = ::recv(descripteur, tampon, sizeof tampon, MSG_DONTWAIT);
      if (lus < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (lus <= 0) break;
      reponse.append(tampon, static_cast<std::size_t>(lus));
    }
    ::close(descripteur);
    const auto finLigne = reponse.find('\n');
    if (finLigne == std::string::npos) return {Issue::SansReponse, {}};
    const std::string ligne = reponse.substr(0, finLigne);
    if (ligne == kOccupe && Horloge::now() < limiteReponse) continue;
    if (ligne == kFait) return {Issue::Fait, {}};
    if (ligne.rfind(kRefus, 0) == 0) return {Issue::Refuse, ligne.substr(sizeof kRefus - 1)};
    return {Issue::SansReponse, {}};
  }
}
