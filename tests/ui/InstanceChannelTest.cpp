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
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <QThread>
#include <optional>

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

// A runtime folder of its own for each test.
class Canal : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    dossier_ = std::filesystem::temp_directory_path() /
               ("channel-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dossier_);
    const char* ancien = std::getenv("XDG_RUNTIME_DIR");
    if (ancien) sauve_ = ancien;
    ::setenv("XDG_RUNTIME_DIR", dossier_.c_str(), 1);
  }
  void TearDown() override {
    if (sauve_) ::setenv("XDG_RUNTIME_DIR", sauve_->c_str(), 1); else ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(dossier_);
  }
  std::filesystem::path dossier_;
  std::optional<std::string> sauve_;
};

// Sends `octets` on a connection of its own and collects the answer lines while the channel
// runs, until `lignes` came or the connection ended.
std::vector<std::string> Echanger(const std::string& chemin, const std::string& octets,
                                  std::size_t lignes) {
  const int descripteur = Connecter(chemin);
  EXPECT_EQ(::write(descripteur, octets.data(), octets.size()), static_cast<ssize_t>(octets.size()));
  std::string recu;
  QElapsedTimer chrono;
  chrono.start();
  while (static_cast<std::size_t>(std::count(recu.begin(), recu.end(), '\n')) < lignes &&
         chrono.elapsed() < 5000) {
    QCoreApplication::processEvents();
    char tampon[256];
    const ssize_t lus = ::recv(descripteur, tampon, sizeof tampon, MSG_DONTWAIT);
    if (lus == 0) break;
    if (lus > 0) recu.append(tampon, static_cast<std::size_t>(lus));
    else QTest::qWait(5);
  }
  ::close(descripteur);
  std::vector<std::string> reponses;
  for (std::size_t debut = 0, fin; (fin = recu.find('\n', debut)) != std::string::npos; debut = fin + 1)
    reponses.push_back(recu.substr(debut, fin - debut));
  return reponses;
}

// One line, one command, one answer once it is done; a line too long for a command is dropped
// whole, up to its newline, and never runs in part.
TEST_F(Canal, EachLineIsOneCommandAnsweredOnceItIsDone) {
  std::vector<std::string> faites;
  InstanceChannel canal("verrelune-test", [&](const std::string& c, const InstanceChannel::Reponse& repondre) {
    faites.push_back(c);
    if (c == "fail") repondre("the disk is full\nreally");
    if (c != "mute" && c != "fail") repondre({});
  });
  ASSERT_TRUE(canal.listening());
  const std::string trop = "error the line is too long to be a command";
  struct Cas {
    std::string envoye;
    std::vector<std::string> reponses;
    std::vector<std::string> faites;
  };
  const Cas cas[] = {
      {"next\n", {"ok"}, {"next"}},
      {" show\r\nnext\n", {"ok", "ok"}, {"show", "next"}},
      {std::string(63, 'a') + "\n", {"ok"}, {std::string(63, 'a')}},
      {std::string(63, 'a') + "quit\n", {trop}, {}},
      {std::string(5000, 'a') + "\nnext\n", {trop, "ok"}, {"next"}},
      {"fail\n", {"error the disk is full: really"}, {"fail"}},
      {"mute\n", {"error the command was not carried out"}, {"mute"}},
  };
  for (const Cas& c : cas) {
    faites.clear();
    EXPECT_EQ(Echanger(InstanceChannel::socketPath("verrelune-test"), c.envoye, c.reponses.size()),
              c.reponses)
        << c.envoye.substr(0, 70);
    EXPECT_EQ(faites, c.faites) << c.envoye.substr(0, 70);
  }
}

// Many starts at once: each command is done and answered; those beyond the connections held
// wait their turn.
TEST_F(Canal, ClientsBeyondThoseHeldWaitTheirTurnAndAllAreAnswered) {
  int faites = 0;
  InstanceChannel canal("verrelune-test", [&](const std::string&, const InstanceChannel::Reponse& repondre) {
    QThread::msleep(5);
    ++faites;
    repondre({});
  });
  std::vector<std::future<InstanceChannel::Resultat>> clients;
  for (int i = 0; i < 40; ++i)
    clients.push_back(std::async(std::launch::async, [] { return InstanceChannel::send("verrelune-test", "next"); }));
  // A neighbour that opens connections and says nothing does not push them out.
  std::vector<int> muettes;
  for (int i = 0; i < 20; ++i) muettes.push_back(Connecter(InstanceChannel::socketPath("verrelune-test")));
  ASSERT_TRUE(Attendre([&] {
    return std::all_of(clients.begin(), clients.end(), [](auto& f) {
      return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
  }, 30000));
  for (auto& client : clients) EXPECT_EQ(client.get().issue, InstanceChannel::Issue::Fait);
  EXPECT_EQ(faites, 40);
  EXPECT_LE(canal.connexions(), InstanceChannel::kConnexionsMax);
  for (int d : muettes) ::close(d);
}

// A folder planted where the socket goes is moved aside, with one line, and the program is
// reachable.
TEST_F(Canal, AFolderInTheSocketsPlaceIsMovedAsideWithOneLine) {
  const std::string chemin = InstanceChannel::socketPath("verrelune-test");
  std::filesystem::create_directories(chemin + "/inside");
  ::testing::internal::CaptureStderr();
  std::vector<std::string> faites;
  {
    InstanceChannel canal("verrelune-test", [&](const std::string& c, const InstanceChannel::Reponse& repondre) {
      faites.push_back(c);
      repondre({});
    });
    EXPECT_EQ(Echanger(chemin, "show\n", 1), std::vector<std::string>{"ok"});
  }
  const std::string dit = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(faites, std::vector<std::string>{"show"});
  EXPECT_EQ(std::count(dit.begin(), dit.end(), '\n'), 1) << dit;
  EXPECT_TRUE(std::filesystem::exists(chemin + ".moved-aside/inside"));
}

TEST_F(Canal, IdleConnectionsAndRunningOutOfDescriptorsNeverCloseTheDoor) {
  std::vector<std::string> recues;
  {
    InstanceChannel canal("verrelune-test", [&](const std::string& c, const InstanceChannel::Reponse& repondre) {
      recues.push_back(c);
      repondre({});
    });
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
    auto envoi = std::async(std::launch::async, [] { return InstanceChannel::send("verrelune-test", "show"); });
    EXPECT_TRUE(Attendre([&] { return recues.size() == 2 && recues.back() == "show"; }, 5000));
    ASSERT_TRUE(Attendre([&] { return envoi.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
    EXPECT_EQ(envoi.get().issue, InstanceChannel::Issue::Fait);
  }
}

}  // namespace
