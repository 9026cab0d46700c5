#include "ui/qt/InstanceChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/InstanceLock.h"

namespace {

constexpr int kAttenteMs = 3000;
constexpr int kRepriseMs = 1000;
constexpr int kFileAttente = 16;
// A command is a word; a line longer than this is no command.
constexpr qint64 kLigneMax = 64;

}  // namespace

std::string InstanceChannel::socketPath(const std::string& programFileName) {
  std::string chemin = platform::posix::InstanceLock::lockPath(programFileName);
  const std::string suffixe = ".lock";
  if (chemin.size() < suffixe.size() ||
      chemin.compare(chemin.size() - suffixe.size(), suffixe.size(), suffixe) != 0)
    return {};
  chemin.erase(chemin.size() - suffixe.size());
  return chemin + ".sock";
}

InstanceChannel::InstanceChannel(const std::string& programFileName,
                                 std::function<void(const std::string&)> onCommand)
    : chemin_(socketPath(programFileName)), onCommand_(std::move(onCommand)) {
  reprise_.setSingleShot(true);
  reprise_.setInterval(kRepriseMs);
  connect(&reprise_, &QTimer::timeout, this, [this] {
    if (ecoute_ < 0) {
      if (!ecouter()) reprise_.start();
      return;
    }
    notificateur_->setEnabled(true);
    accepter();
  });
  if (!ecouter()) reprise_.start();
}

InstanceChannel::~InstanceChannel() {
  for (QLocalSocket* client : clients_) client->disconnect(this);
  fermerEcoute();
  if (!chemin_.empty()) ::unlink(chemin_.c_str());
}

// The caller holds the instance lock, so a socket left at the path is a crashed run's.
bool InstanceChannel::ecouter() {
  sockaddr_un adresse{};
  adresse.sun_family = AF_UNIX;
  if (chemin_.empty() || chemin_.size() >= sizeof adresse.sun_path) {
    std::fprintf(stderr, "verrelune: no place for the command socket%s%s\n",
                 chemin_.empty() ? "" : " ", chemin_.c_str());
    return true;  // nothing to try again
  }
  std::memcpy(adresse.sun_path, chemin_.c_str(), chemin_.size() + 1);
  const int descripteur = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(chemin_.c_str());
  if (descripteur < 0 ||
      ::bind(descripteur, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) != 0 ||
      ::chmod(chemin_.c_str(), 0600) != 0 || ::listen(descripteur, kFileAttente) != 0) {
    std::fprintf(stderr, "verrelune: cannot listen for commands on %s (%s)\n", chemin_.c_str(),
                 std::strerror(errno));
    if (descripteur >= 0) ::close(descripteur);
    return false;
  }
  ecoute_ = descripteur;
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
    const int descripteur = ::accept4(ecoute_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (descripteur >= 0) {
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
  // The oldest connection makes way: it is the one most likely to be sitting idle.
  if (static_cast<int>(clients_.size()) >= kConnexionsMax) {
    QLocalSocket* ancien = clients_.front();
    ancien->abort();
    oublier(ancien);
  }
  auto* client = new QLocalSocket(this);
  if (!client->setSocketDescriptor(descripteur)) {
    ::close(descripteur);
    delete client;
    return;
  }
  clients_.push_back(client);
  connect(client, &QLocalSocket::disconnected, this, [this, client] { oublier(client); });
  connect(client, &QLocalSocket::errorOccurred, this, [this, client] { oublier(client); });
  connect(client, &QLocalSocket::readyRead, this, [this, client] { lire(client); });
  QTimer::singleShot(kSilenceMaxMs, client, [client] { client->abort(); });
  if (client->bytesAvailable() > 0) lire(client);
}

void InstanceChannel::lire(QLocalSocket* client) {
  while (client->canReadLine()) {
    const QByteArray ligne = client->readLine(kLigneMax).trimmed();
    if (ligne.isEmpty()) continue;
    // Handled once this handler has returned: a command may run the event loop (showing the
    // window builds thumbnails), and the client socket may be gone by then.
    QMetaObject::invokeMethod(
        this, [this, commande = ligne.toStdString()] { onCommand_(commande); }, Qt::QueuedConnection);
  }
  if (client->bytesAvailable() > kLigneMax) client->abort();
}

void InstanceChannel::oublier(QLocalSocket* client) {
  const auto place = std::find(clients_.begin(), clients_.end(), client);
  if (place == clients_.end()) return;
  clients_.erase(place);
  lire(client);  // what came just before the end
  client->disconnect(this);
  client->deleteLater();
}

bool InstanceChannel::send(const std::string& programFileName, const std::string& command) {
  const std::string chemin = socketPath(programFileName);
  if (chemin.empty()) return false;
  QLocalSocket socket;
  // The running program listens once its window is made; a start a moment earlier finds no
  // socket yet, so try again for a while.
  QElapsedTimer attente;
  attente.start();
  for (;;) {
    socket.connectToServer(QFile::decodeName(QByteArray::fromStdString(chemin)));
    if (socket.waitForConnected(kAttenteMs)) break;
    if (attente.elapsed() > kAttenteMs) return false;
    QThread::msleep(100);
  }
  socket.write(QByteArray::fromStdString(command + "\n"));
  const bool ecrit = socket.waitForBytesWritten(kAttenteMs);
  socket.disconnectFromServer();
  return ecrit;
}
