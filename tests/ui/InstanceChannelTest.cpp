// The command door of the running program, against a neighbour that opens connections and
// keeps them.

#include "ui/qt/InstanceChannel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/TestApplication.h"

namespace {

int Connecter(const std::string& chemin) {
  const int descripteur = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un adresse{};
  adresse.sun_family = AF_UNIX;
  std::strncpy(adresse.sun_path, chemin.c_str(), sizeof adresse.sun_path - 1);
  if (::connect(descripteur, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) != 0) {
    ::close(descripteur);
    return -1;
  }
  return descripteur;
}

bool Attendre(const std::function<bool()>& condition, int millisecondes) {
  QElapsedTimer chrono;
  chrono.start();
  while (!condition()) {
    if (chrono.elapsed() > millisecondes) return false;
    QTest::qWait(10);
  }
  return true;
}

TEST(InstanceChannel, IdleConnectionsAndRunningOutOfDescriptorsNeverCloseTheDoor) {
  Application();
  const std::filesystem::path dossier =
      std::filesystem::temp_directory_path() / ("channel-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dossier);
  const char* ancien = std::getenv("XDG_RUNTIME_DIR");
  const std::string sauve = ancien ? ancien : "";
  ::setenv("XDG_RUNTIME_DIR", dossier.c_str(), 1);
  std::vector<std::string> recues;
  {
    InstanceChannel canal("verrelune-test", [&](const std::string& c) { recues.push_back(c); });
    ASSERT_TRUE(canal.listening());
    const std::string chemin = InstanceChannel::socketPath("verrelune-test");

    // A thousand connections that say nothing: a few are held at once.
    std::vector<int> muettes;
    for (int i = 0; i < 1000; ++i) {
      muettes.push_back(Connecter(chemin));
      QCoreApplication::processEvents();  // accepts, as the program's loop would
    }
    QTest::qWait(100);
    EXPECT_LE(canal.connexions(), InstanceChannel::kConnexionsMax);

    // The process runs out of descriptors while a command waits to be accepted.
    const int enAttente = Connecter(chemin);
    ASSERT_GE(enAttente, 0);
    rlimit limite{};
    ::getrlimit(RLIMIT_NOFILE, &limite);
    const rlimit avant = limite;
    limite.rlim_cur = static_cast<rlim_t>(::dup(0));  // no descriptor left above this one
    ::close(static_cast<int>(limite.rlim_cur));
    ::setrlimit(RLIMIT_NOFILE, &limite);
    QTest::qWait(200);
    ::setrlimit(RLIMIT_NOFILE, &avant);
    EXPECT_TRUE(canal.listening());
    EXPECT_TRUE(std::filesystem::exists(chemin));
    ASSERT_EQ(::write(enAttente, "next\n", 5), 5);
    EXPECT_TRUE(Attendre([&] { return recues == std::vector<std::string>{"next"}; }, 5000));

    for (int d : muettes) ::close(d);
    ::close(enAttente);
    // A later start still gets through.
    EXPECT_TRUE(InstanceChannel::send("verrelune-test", "show"));
    EXPECT_TRUE(Attendre([&] { return recues.size() == 2 && recues.back() == "show"; }, 5000));
  }
  if (ancien) ::setenv("XDG_RUNTIME_DIR", sauve.c_str(), 1); else ::unsetenv("XDG_RUNTIME_DIR");
  std::filesystem::remove_all(dossier);
}

}  // namespace
