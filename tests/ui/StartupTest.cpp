// The real program, started as a user starts it, in a home folder of its own.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTest>

#include "imaging/Bitmap.h"
#include "ui/TestApplication.h"
#include "wallpaper/FichierBmp.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Lire(const fs::path& chemin) {
  std::ifstream fichier(chemin, std::ios::binary);
  std::stringstream contenu;
  contenu << fichier.rdbuf();
  return contenu.str();
}

class Demarrage : public ::testing::Test {
 protected:
  void SetUp() override {
    racine_ = fs::temp_directory_path() /
              ("verrelune-start-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(racine_);
    fs::create_directories(racine_ / "home/Pictures");
    fs::create_directories(racine_ / "run");
    fs::permissions(racine_ / "run", fs::perms::owner_all);
  }
  void TearDown() override {
    for (pid_t pid : lances_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove_all(racine_);
  }

  // Starts `programme` with `arguments`; stdout and stderr go to files of the test folder.
  pid_t lancer(const fs::path& programme, std::vector<std::string> arguments = {},
               bool avecAffichage = true, const std::string& bus = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (!bus.empty()) ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
      const std::string home = (racine_ / "home").string();
      ::setenv("HOME", home.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
      ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
      ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (racine_ / "run").c_str(), 1);
      ::setenv("LANG", "en_US.UTF-8", 1);
      ::unsetenv("LC_ALL");
      if (!avecAffichage) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
      }
      for (const auto& [nom, valeur] : environnement_) ::setenv(nom.c_str(), valeur.c_str(), 1);
      std::freopen((racine_ / "stdout").c_str(), "w", stdout);
      std::freopen((racine_ / "stderr").c_str(), "w", stderr);
      std::vector<char*> argv{const_cast<char*>(programme.c_str())};
      for (auto& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(programme.c_str(), argv.data());
      std::_Exit(127);
    }
    lances_.push_back(pid);
    return pid;
  }

  // The exit status, or -1 while the process still runs after `delai`.
  int attendre(pid_t pid, std::chrono::milliseconds delai) {
    const auto fin = std::chrono::steady_clock::now() + delai;
    do {
      int etat = 0;
      if (::waitpid(pid, &etat, WNOHANG) == pid) {
        lances_.erase(std::remove(lances_.begin(), lances_.end(), pid), lances_.end());
        return WIFEXITED(etat) ? WEXITSTATUS(etat) : 128 + WTERMSIG(etat);
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < fin);
    return -1;
  }

  bool attendreFichier(const fs::path& chemin, std::chrono::milliseconds delai) {
    const auto fin = std::chrono::steady_clock::now() + delai;
    while (!fs::exists(chemin)) {
      if (std::chrono::steady_clock::now() > fin) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  fs::path registre() const { return racine_ / "home/.config/verrelune/registry.reg"; }

  fs::path racine_;
  std::vector<pid_t> lances_;
  // Set in the started programs' environment, after the rest.
  std::map<std::string, std::string> environnement_;
};

const fs::path kProgramme = VERRELUNE_PROGRAM;

TEST_F(Demarrage, FirstStartWritesTheDefaultsAndTheAutostartEntry) {
  const pid_t pid = lancer(kProgramme);
  ASSERT_TRUE(attendreFichier(registre(), 20s));
  // The last of the five settings is written by the same creation step; give it its moment.
  std::string contenu;
  for (int essai = 0; essai < 100 && contenu.find("ComboFreqTemps") == std::string::npos; ++essai) {
    std::this_thread::sleep_for(50ms);
    contenu = Lire(registre());
  }
  const std::string pictures = (racine_ / "home/Pictures/").string();
  EXPECT_NE(contenu.find("\"RepertoireRacineDuScan\"=\"" + pictures + "\""), std::string::npos) << contenu;
  EXPECT_NE(contenu.find("\"CheckChgtDemarrage\"=dword:00000001"), std::string::npos) << contenu;
  EXPECT_NE(contenu.find("\"CheckChgtTousLes\"=dword:00000001"), std::string::npos) << contenu;
  EXPECT_NE(contenu.find("\"EditFreqDuree\"=dword:0000001e"), std::string::npos) << contenu;
  EXPECT_NE(contenu.find("\"ComboFreqTemps\"=dword:00000001"), std::string::npos) << contenu;
  const std::string entree = Lire(racine_ / "home/.config/autostart/verrelune.desktop");
  EXPECT_NE(entree.find("Exec=\"" + fs::canonical(kProgramme).string() + "\" /background"),
            std::string::npos)
      << entree;
  EXPECT_NE(entree.find("\nTryExec=" + fs::canonical(kProgramme).string() + "\n"), std::string::npos)
      << entree;

  // SIGTERM ends it as Quit does.
  ::kill(pid, SIGTERM);
  EXPECT_EQ(attendre(pid, 10s), 0);
}

TEST_F(Demarrage, ASecondStartOfTheSameFileEndsAtOnceAndACopyRunsBeside) {
  const pid_t premier = lancer(kProgramme, {"/background"});
  ASSERT_TRUE(attendreFichier(registre(), 20s));
  EXPECT_EQ(attendre(lancer(kProgramme), 10s), 0);
  EXPECT_EQ(attendre(premier, 0ms), -1);

  const fs::path copie = racine_ / "verrelune-copy";
  fs::copy_file(kProgramme, copie);
  const pid_t autre = lancer(copie, {"/background"});
  EXPECT_EQ(attendre(autre, 1500ms), -1) << "the copy should keep running";
  ::kill(autre, SIGTERM);
  ::kill(premier, SIGTERM);
  EXPECT_EQ(attendre(autre, 10s), 0);
  EXPECT_EQ(attendre(premier, 10s), 0);
}

// A folder of pictures as users have them: enough that showing the window builds thumbnails
// for a while (links to one 1600 x 1200 bitmap, each decoded on its own).
void Images(const fs::path& dossier, int nombre) {
  TBitmap image(PixelLayout::Bgr24, 1600, 1200);
  for (int y = 0; y < 1200; ++y)
    for (int x = 0; x < 1600 * 3; ++x) image.ScanLine(y)[x] = static_cast<std::uint8_t>(x ^ y);
  EnregistrerBmp(image, (dossier / "p0.bmp").string());
  for (int i = 1; i < nombre; ++i)
    fs::create_hard_link(dossier / "p0.bmp", dossier / ("p" + std::to_string(i) + ".bmp"));
}

// At 200 % the screen's geometry is half its pixels: the wallpaper is made for the pixels, a
// 2560 x 1600 picture reduced to 1280 x 800 on the 1280 x 1024 test display.
TEST_F(Demarrage, OnAScreenScaledTo200PercentTheWallpaperFillsItsPixels) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server";
  TBitmap image(PixelLayout::Bgr24, 2560, 1600);
  for (const char* nom : {"a.bmp", "b.bmp"}) EnregistrerBmp(image, (racine_ / "home/Pictures" / nom).string());
  environnement_ = {{"QT_SCALE_FACTOR", "2"}, {"VERRELUNE_WALLPAPER_COMMAND", "true"}};
  const pid_t programme = lancer(kProgramme, {"/background"});
  const fs::path fond = racine_ / "home/.local/share/Verrelune/Verrelune.bmp";
  ASSERT_TRUE(attendreFichier(fond, 20s));
  const std::string entete = Lire(fond);
  ASSERT_GE(entete.size(), 26u);
  const auto mot = [&](std::size_t i) {
    return static_cast<std::uint8_t>(entete[i]) | static_cast<std::uint8_t>(entete[i + 1]) << 8;
  };
  EXPECT_EQ(mot(18), 1280);
  EXPECT_EQ(mot(22), 800);
  ::kill(programme, SIGTERM);
  EXPECT_EQ(attendre(programme, 10s), 0);
}

// Showing the window builds thumbnails, which lets events run: the commands that arrive then,
// and the socket they came on, must not pull anything from under the running handler.
TEST_F(Demarrage, CommandsReachTheRunningInstanceEvenWhileItBuildsThumbnails) {
  // Nothing runs yet: only --show may start the program.
  EXPECT_EQ(attendre(lancer(kProgramme, {"--next"}), 10s), 1);
  EXPECT_NE(Lire(racine_ / "stderr").find("no running instance"), std::string::npos);

  Images(racine_ / "home/Pictures", 600);
  const pid_t premier = lancer(kProgramme, {"/background"});
  ASSERT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s));
  const std::string avant = Lire(registre());
  for (const char* commande : {"--show", "--next", "--previous", "--show", "--next"})
    EXPECT_EQ(attendre(lancer(kProgramme, {commande}), 10s), 0) << commande;
  EXPECT_EQ(attendre(premier, 500ms), -1) << "the running program ended";
  EXPECT_NE(Lire(registre()), avant) << "--next changed nothing";
  EXPECT_EQ(attendre(lancer(kProgramme, {"--quit"}), 10s), 0);
  EXPECT_EQ(attendre(premier, 10s), 0);

  // Quit while the build runs.
  const pid_t second = lancer(kProgramme);
  ASSERT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s));
  EXPECT_EQ(attendre(lancer(kProgramme, {"--quit"}), 10s), 0);
  EXPECT_EQ(attendre(second, 5s), 0);
}

// Settings that cannot be written at start: the error box has no loop of its own, so the
// program still answers commands (saying why a change failed) and ends on SIGTERM.
TEST_F(Demarrage, UnwritableSettingsLeaveCommandsAndSigtermServed) {
  Images(racine_ / "home/Pictures", 3);
  fs::create_directories(racine_ / "home/.config");
  std::ofstream(racine_ / "home/.config/verrelune") << "a file where the settings folder goes";
  environnement_ = {{"VERRELUNE_WALLPAPER_COMMAND", "true"}};
  const pid_t programme = lancer(kProgramme, {"/background"});
  ASSERT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s));
  // Until the start-up scan is over a change is refused for want of pictures.
  for (int essai = 0; essai < 20 && Lire(racine_ / "stderr").find("Echec") == std::string::npos; ++essai) {
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(attendre(lancer(kProgramme, {"--next"}), 20s), 1);
  }
  EXPECT_NE(Lire(racine_ / "stderr").find("--next was not carried out: Echec"), std::string::npos)
      << Lire(racine_ / "stderr");
  ::kill(programme, SIGTERM);
  EXPECT_EQ(attendre(programme, 10s), 0);
}

// A start racing a command: the client never takes the instance lock, and a start that finds
// the lock held by a program that does not answer (one starting or ending) tries again.
TEST_F(Demarrage, AStartRacingACommandLeavesOneInstance) {
  const int surveillance = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ::inotify_add_watch(surveillance, (racine_ / "run").c_str(), IN_OPEN);
  EXPECT_EQ(attendre(lancer(kProgramme, {"--next"}), 10s), 1);
  alignas(inotify_event) char tampon[4096];
  const ssize_t lus = ::read(surveillance, tampon, sizeof tampon);
  ::close(surveillance);
  for (ssize_t i = 0; i < lus;) {
    const auto* e = reinterpret_cast<const inotify_event*>(tampon + i);
    EXPECT_NE(std::string(e->len ? e->name : ""), "verrelune.lock") << "the client opened the lock";
    i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
  }

  const int verrou = ::open((racine_ / "run/verrelune.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(verrou, LOCK_EX), 0);
  const pid_t programme = lancer(kProgramme, {"/background"});
  std::this_thread::sleep_for(500ms);
  ::close(verrou);
  EXPECT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s)) << "the start gave up";
  EXPECT_EQ(attendre(programme, 0ms), -1);
  ::kill(programme, SIGTERM);
  EXPECT_EQ(attendre(programme, 10s), 0);
}

// A notification area of the kind XFCE, MATE, LXQt and KDE have: it announces itself on the
// session bus and takes the icons that register with it. Only the registration is played here.
class ZoneDBus : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override {
    return QStringLiteral(
        "<interface name=\"org.kde.StatusNotifierWatcher\">"
        "<method name=\"RegisterStatusNotifierItem\"><arg type=\"s\" direction=\"in\"/></method>"
        "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
        "</interface>");
  }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connexion) override {
    if (message.member() == QLatin1String("RegisterStatusNotifierItem")) {
      icones << message.arguments().value(0).toString();
      connexion.send(message.createReply());
      return true;
    }
    if (message.member() == QLatin1String("Get")) {
      connexion.send(message.createReply(QVariant::fromValue(QDBusVariant(true))));
      return true;
    }
    return false;
  }
  QStringList icones;
};

// At log-in the program may start before the panel: its icon must appear once the panel is
// there, with the quick menu exported, and no word about a missing area.
TEST_F(Demarrage, TheIconJoinsANotificationAreaThatAppearsAfterIt) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server";
  const std::string adresse = "unix:path=" + (racine_ / "bus").string();
  const pid_t demon = ::fork();
  if (demon == 0) {
    ::execlp("dbus-daemon", "dbus-daemon", "--session", ("--address=" + adresse).c_str(), "--nofork",
             "--nopidfile", static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  lances_.push_back(demon);
  if (!attendreFichier(racine_ / "bus", 5s)) GTEST_SKIP() << "no dbus-daemon";
  Application();
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(adresse), "zone");
  ASSERT_TRUE(bus.isConnected());

  Images(racine_ / "home/Pictures", 3);
  const pid_t programme = lancer(kProgramme, {"/background"}, true, adresse);
  ASSERT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s));
  QTest::qWait(1500);
  ZoneDBus zone;
  ASSERT_TRUE(bus.registerVirtualObject("/StatusNotifierWatcher", &zone));
  ASSERT_TRUE(bus.registerService("org.kde.StatusNotifierWatcher"));
  QElapsedTimer chrono;
  chrono.start();
  while (zone.icones.isEmpty() && chrono.elapsed() < 10000) QTest::qWait(50);
  ASSERT_EQ(zone.icones.size(), 1) << Lire(racine_ / "stderr");

  QDBusMessage question = QDBusMessage::createMethodCall(
      zone.icones[0], "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get");
  question << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
  const QDBusMessage reponse = bus.call(question);
  ASSERT_EQ(reponse.type(), QDBusMessage::ReplyMessage) << reponse.errorMessage().toStdString();
  const QDBusObjectPath menu =
      qdbus_cast<QDBusObjectPath>(reponse.arguments().value(0).value<QDBusVariant>().variant());
  EXPECT_EQ(menu.path(), QStringLiteral("/MenuBar"));

  EXPECT_EQ(Lire(racine_ / "stderr").find("no notification area"), std::string::npos);
  ::kill(programme, SIGTERM);
  EXPECT_EQ(attendre(programme, 10s), 0);
  bus.unregisterService("org.kde.StatusNotifierWatcher");
  QDBusConnection::disconnectFromBus("zone");
}

// Hostile folders must not freeze the program: a named pipe in a picture's place (opening it
// would wait for a writer for ever) and a chain of 1,000 folders. Quit is answered at once.
TEST_F(Demarrage, NoFolderFreezesTheProgram) {
  const fs::path images = racine_ / "home/Pictures";
  Images(images, 3);
  ASSERT_EQ(::mkfifo((images / "pipe.jpg").c_str(), 0600), 0);
  fs::path profond = images;
  for (int i = 0; i < 1000; ++i) profond /= "d";
  fs::create_directories(profond);
  std::ofstream(profond / "deep.png") << "?";
  const pid_t programme = lancer(kProgramme);
  ASSERT_TRUE(attendreFichier(racine_ / "run/verrelune.sock", 20s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(attendre(lancer(kProgramme, {"--quit"}), 10s), 0);
  EXPECT_EQ(attendre(programme, 3s), 0) << "--quit was not answered";
}

// The processor time a process has used, user and system, in clock ticks.
long Tics(pid_t pid) {
  std::string etat = Lire("/proc/" + std::to_string(pid) + "/stat");
  const auto fin = etat.rfind(')');
  if (fin == std::string::npos) return -1;
  std::istringstream champs(etat.substr(fin + 2));
  std::string champ;
  long utime = 0, stime = 0;
  // After the name: state is field 3, utime 14 and stime 15.
  for (int n = 3; n <= 15 && champs >> champ; ++n) {
    if (n == 14) utime = std::stol(champ);
    if (n == 15) stime = std::stol(champ);
  }
  return utime + stime;
}

// Counts the opens of each file of a folder. Closes are watched too, and the queue read all
// the time, so that opens in a row are not merged into one event.
class Ouvertures {
 public:
  explicit Ouvertures(const fs::path& dossier) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    ::inotify_add_watch(fd_, dossier.c_str(), IN_OPEN | IN_CLOSE);
  }
  ~Ouvertures() { ::close(fd_); }
  // Reads events for `duree`.
  void suivre(std::chrono::milliseconds duree) {
    const auto fin = std::chrono::steady_clock::now() + duree;
    alignas(inotify_event) char tampon[64 * 1024];
    while (std::chrono::steady_clock::now() < fin) {
      pollfd attente{fd_, POLLIN, 0};
      if (::poll(&attente, 1, 20) <= 0) continue;
      const ssize_t lus = ::read(fd_, tampon, sizeof tampon);
      for (ssize_t i = 0; i < lus;) {
        const auto* e = reinterpret_cast<const inotify_event*>(tampon + i);
        if ((e->mask & IN_OPEN) && e->len > 0) ++nombre[e->name];
        i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }
  std::map<std::string, int> nombre;

 private:
  int fd_;
};

// A picture that cannot be decoded, shown in the open window, is tried once: its error cell is
// drawn from memory at every repaint, and the idle program uses no processor time.
TEST_F(Demarrage, BrokenPicturesInTheShownListAreTriedOnceAndCostNothingWhenIdle) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server";
  const fs::path images = racine_ / "home/Pictures";
  for (const char* nom : {"broken-1.jpg", "broken-2.jpg"}) std::ofstream(images / nom) << "not a picture";
  // The list selects the first picture in the folder's order: a broken one. The good picture
  // is named again until it comes after one.
  TBitmap bonne(PixelLayout::Bgr24, 64, 48);
  std::string nomBonne;
  for (int essai = 0; essai < 50; ++essai) {
    if (!nomBonne.empty()) fs::remove(images / nomBonne);
    nomBonne = "good-" + std::to_string(essai) + ".bmp";
    EnregistrerBmp(bonne, (images / nomBonne).string());
    if (fs::directory_iterator(images)->path().extension() == ".jpg") break;
  }
  ASSERT_EQ(fs::directory_iterator(images)->path().extension(), ".jpg");

  Ouvertures ouvertures(images);
  environnement_ = {{"VERRELUNE_WALLPAPER_COMMAND", "true"}};
  const pid_t programme = lancer(kProgramme);
  // Start-up ends with the good picture's thumbnail kept in the cache.
  const fs::path index = racine_ / "home/.cache/verrelune/thumbnails.index";
  const auto limite = std::chrono::steady_clock::now() + 20s;
  while (!(fs::exists(index) && fs::file_size(index) > 8) && std::chrono::steady_clock::now() < limite)
    ouvertures.suivre(50ms);
  ASSERT_GT(fs::file_size(index), 8u) << Lire(racine_ / "stderr");
  ouvertures.suivre(1s);

  const long avant = Tics(programme);
  ouvertures.suivre(10s);
  const long apres = Tics(programme);
  EXPECT_LT(apres - avant, 20) << "processor ticks in 10 s of idle";
  for (const char* nom : {"broken-1.jpg", "broken-2.jpg"}) EXPECT_LE(ouvertures.nombre[nom], 2) << nom;
  EXPECT_GE(ouvertures.nombre[nomBonne], 1);
  ::kill(programme, SIGTERM);
  EXPECT_EQ(attendre(programme, 10s), 0);
}

// Without a display the program says in one line which one it could not reach, and fails.
TEST_F(Demarrage, WithoutADisplayItSaysWhatIsMissingInOneLineAndFails) {
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cas = {
      {{}, "neither DISPLAY nor WAYLAND_DISPLAY"},
      {{{"DISPLAY", ":987"}}, "X display :987"},
      // With Qt's Wayland plugin it cannot connect; without it, it needs the plugin.
      {{{"WAYLAND_DISPLAY", "verrelune-nowhere"}}, "Wayland"},
  };
  for (const auto& [variables, attendu] : cas) {
    environnement_ = variables;
    const int code = attendre(lancer(kProgramme, {}, false), 10s);
    EXPECT_NE(code, 0) << attendu;
    EXPECT_LT(code, 128) << "ended by a signal";
    const std::string erreur = Lire(racine_ / "stderr");
    EXPECT_NE(erreur.find(attendu), std::string::npos) << erreur;
    EXPECT_EQ(std::count(erreur.begin(), erreur.end(), '\n'), 1) << erreur;
  }
}

TEST_F(Demarrage, HelpAndVersionAnswerWithoutStarting) {
  EXPECT_EQ(attendre(lancer(kProgramme, {"--help"}, false), 10s), 0);
  EXPECT_NE(Lire(racine_ / "stdout").find("/background"), std::string::npos);
  EXPECT_EQ(attendre(lancer(kProgramme, {"--version"}, false), 10s), 0);
  EXPECT_EQ(Lire(racine_ / "stdout").rfind("Verrelune ", 0), 0u);
  EXPECT_FALSE(fs::exists(registre()));
}

}  // namespace
