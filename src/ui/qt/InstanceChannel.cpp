#include "ui/qt/InstanceChannel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "platform/posix/InstanceLock.h"

namespace {

constexpr int kAttenteMs = 3000;

QString NomSocket(const std::string& programFileName) {
  return QFile::decodeName(QByteArray::fromStdString(InstanceChannel::socketPath(programFileName)));
}

}  // namespace

std::string InstanceChannel::socketPath(const std::string& programFileName) {
  std::string chemin = platform::posix::InstanceLock::lockPath(programFileName);
  const std::string suffixe = ".lock";
  if (chemin.size() >= suffixe.size() && chemin.compare(chemin.size() - suffixe.size(), suffixe.size(), suffixe) == 0)
    chemin.erase(chemin.size() - suffixe.size());
  return chemin + ".sock";
}

InstanceChannel::InstanceChannel(const std::string& programFileName,
                                 std::function<void(const std::string&)> onCommand)
    : server_(std::make_unique<QLocalServer>()), onCommand_(std::move(onCommand)) {
  const QString nom = NomSocket(programFileName);
  // The caller holds the instance lock, so a socket left there is a crashed run's.
  QLocalServer::removeServer(nom);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(nom)) {
    std::fprintf(stderr, "verrelune: cannot listen for commands on %s: %s\n",
                 nom.toLocal8Bit().constData(), server_->errorString().toLocal8Bit().constData());
    return;
  }
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, this, [this, client] {
        while (client->canReadLine()) {
          const QByteArray ligne = client->readLine(64).trimmed();
          if (ligne.isEmpty()) continue;
          // Handled once this handler has returned: a command may run the event loop (showing
          // the window builds thumbnails), and the client socket may be gone by then.
          QMetaObject::invokeMethod(
              this, [this, commande = ligne.toStdString()] { onCommand_(commande); },
              Qt::QueuedConnection);
        }
      });
    }
  });
}

InstanceChannel::~InstanceChannel() {
  if (server_) server_->close();
}

bool InstanceChannel::listening() const { return server_ && server_->isListening(); }

bool InstanceChannel::send(const std::string& programFileName, const std::string& command) {
  QLocalSocket socket;
  // The running program listens once its window is made; a start a moment earlier finds no
  // socket yet, so try again for a while.
  QElapsedTimer attente;
  attente.start();
  for (;;) {
    socket.connectToServer(NomSocket(programFileName));
    if (socket.waitForConnected(kAttenteMs)) break;
    if (attente.elapsed() > kAttenteMs) return false;
    QThread::msleep(100);
  }
  socket.write(QByteArray::fromStdString(command + "\n"));
  const bool ecrit = socket.waitForBytesWritten(kAttenteMs);
  socket.disconnectFromServer();
  return ecrit;
}
