// Verrelune: changes the desktop wallpaper with pictures from a folder tree.

#include <windows.h>

#include <optional>
#include <string>

#include "app/TForm1.h"
#include "base/Version.h"
#include "imaging/JPEGImage.h"
#include "imaging/PictureReaders.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Locale.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Timers.h"
#include "png/PNGObject.h"
#include "ui/win32/FenetrePrincipale.h"
#include "ui/win32/Win32TextRenderer.h"
#include "ui/win32/Win32TrayIcon.h"
#include "wallpaper/MoteurWallpaper.h"

namespace {

// The first argument of the command line, as the program received it.
std::string PremierArgument() {
  return __argc > 1 && __argv[1] ? std::string(__argv[1]) : std::string();
}

// Prints "Verrelune x.y.z" where the caller reads it: the standard output when it is redirected,
// else the console the program was started from. A window program has neither by itself.
void AfficherVersion() {
  const std::string texte = std::string("Verrelune ") + VERRELUNE_VERSION + "\r\n";
  HANDLE sortie = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((sortie == nullptr || sortie == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
    sortie = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (sortie == nullptr || sortie == INVALID_HANDLE_VALUE) return;
  DWORD ecrits = 0;
  WriteFile(sortie, texte.data(), static_cast<DWORD>(texte.size()), &ecrits, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (PremierArgument() == "--version") {
    AfficherVersion();
    return 0;
  }
  // Every module's start-up: the picture kinds join the format registry in their order.
  RegisterJpegFormats();
  RegisterPictureReaders();
  RegisterPngFormat();

  namespace win32 = platform::win32;
  const std::string cheminProgramme = win32::RunningProgramPath();
  // Another instance of the same program file runs: end at once, without a word.
  const win32::InstanceMutex mutex(win32::FileNameOf(cheminProgramme));
  if (mutex.alreadyRunning()) return 0;

  win32::Win32EventPump pompe;
  FenetrePrincipale fenetre(instance);
  pompe.setDialogWindow(fenetre.handle());
  win32::Win32Registry registre;
  win32::Win32Locale locale;
  win32::SystemClock horloge;
  win32::Win32TimerFactory minuteries;
  win32::Win32Screen ecran;
  win32::Win32Shell shell([&fenetre] { return fenetre.handle(); });
  win32::MessageBoxErrorHandler erreurs(
      [&fenetre] { return IsWindowVisible(fenetre.handle()) ? fenetre.handle() : nullptr; });
  Win32TrayIcon iconeTray(fenetre.handle(), fenetre.iconeTray());
  win32::Win32FileSystem fichiers;
  win32::Win32Desktop bureau;
  Win32TextRenderer texte(fenetre.police());
  // Thumbnails are decoded once and kept for the next starts, in the local (not roaming)
  // application data.
  const std::string dossierLocal = win32::LocalAppDataFolder();
  std::optional<CacheVignettes> cache;
  if (!dossierLocal.empty()) cache.emplace(dossierLocal + "\\Verrelune\\Thumbnails");
  MoteurWallpaper moteur(ServicesMoteur{fenetre, horloge, pompe, fichiers, registre, ecran, bureau, texte,
                                        FileFormats(), cache ? &*cache : nullptr});
  TForm1 form(fenetre, moteur,
              ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, iconeTray},
              ParametresLancement{cheminProgramme, PremierArgument()});
  fenetre.attacher(form);

  form.FormCreate();
  if (fenetre.afficherAuDemarrage()) fenetre.afficherPremiereFois();

  MSG message;
  int code = 0;
  for (;;) {
    const BOOL lu = GetMessageA(&message, nullptr, 0, 0);
    if (lu == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (lu < 0) break;
    pompe.dispatch(message);
  }
  form.FormDestroy();
  fenetre.detacher();
  return code;
}
