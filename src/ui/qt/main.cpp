// Verrelune: changes the desktop wallpaper with pictures from a folder tree.

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <csignal>
#include <malloc.h>
#include <fcntl.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/TForm1.h"
#include "base/Version.h"
#include "imaging/JPEGImage.h"
#include "imaging/PictureReaders.h"
#include "png/PNGObject.h"
#include "platform/posix/desktop/Detect.h"
#include "platform/posix/FileRegistry.h"
#include "platform/posix/InstanceLock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixLocale.h"
#include "platform/posix/StaleTemporaryFiles.h"
#include "platform/posix/XdgDirs.h"
#include "ui/qt/InstanceChannel.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/QtTrayIcon.h"
#include "ui/qt/QtTextRenderer.h"
#include "wallpaper/MoteurWallpaper.h"

namespace {

const char kAide[] =
    "Usage: verrelune [/background | --show | --next | --previous | --quit]\n"
    "Changes the desktop wallpaper with random pictures from a folder tree.\n"
    "It lives as an icon in the notification area; its window sets the folder and the schedule.\n"
    "\n"
    "  /background, --background  start hidden in the notification area\n"
    "  --show                     show the running program's window (start it if need be)\n"
    "  --next                     change the wallpaper now, as a click on the icon does\n"
    "  --previous                 go back to the previous wallpaper\n"
    "  --quit                     end the running program\n"
    "  --help                     show this help and exit\n"
    "  --version                  show the version and exit\n"
    "\n"
    "One instance runs per program file name: a plain second start ends at once, the commands\n"
    "above reach the running one.\n"
    "Settings: $XDG_CONFIG_HOME/verrelune/registry.reg (default ~/.config).\n";

// The command a first argument names for the running program, or empty.
std::string CommandeDemandee(const std::string& argument) {
  for (const char* commande : {"show", "next", "previous", "quit"})
    if (argument == std::string("--") + commande) return commande;
  return {};
}

const char* Variable(const char* nom) {
  const char* valeur = std::getenv(nom);
  return valeur && *valeur ? valeur : nullptr;
}

bool AffichageDisponible() {
  return Variable("QT_QPA_PLATFORM") || Variable("DISPLAY") || Variable("WAYLAND_DISPLAY");
}

// Whether Qt's Wayland plugin is installed (Debian's qt6-wayland): without it a Wayland session
// is reached only through Xwayland's DISPLAY.
bool PluginWaylandPresent() {
  const QDir dossier(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !dossier.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// Why no window can be opened, in one line that says what is missing.
std::string RaisonSansAffichage() {
  const char* x11 = Variable("DISPLAY");
  const char* wayland = Variable("WAYLAND_DISPLAY");
  if (Variable("QT_QPA_PLATFORM"))
    return std::string("Qt cannot start its platform \"") + Variable("QT_QPA_PLATFORM") +
           "\" (QT_QPA_PLATFORM)";
  if (wayland && !x11 && !PluginWaylandPresent())
    return std::string("this Wayland session (") + wayland +
           ") needs Qt's Wayland plugin, which is not installed (Debian package qt6-wayland), "
           "and DISPLAY is not set for Xwayland either";
  if (wayland && !x11) return std::string("cannot connect to the Wayland display ") + wayland;
  if (wayland) return std::string("cannot connect to the Wayland display ") + wayland +
                      " nor open the X display " + x11;
  return std::string("cannot open the X display ") + (x11 ? x11 : "");
}

std::string gRaisonSansAffichage;

// Qt ends the process with a long message and an abort when it finds no usable display;
// say it in one line and end with an error status instead.
void GestionnaireMessagesQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "verrelune: %s\n", gRaisonSansAffichage.c_str());
    std::_Exit(1);
  }
  if (type != QtDebugMsg && (message.contains(QStringLiteral("could not connect to display")) ||
                               message.contains(QStringLiteral("Failed to create wl_display")) ||
                               message.contains(QStringLiteral("the Qt platform plugin"))))
    return;
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

constexpr int kAttenteZoneNotificationMs = 15000;
// How long a start waits for the holder of the instance lock to answer: a program that is
// starting listens once its window is made, one that is ending lets the lock go.
constexpr auto kAttenteDetenteurVerrou = std::chrono::seconds(10);

// Says how a command sent to the running program went; the exit status.
int IssueCommande(const std::string& commande, const InstanceChannel::Resultat& resultat) {
  switch (resultat.issue) {
    case InstanceChannel::Issue::Fait:
      return 0;
    case InstanceChannel::Issue::Refuse:
      std::fprintf(stderr, "verrelune: --%s was not carried out: %s\n", commande.c_str(),
                   resultat.raison.c_str());
      return 1;
    case InstanceChannel::Issue::SansReponse:
      std::fprintf(stderr,
                   "verrelune: the running instance did not answer; --%s was not confirmed\n",
                   commande.c_str());
      return 1;
    case InstanceChannel::Issue::Absent:
      break;
  }
  std::fputs("verrelune: no running instance to reach; start it with verrelune or verrelune --show\n",
             stderr);
  return 1;
}

int gTubeSignaux[2] = {-1, -1};

void SurSignal(int) {
  const char octet = 1;
  [[maybe_unused]] auto ecrit = ::write(gTubeSignaux[1], &octet, 1);
}

}  // namespace

int main(int argc, char** argv) {
  // Decoded pictures are large and short-lived: have them mapped and unmapped on their own,
  // so the memory of one installation goes back to the system when it ends instead of
  // staying in the heap (glibc would otherwise raise this threshold after the first one).
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  const std::string premierArgument = argc > 1 ? argv[1] : "";
  if (premierArgument == "--help" || premierArgument == "-h") {
    std::fputs(kAide, stdout);
    return 0;
  }
  if (premierArgument == "--version") {
    std::printf("Verrelune %s\n", VERRELUNE_VERSION);
    return 0;
  }

  // Every module's start-up: the picture kinds join the format registry in their order.
  RegisterJpegFormats();
  RegisterPictureReaders();
  RegisterPngFormat();

  const std::string cheminProgramme = platform::posix::runningProgramPath();
  const std::string nomProgramme = platform::posix::fileNameOf(cheminProgramme);
  const std::string commande = CommandeDemandee(premierArgument);
  // A command for the running program never takes the instance lock, not even for a moment:
  // a start at that moment would take the client for a running instance and end.
  if (!commande.empty() && commande != "show")
    return IssueCommande(commande, InstanceChannel::send(nomProgramme, commande));

  // The lock's holder is a running instance, or one that is starting or ending: a start that
  // finds nobody answering tries again rather than end with no instance left.
  std::optional<platform::posix::InstanceLock> verrou;
  const auto limite = std::chrono::steady_clock::now() + kAttenteDetenteurVerrou;
  while (!(verrou = platform::posix::InstanceLock::tryAcquire(nomProgramme))) {
    if (commande == "show") {
      const auto resultat = InstanceChannel::send(nomProgramme, commande, 0);
      if (resultat.issue != InstanceChannel::Issue::Absent) return IssueCommande(commande, resultat);
    } else if (InstanceChannel::ecoute(nomProgramme)) {
      return 0;  // a plain second start ends silently
    }
    if (std::chrono::steady_clock::now() > limite) {
      std::fprintf(stderr, "verrelune: another instance holds %s but does not answer\n",
                   platform::posix::InstanceLock::lockPath(nomProgramme).c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  if (!AffichageDisponible()) {
    std::fputs("verrelune: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
    return 1;
  }
  gRaisonSansAffichage = RaisonSansAffichage();
  qInstallMessageHandler(GestionnaireMessagesQt);
  QApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setApplicationName(QStringLiteral("Verrelune"));
  QApplication::setQuitOnLastWindowClosed(false);

  // From the moment other starts can find this program, a request to end is not lost.
  if (::pipe2(gTubeSignaux, O_CLOEXEC | O_NONBLOCK) == 0) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SurSignal);
  }
  // Commands from other starts are taken from now on, and done once the event loop runs,
  // when the window is made; a message box shown on the way has no loop of its own.
  TForm1* formulaire = nullptr;
  InstanceChannel canal(nomProgramme, [&formulaire](const std::string& recue,
                                                    const InstanceChannel::Reponse& repondre) {
    if (!formulaire) return repondre("the program is still starting");
    formulaire->Executer([&] { formulaire->CommandeExterne(recue, repondre); });
  });

  // What runs killed while writing left behind goes before this run writes anything.
  platform::posix::removeStaleTemporaryFiles(platform::posix::XdgDirs::fromEnvironment());
  platform::posix::FileRegistry registre;
  platform::posix::PosixLocale locale;
  platform::posix::SystemClock horloge;
  QtTimerFactory minuteries;
  QtScreen ecran;
  QtShell shell;
  MainWindow fenetre;
  MessageBoxErrorHandler erreurs([&fenetre] { return fenetre.isVisible() ? &fenetre : nullptr; });
  QtTrayIcon iconeTray(
      [&formulaire, &fenetre](std::uint32_t evenement) {
        if (formulaire)
          fenetre.differer([formulaire, evenement] { formulaire->MessageIconeTray(evenement); });
      },
      fenetre.menuExporte());
  platform::posix::PosixFileSystem fichiers;
  QtEventPump pompe;
  platform::posix::SessionDesktop bureau;
  QtTextRenderer texte(fenetre.font());
  // Thumbnails are decoded once and kept for the next starts.
  CacheVignettes cache(platform::posix::XdgDirs::fromEnvironment().cacheHome + "/verrelune");
  MoteurWallpaper moteur(ServicesMoteur{fenetre, horloge, pompe, fichiers, registre, ecran, bureau,
                                        texte, FileFormats(), &cache});
  TForm1 form(fenetre, moteur,
              ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs,
                                 iconeTray},
              ParametresLancement{cheminProgramme, premierArgument});
  formulaire = &form;
  fenetre.attacher(form);

  // A polite end of the session (or Ctrl+C in a terminal) quits as the tray menu's Quit does,
  // once the event loop runs; one that came during the start is kept until then.
  if (gTubeSignaux[0] >= 0) {
    auto* notificateur = new QSocketNotifier(gTubeSignaux[0], QSocketNotifier::Read, &application);
    QObject::connect(notificateur, &QSocketNotifier::activated, [&form, &fenetre] {
      char octet;
      [[maybe_unused]] auto lu = ::read(gTubeSignaux[0], &octet, 1);
      fenetre.differer([&form] { form.MenuQuitterClick(); });
    });
  }

  form.FormCreate();
  // At log-in the panel may come a little after the program: the icon appears as soon as it
  // does, and only a long absence is worth a word.
  iconeTray.surAbsence(kAttenteZoneNotificationMs, [] {
    std::fputs("verrelune: no notification area was found, so the program has no icon yet; "
               "reach it with verrelune --show, --next, --previous or --quit\n",
               stderr);
  });
  if (fenetre.afficherAuDemarrage()) fenetre.afficherPremiereFois();

  const int code = application.exec();
  canal.arreter();
  form.FormDestroy();
  return code;
}
