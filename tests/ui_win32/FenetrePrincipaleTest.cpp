// The native window's own layout and list behaviour, on a real window under the system.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/Langue.h"
#include "ui/win32/FenetrePrincipale.h"
#include "ui/win32/Win32TextRenderer.h"

namespace {

HWND Enfant(HWND fenetre, Controle c) {
  struct Recherche {
    int id;
    HWND trouve = nullptr;
  } recherche{100 + static_cast<int>(c)};
  EnumChildWindows(
      fenetre,
      [](HWND w, LPARAM p) -> BOOL {
        auto* r = reinterpret_cast<Recherche*>(p);
        if (GetDlgCtrlID(w) != r->id) return TRUE;
        r->trouve = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&recherche));
  return recherche.trouve;
}

RECT Cadre(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

TEST(FenetrePrincipale, HelpTextsShowWholeAndApartInBothLanguages) {
  FenetrePrincipale fenetre(GetModuleHandleA(nullptr));
  for (LangueInterface langue : {LangueInterface::Francais, LangueInterface::Anglais}) {
    const TextesLangue& t = TextesDe(langue);
    const std::vector<std::pair<Controle, const char*>> aides{
        {Controle::LabelAide1, t.LabelAide1}, {Controle::LabelAide2, t.LabelAide2}, {Controle::LabelAide3, t.LabelAide3}};
    for (auto [c, texte] : aides) fenetre.setTexte(c, texte);
    HDC dc = GetDC(fenetre.handle());
    HGDIOBJ ancienne = SelectObject(dc, fenetre.police());
    LONG basPrecedent = 0;
    for (auto [c, texte] : aides) {
      const RECT cadre = Cadre(Enfant(fenetre.handle(), c));
      RECT besoin{0, 0, cadre.right - cadre.left, 0};
      DrawTextA(dc, texte, -1, &besoin, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
      EXPECT_LE(besoin.bottom, cadre.bottom - cadre.top) << texte;
      EXPECT_GT(cadre.top, basPrecedent) << texte;
      basPrecedent = cadre.bottom;
    }
    SelectObject(dc, ancienne);
    ReleaseDC(fenetre.handle(), dc);
    EXPECT_LE(basPrecedent, Cadre(Enfant(fenetre.handle(), Controle::GroupAide)).bottom);
  }
}

TEST(FenetrePrincipale, QuickMenuIconEntriesAreAsWideAsTheirTexts) {
  FenetrePrincipale fenetre(GetModuleHandleA(nullptr));
  const TextesLangue& t = TextesDe(LangueInterface::Francais);
  fenetre.setTexte(Controle::MenuWallpaperHasard, t.TexteChanger);
  fenetre.setTexte(Controle::MenuWallpaperOuvrirImage, t.MenuWallpaperOuvrirImage);
  fenetre.setTexte(Controle::MenuWallpaperPrecedent, t.MenuWallpaperPrecedent);
  HDC dc = GetDC(fenetre.handle());
  HFONT gras = PoliceAvecStyle(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), true, false);
  HGDIOBJ ancienne = SelectObject(dc, gras);
  for (auto [commande, texte] : {std::pair{FenetrePrincipale::kCmdHasard, t.TexteChanger},
                                 std::pair{FenetrePrincipale::kCmdOuvrirImage, t.MenuWallpaperOuvrirImage},
                                 std::pair{FenetrePrincipale::kCmdPrecedent, t.MenuWallpaperPrecedent}}) {
    MEASUREITEMSTRUCT mesure{};
    mesure.CtlType = ODT_MENU;
    mesure.itemID = commande;
    SendMessageA(fenetre.handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mesure));
    // Measured in bold, the widest of the entries' fonts: the text starts 42 pixels in.
    EXPECT_GE(static_cast<LONG>(mesure.itemWidth), 42 + TailleTexte(dc, texte).cx) << texte;
  }
  SelectObject(dc, ancienne);
  DeleteObject(gras);
  ReleaseDC(fenetre.handle(), dc);
}

TEST(FenetrePrincipale, CancellingTheOpenedListShowsTheInstalledPictureAgain) {
  FenetrePrincipale fenetre(GetModuleHandleA(nullptr));
  fenetre.ajouterImages({"C:\\a.bmp", "C:\\b.bmp", "C:\\c.bmp"}, 0);
  fenetre.setIndexSelectionne(Controle::ComboWallpaper, 1);
  HWND liste = Enfant(fenetre.handle(), Controle::ComboWallpaper);
  ASSERT_NE(liste, nullptr);
  const WPARAM id = static_cast<WPARAM>(GetDlgCtrlID(liste));
  auto notifier = [&](int notification) {
    SendMessageA(GetParent(liste), WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(liste));
  };
  notifier(CBN_DROPDOWN);
  SendMessageA(liste, CB_SETCURSEL, 2, 0);  // the mouse moves over the third picture
  notifier(CBN_SELENDCANCEL);
  EXPECT_EQ(SendMessageA(liste, CB_GETCURSEL, 0, 0), 1);
}

}  // namespace
