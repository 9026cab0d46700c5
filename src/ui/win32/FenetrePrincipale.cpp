#include "ui/win32/FenetrePrincipale.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "app/DispositionAide.h"
#include "app/Langue.h"
#include "app/TForm1.h"
#include "ui/win32/Ressources.h"
#include "ui/win32/Win32TextRenderer.h"
#include "wallpaper/Chemins.h"

namespace {

constexpr const char* kClasseFenetre = "VerreluneFenetre";
constexpr const char* kClassePage = "VerrelunePage";
constexpr const char* kClasseImage = "VerreluneImage";

constexpr int kLargeurClient = 377;
constexpr int kHauteurClient = 472;
constexpr int kHauteurElement = 45;
constexpr int kLargeurElement = 185;
constexpr int kLargeurVignette = 60;
constexpr int kDecalageTexte = 65;
constexpr UINT kMessageDiffere = WM_APP + 1;

// Control identifiers: the control's number past a base, so that none is IDOK or IDCANCEL;
// the close button is IDCANCEL, so that Escape and Enter press it.
constexpr int kBaseIdentifiants = 100;
int Identifiant(Controle c) {
  return c == Controle::BtnFermer ? IDCANCEL : kBaseIdentifiants + static_cast<int>(c);
}



Color VersCouleur(COLORREF c) {
  return Color{GetRValue(c), GetGValue(c), GetBValue(c)};
}

std::string TexteFenetre(HWND fenetre) {
  const int longueur = GetWindowTextLengthA(fenetre);
  std::string texte(static_cast<std::size_t>(longueur) + 1, '\0');
  GetWindowTextA(fenetre, texte.data(), longueur + 1);
  texte.resize(static_cast<std::size_t>(std::max(longueur, 0)));
  return texte;
}

// A path shown in a standard menu entry: its "&" are no accelerators.
std::string SansAccelerateurs(const std::string& texte) {
  std::string resultat;
  for (char c : texte) {
    resultat += c;
    if (c == '&') resultat += '&';
  }
  return resultat;
}

HICON ChargerIcone(HINSTANCE instance, int id, int largeur, int hauteur) {
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, largeur, hauteur, LR_DEFAULTCOLOR));
}

// The folder dialog opens on the current root.
int CALLBACK RappelDossier(HWND dialogue, UINT message, LPARAM, LPARAM depart) {
  if (message == BFFM_INITIALIZED && depart)
    SendMessageA(dialogue, BFFM_SETSELECTIONA, TRUE, depart);
  return 0;
}

}  // namespace

FenetrePrincipale::FenetrePrincipale(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX communs{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                                                 ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&communs);
  icones_.programme = ChargerIcone(instance, IDI_VERRELUNE, 32, 32);
  icones_.tray = ChargerIcone(instance, IDI_TRAY, 16, 16);
  icones_.hasard = ChargerIcone(instance, IDI_MENU_HASARD, 32, 28);
  icones_.ouvrir = ChargerIcone(instance, IDI_MENU_OUVRIR, 32, 28);
  icones_.precedent = ChargerIcone(instance, IDI_MENU_PRECEDENT, 32, 28);
  icones_.moniteur = ChargerIcone(instance, IDI_MONITEUR, 160, 128);
  icones_.flecheGauche = ChargerIcone(instance, IDI_PRECEDENT, 28, 28);
  icones_.flecheDroite = ChargerIcone(instance, IDI_SUIVANT, 28, 28);

  // MS Sans Serif 8 pt: 11 pixels high characters; the about block uses Tahoma 8 pt.
  police_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
  policeAPropos_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_SWISS, "Tahoma");
  policeLien_ = policeAPropos_;
  policeLienSoulignee_ = PoliceAvecStyle(policeAPropos_, false, true);

  enregistrerClasses();
  // A dialog frame with only a close box, not resizable, sized for its client area.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD styleEtendu = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT cadre{0, 0, kLargeurClient, kHauteurClient};
  AdjustWindowRectEx(&cadre, style, FALSE, styleEtendu);
  fenetre_ = CreateWindowExA(styleEtendu, kClasseFenetre, "Verrelune", style, CW_USEDEFAULT,
                             CW_USEDEFAULT, cadre.right - cadre.left, cadre.bottom - cadre.top, nullptr,
                             nullptr, instance_, this);
  SendMessageA(fenetre_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icones_.programme));
  SendMessageA(fenetre_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icones_.tray));
  creerControles();
}

FenetrePrincipale::~FenetrePrincipale() {
  if (fenetre_) DestroyWindow(fenetre_);
  DeleteObject(police_);
  DeleteObject(policeAPropos_);
  DeleteObject(policeLienSoulignee_);
}

void FenetrePrincipale::enregistrerClasses() {
  WNDCLASSEXA classe{};
  classe.cbSize = sizeof classe;
  classe.hInstance = instance_;
  classe.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  classe.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);

  classe.lpfnWndProc = ProcFenetre;
  classe.lpszClassName = kClasseFenetre;
  classe.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_VERRELUNE));
  RegisterClassExA(&classe);

  classe.hIcon = nullptr;
  classe.lpfnWndProc = ProcPage;
  classe.lpszClassName = kClassePage;
  RegisterClassExA(&classe);

  classe.lpfnWndProc = ProcImage;
  classe.lpszClassName = kClasseImage;
  RegisterClassExA(&classe);
}

HWND FenetrePrincipale::creer(HWND parent, Controle c, const char* classe, DWORD style, int gauche,
                              int haut, int largeur, int hauteur, DWORD styleEtendu) {
  HWND w = CreateWindowExA(styleEtendu, classe, "", WS_CHILD | WS_CLIPSIBLINGS | style, gauche, haut,
                           largeur, hauteur, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Identifiant(c))), instance_, nullptr);
  SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(police_), FALSE);
  controles_[c] = w;
  return w;
}

HWND FenetrePrincipale::creerImage(HWND parent, Controle c, int gauche, int haut, int largeur,
                                   int hauteur, HICON icone, bool main) {
  auto image = std::make_unique<Image>();
  image->controle = c;
  image->icone = icone;
  image->main = main;
  image->apercu = c == Controle::ImgMonitor1 || c == Controle::ImgMonitor2;
  image->transparente = c == Controle::ImgMonitorDeco1 || c == Controle::ImgMonitorDeco2;
  HWND w = CreateWindowExA(0, kClasseImage, "", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, gauche, haut,
                           largeur, hauteur, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Identifiant(c))), instance_,
                           image.get());
  controles_[c] = w;
  images_[w] = std::move(image);
  return w;
}

// Every control at the place and size of the window's design, relative to its page.
void FenetrePrincipale::creerControles() {
  onglets_ = creer(fenetre_, Controle::TabBrowser, WC_TABCONTROLA, WS_VISIBLE | WS_TABSTOP, 8, 8, 361, 425);
  TCITEMA onglet{};
  onglet.mask = TCIF_TEXT;
  onglet.pszText = const_cast<char*>("");
  SendMessageA(onglets_, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&onglet));
  SendMessageA(onglets_, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&onglet));
  RECT zone{0, 0, 361, 425};
  SendMessageA(onglets_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&zone));
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    pages_[i] = CreateWindowExA(WS_EX_CONTROLPARENT, kClassePage, "", WS_CHILD | WS_CLIPSIBLINGS,
                                8 + zone.left, 8 + zone.top, zone.right - zone.left,
                                zone.bottom - zone.top, fenetre_, nullptr, instance_, this);
  }
  controles_[Controle::TabWallpaper] = pages_[0];
  controles_[Controle::TabAide] = pages_[1];

  auto etiquette = [&](HWND page, Controle c, int gauche, int haut, int largeur, int hauteur, DWORD style) {
    return creer(page, c, "STATIC", WS_VISIBLE | style, gauche, haut, largeur, hauteur);
  };
  // The preview with its monitor and arrows, the same on both pages; the preview lies above
  // the monitor's drawing.
  auto apercu = [&](HWND page, Controle deco, Controle moniteur, Controle precedent, Controle suivant) {
    HWND cadre = creerImage(page, deco, 96, 8, 160, 128, icones_.moniteur, false);
    HWND ecran = creerImage(page, moniteur, 101, 13, 150, 92, nullptr, true);
    SetWindowPos(ecran, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(cadre, ecran, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(creerImage(page, precedent, 40, 44, 28, 28, icones_.flecheGauche, true), SW_HIDE);
    ShowWindow(creerImage(page, suivant, 285, 44, 28, 28, icones_.flecheDroite, true), SW_HIDE);
  };

  HWND page = pages_[0];
  apercu(page, Controle::ImgMonitorDeco1, Controle::ImgMonitor1, Controle::ImgPrecedent1,
         Controle::ImgSuivant1);
  creer(page, Controle::LabelCheminCompletDuFichier, "STATIC", SS_LEFT | SS_NOPREFIX, 0, 116, 144, 13);

  constexpr int gx = 8, gy = 144;  // GroupImages
  creer(page, Controle::GroupImages, "BUTTON", WS_VISIBLE | BS_GROUPBOX, gx, gy, 337, 137);
  etiquette(page, Controle::LabelBtnParcourir, gx + 24, gy + 32, 105, 25, SS_LEFT | SS_CENTERIMAGE);
  creer(page, Controle::BtnParcourir, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, gx + 128, gy + 32,
        185, 25);
  etiquette(page, Controle::LabelComboWallpaper, gx + 24, gy + 64, 105, 25, SS_LEFT | SS_CENTERIMAGE);
  HWND liste = creer(page, Controle::ComboWallpaper, "COMBOBOX",
                     WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE |
                         CBS_HASSTRINGS,
                     gx + 128, gy + 67, 185, 400);
  etiquette(page, Controle::LabelPasDImages, gx + 136, gy + 64, 193, 25, SS_LEFT | SS_CENTERIMAGE);
  ShowWindow(controle(Controle::LabelPasDImages), SW_HIDE);
  creer(page, Controle::ProgressBar1, PROGRESS_CLASSA, 0, gx + 24, gy + 88, 97, 17);
  // The closed list's field is as high as an item, so it shows the thumbnail whole.
  SendMessageA(liste, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kHauteurElement);

  constexpr int mx = 8, my = 288;  // GroupMiseAJour
  creer(page, Controle::GroupMiseAJour, "BUTTON", WS_VISIBLE | BS_GROUPBOX, mx, my, 337, 97);
  creer(page, Controle::CheckChgtDemarrage, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX, mx + 24,
        my + 32, 289, 17);
  creer(page, Controle::CheckChgtTousLes, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX, mx + 24,
        my + 56, 185, 17);
  HWND edit = creer(page, Controle::EditFreqDuree, "EDIT", WS_VISIBLE | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL,
                    mx + 208, my + 54, 25, 21, WS_EX_CLIENTEDGE);
  SetWindowSubclass(edit, ProcSousClasse, 1, reinterpret_cast<DWORD_PTR>(this));
  HWND unites = creer(page, Controle::ComboFreqTemps, "COMBOBOX", WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST,
                      mx + 240, my + 54, 73, 120);
  for (const char* unite : kUnitesFreqTemps)
    SendMessageA(unites, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(unite));

  page = pages_[1];
  apercu(page, Controle::ImgMonitorDeco2, Controle::ImgMonitor2, Controle::ImgPrecedent2,
         Controle::ImgSuivant2);
  for (auto [c, haut] : {std::pair{Controle::LabelAboutProg, 140}, std::pair{Controle::LabelAboutAuteur, 172},
                         std::pair{Controle::LabelAboutSite, 188}}) {
    HWND label = etiquette(page, c, 56, haut, 241, 13, SS_CENTER | SS_NOPREFIX | SS_NOTIFY);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(policeAPropos_), FALSE);
  }
  SetWindowSubclass(controle(Controle::LabelAboutSite), ProcSousClasse, 2, reinterpret_cast<DWORD_PTR>(this));
  constexpr int ax = 8, ay = 224;  // GroupAide
  creer(page, Controle::GroupAide, "BUTTON", WS_VISIBLE | BS_GROUPBOX, ax, ay, 337, 161);
  for (auto [c, haut, hauteur] : {std::tuple{Controle::LabelAide1, 32, 33}, std::tuple{Controle::LabelAide2, 66, 33},
                                  std::tuple{Controle::LabelAide3, 100, 57}})
    etiquette(page, c, ax + 24, ay + haut, 297, hauteur, SS_LEFT);

  creer(fenetre_, Controle::BtnFermer, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 296, 440, 73, 25);
  // The pages lie above the tab control, which draws only their frame and the tabs.
  SetWindowPos(onglets_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  for (Controle groupe : {Controle::GroupImages, Controle::GroupMiseAJour, Controle::GroupAide})
    SetWindowPos(controle(groupe), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  infoBulles_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, fenetre_, nullptr,
                                instance_, nullptr);
  SendMessageA(infoBulles_, TTM_SETMAXTIPWIDTH, 0, 400);
  for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2, Controle::ProgressBar1}) ajouterInfoBulle(c);
  montrerPage(0);
}

void FenetrePrincipale::ajouterInfoBulle(Controle c) {
  TOOLINFOA outil{};
  outil.cbSize = sizeof outil;
  outil.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  outil.hwnd = fenetre_;
  outil.uId = reinterpret_cast<UINT_PTR>(controle(c));
  outil.lpszText = const_cast<char*>("");
  SendMessageA(infoBulles_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&outil));
}

HWND FenetrePrincipale::controle(Controle c) const {
  const auto it = controles_.find(c);
  return it == controles_.end() ? nullptr : it->second;
}

void FenetrePrincipale::executer(const std::function<void(TForm1&)>& gestionnaire) {
  if (form_) form_->Executer([&] { gestionnaire(*form_); });
}

void FenetrePrincipale::differer(std::function<void()> gestionnaire) {
  differes_.push_back(std::move(gestionnaire));
  PostMessageA(fenetre_, kMessageDiffere, 0, 0);
}

void FenetrePrincipale::montrerPage(int page) {
  SendMessageA(onglets_, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  for (std::size_t i = 0; i < pages_.size(); ++i)
    ShowWindow(pages_[i], static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
}

LRESULT CALLBACK FenetrePrincipale::ProcFenetre(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* moi = static_cast<FenetrePrincipale*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    moi->fenetre_ = fenetre;
    SetWindowLongPtrA(fenetre, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(moi));
  }
  auto* moi = reinterpret_cast<FenetrePrincipale*>(GetWindowLongPtrA(fenetre, GWLP_USERDATA));
  return moi ? moi->message(message, wParam, lParam) : DefWindowProcA(fenetre, message, wParam, lParam);
}

// The pages pass their children's notifications on to the window.
LRESULT CALLBACK FenetrePrincipale::ProcPage(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrA(fenetre, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  auto* moi = reinterpret_cast<FenetrePrincipale*>(GetWindowLongPtrA(fenetre, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (moi) return moi->message(message, wParam, lParam);
      break;
    default:
      break;
  }
  return DefWindowProcA(fenetre, message, wParam, lParam);
}

LRESULT CALLBACK FenetrePrincipale::ProcImage(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrA(fenetre, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  auto* image = reinterpret_cast<Image*>(GetWindowLongPtrA(fenetre, GWLP_USERDATA));
  HWND page = GetParent(fenetre);
  auto* moi = page ? reinterpret_cast<FenetrePrincipale*>(GetWindowLongPtrA(page, GWLP_USERDATA)) : nullptr;
  if (image && moi) return moi->messageImage(*image, fenetre, message, wParam, lParam);
  return DefWindowProcA(fenetre, message, wParam, lParam);
}

LRESULT CALLBACK FenetrePrincipale::ProcSousClasse(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam,
                                                   UINT_PTR, DWORD_PTR donnees) {
  return reinterpret_cast<FenetrePrincipale*>(donnees)->messageSousClasse(fenetre, message, wParam, lParam);
}

// The duration field filters typed characters; the web site label follows the mouse.
LRESULT FenetrePrincipale::messageSousClasse(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam) {
  if (fenetre == controle(Controle::EditFreqDuree) && message == WM_CHAR) {
    // Control characters (editing and clipboard keys) do their work unfiltered, but Backspace.
    if (wParam >= 0x20 || wParam == '\b') {
      char caractere = wParam < 0x80 ? static_cast<char>(wParam) : '?';
      executer([&](TForm1& f) { f.EditFreqDureeKeyPress(caractere); });
      if (caractere == '\0') return 0;
      wParam = static_cast<unsigned char>(caractere);
    }
  } else if (fenetre == controle(Controle::LabelAboutSite)) {
    if (message == WM_MOUSEMOVE && !survolLien_) {
      survolLien_ = true;
      TRACKMOUSEEVENT suivi{sizeof suivi, TME_LEAVE, fenetre, 0};
      TrackMouseEvent(&suivi);
      executer([](TForm1& f) { f.LabelLienMouseMove(Controle::LabelAboutSite); });
    } else if (message == WM_MOUSELEAVE) {
      survolLien_ = false;
      executer([](TForm1& f) { f.LabelLienMouseLeave(Controle::LabelAboutSite); });
    } else if (message == WM_SETCURSOR) {
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
      return TRUE;
    } else if (message == WM_NCHITTEST) {
      return HTCLIENT;
    }
  }
  return DefSubclassProc(fenetre, message, wParam, lParam);
}

LRESULT FenetrePrincipale::messageImage(Image& image, HWND fenetre, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT peinture;
      HDC dc = BeginPaint(fenetre, &peinture);
      RECT zone;
      GetClientRect(fenetre, &zone);
      dessinerImage(image, dc, zone);
      EndPaint(fenetre, &peinture);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      if (image.transparente) return HTTRANSPARENT;
      break;
    case WM_SETCURSOR:
      if (image.main && !attente_) {
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
        return TRUE;
      }
      break;
    case WM_LBUTTONUP:
      clicImage(image.controle);
      return 0;
    case WM_CONTEXTMENU:
      if (image.apercu) ouvrirMenuApercu();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(fenetre, message, wParam, lParam);
}

void FenetrePrincipale::dessinerImage(const Image& image, HDC dc, const RECT& zone) {
  FillRect(dc, &zone, GetSysColorBrush(COLOR_BTNFACE));
  if (image.icone) {
    DrawIconEx(dc, 0, 0, image.icone, zone.right, zone.bottom, 0, nullptr, DI_NORMAL);
  } else if (image.apercu && apercu_) {
    // The preview is drawn at its own size, centred.
    PeindreCanvas(dc, (zone.right - apercu_->Width()) / 2, (zone.bottom - apercu_->Height()) / 2, *apercu_);
  }
}

// A click on a preview opens its picture; the arrows step through the history.
void FenetrePrincipale::clicImage(Controle c) {
  switch (c) {
    case Controle::ImgMonitor1:
    case Controle::ImgMonitor2:
      executer([](TForm1& f) { f.MenuMonitorOpenFileClick(); });
      break;
    case Controle::ImgPrecedent1:
    case Controle::ImgPrecedent2:
      executer([](TForm1& f) { f.MenuMonitorPrecedentClick(); });
      break;
    case Controle::ImgSuivant1:
    case Controle::ImgSuivant2:
      executer([](TForm1& f) { f.MenuMonitorSuivantClick(); });
      break;
    default:
      break;
  }
}

LRESULT FenetrePrincipale::message(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMessageIconeTray: {
      const auto evenement = static_cast<std::uint32_t>(lParam);
      if (form_) differer([this, evenement] { form_->MessageIconeTray(evenement); });
      return 0;
    }
    case kMessageDiffere:
      if (!differes_.empty()) {
        auto gestionnaire = std::move(differes_.front());
        differes_.pop_front();
        if (form_) form_->Executer(gestionnaire);
      }
      return 0;
    case WM_COMMAND:
      commande(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY: {
      const auto* avis = reinterpret_cast<const NMHDR*>(lParam);
      if (avis->hwndFrom == onglets_ && avis->code == TCN_SELCHANGE)
        montrerPage(static_cast<int>(SendMessageA(onglets_, TCM_GETCURSEL, 0, 0)));
      return 0;
    }
    case WM_DRAWITEM:
      dessinerElement(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_MEASUREITEM:
      mesurerElement(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels and check boxes are transparent on the face colour; the link is blue.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, reinterpret_cast<HWND>(lParam) == controle(Controle::LabelAboutSite)
                           ? RGB(6, 69, 173)
                           : GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case DM_GETDEFID:
      return MAKELRESULT(IDCANCEL, DC_HASDEFID);
    case WM_SETCURSOR:
      if (attente_) {
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
        return TRUE;
      }
      break;
    case WM_CLOSE: {
      bool accepte = true;
      if (form_) form_->Executer([&] { accepte = form_->FormCloseQuery(); });
      if (accepte && form_) form_->Executer([this] { form_->FormClose(); });
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(fenetre_, message, wParam, lParam);
}

void FenetrePrincipale::commande(int id, int notification, HWND source) {
  if (id == IDCANCEL || id == IDOK) {
    executer([](TForm1& f) { f.BtnFermerClick(); });
    return;
  }
  const auto c = static_cast<Controle>(id - kBaseIdentifiants);
  if (source != controle(c)) return;
  switch (c) {
    case Controle::BtnParcourir:
      if (notification == BN_CLICKED) executer([](TForm1& f) { f.BtnParcourirClick(); });
      break;
    case Controle::CheckChgtDemarrage:
    case Controle::CheckChgtTousLes:
      if (notification == BN_CLICKED) {
        const bool coche = SendMessageA(source, BM_GETCHECK, 0, 0) != BST_CHECKED;
        executer([&](TForm1& f) {
          if (c == Controle::CheckChgtDemarrage)
            f.ModifierCheckChgtDemarrage(coche);
          else
            f.ModifierCheckChgtTousLes(coche);
        });
      }
      break;
    case Controle::EditFreqDuree:
      if (notification == EN_CHANGE && !texteParProgramme_) {
        const std::string texte = TexteFenetre(source);
        executer([&](TForm1& f) { f.ModifierEditFreqDuree(texte); });
      }
      break;
    case Controle::ComboFreqTemps:
      if (notification == CBN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageA(source, CB_GETCURSEL, 0, 0));
        executer([&](TForm1& f) { f.ModifierComboFreqTemps(index); });
      }
      break;
    case Controle::ComboWallpaper: {
      // A choice of the user: the keyboard in the closed list, or a click in the opened one.
      const int index = static_cast<int>(SendMessageA(source, CB_GETCURSEL, 0, 0));
      const bool ouverte = SendMessageA(source, CB_GETDROPPEDSTATE, 0, 0) != 0;
      if (notification == CBN_DROPDOWN) {
        selectionAvantOuverture_ = index;
        listeOuverte();
      } else if ((notification == CBN_SELCHANGE && !ouverte) ||
                 (notification == CBN_SELENDOK && index != selectionAvantOuverture_)) {
        selectionAvantOuverture_ = index;
        if (index >= 0) executer([&](TForm1& f) { f.ComboWallpaperChange(index); });
      } else if (notification == CBN_SELENDCANCEL && index != selectionAvantOuverture_) {
        // Escape or a click outside: the field shows the installed picture again, not the
        // one last hovered.
        SendMessageA(source, CB_SETCURSEL, static_cast<WPARAM>(selectionAvantOuverture_), 0);
      }
      break;
    }
    case Controle::LabelAboutSite:
      if (notification == STN_CLICKED) executer([](TForm1& f) { f.LabelAboutSiteClick(); });
      break;
    default:
      break;
  }
}

// The opened list shows as many items as the logic says: its height is set as it opens.
void FenetrePrincipale::listeOuverte() {
  HWND liste = controle(Controle::ComboWallpaper);
  RECT zone;
  GetWindowRect(liste, &zone);
  const int champ = static_cast<int>(SendMessageA(liste, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0)) + 6;
  int lignes = 1;
  if (form_) lignes = std::max(1, form_->ComboWallpaperDropDown(zone.top, champ));
  const int nombre = static_cast<int>(SendMessageA(liste, CB_GETCOUNT, 0, 0));
  lignes = std::max(1, std::min(lignes, nombre));
  SetWindowPos(liste, nullptr, 0, 0, zone.right - zone.left, champ + lignes * kHauteurElement + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FenetrePrincipale::mesurerElement(MEASUREITEMSTRUCT& mesure) {
  if (mesure.CtlType == ODT_COMBOBOX) {
    mesure.itemHeight = kHauteurElement;
    mesure.itemWidth = kLargeurElement;
    return;
  }
  if (mesure.CtlType != ODT_MENU) return;
  switch (mesure.itemID) {
    case kCmdEnTete: {
      // Measured from its caption, as a plain entry is.
      HDC dc = GetDC(fenetre_);
      HGDIOBJ ancienne = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      const SIZE taille = TailleTexte(dc, textes_[Controle::MenuWallpaperComm]);
      SelectObject(dc, ancienne);
      ReleaseDC(fenetre_, dc);
      mesure.itemWidth = static_cast<UINT>(taille.cx + 10);
      mesure.itemHeight = static_cast<UINT>(taille.cy + 6);
      break;
    }
    case kCmdHasard:
    case kCmdOuvrirImage:
    case kCmdPrecedent: {
      // 32 pixels, as the pictures' entries make the menu wider anyway; but never narrower
      // than the icon and the text drawn beside it, which an empty folder would cut.
      mesure.itemWidth = static_cast<UINT>(std::max(32, largeurEntreeIcone(mesure.itemID)));
      mesure.itemHeight = 28;
      break;
    }
    default:
      mesure.itemWidth = kLargeurElement;
      mesure.itemHeight = kHauteurElement;
      break;
  }
}

void FenetrePrincipale::dessinerElement(DRAWITEMSTRUCT& dessin) {
  const bool selectionne = (dessin.itemState & ODS_SELECTED) != 0;
  if (dessin.CtlType == ODT_COMBOBOX) {
    // The closed list's field shows the picture in window colours, never highlighted.
    const bool champ = (dessin.itemState & ODS_COMBOBOXEDIT) != 0;
    const bool surligne = selectionne && !champ;
    const COLORREF fond = GetSysColor(surligne ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const COLORREF texte = GetSysColor(surligne ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    if (static_cast<int>(dessin.itemID) < 0) {
      HBRUSH pinceau = CreateSolidBrush(fond);
      FillRect(dessin.hDC, &dessin.rcItem, pinceau);
      DeleteObject(pinceau);
      return;
    }
    const int longueur = static_cast<int>(SendMessageA(dessin.hwndItem, CB_GETLBTEXTLEN, dessin.itemID, 0));
    std::string chemin(static_cast<std::size_t>(std::max(longueur, 0)) + 1, '\0');
    SendMessageA(dessin.hwndItem, CB_GETLBTEXT, dessin.itemID, reinterpret_cast<LPARAM>(chemin.data()));
    chemin.resize(static_cast<std::size_t>(std::max(longueur, 0)));
    SelectObject(dessin.hDC, police_);
    dessinerElementImage(dessin.hDC, dessin.rcItem, static_cast<int>(dessin.itemID), chemin, fond, texte);
    if ((dessin.itemState & ODS_FOCUS) && !champ) DrawFocusRect(dessin.hDC, &dessin.rcItem);
    return;
  }
  if (dessin.CtlType != ODT_MENU) return;
  const COLORREF fondMenu = GetSysColor(selectionne ? COLOR_HIGHLIGHT : COLOR_MENU);
  const COLORREF texteMenu = GetSysColor(selectionne ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
  SelectObject(dessin.hDC, GetStockObject(DEFAULT_GUI_FONT));
  switch (dessin.itemID) {
    case kCmdEnTete: {
      // The heading never shows as selected.
      RECT zone = dessin.rcItem;
      FillRect(dessin.hDC, &zone, GetSysColorBrush(COLOR_MENU));
      zone.left += 5;
      HFONT soulignee = PoliceAvecStyle(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), false, true);
      HGDIOBJ ancienne = SelectObject(dessin.hDC, soulignee);
      SetBkMode(dessin.hDC, TRANSPARENT);
      SetTextColor(dessin.hDC, GetSysColor(COLOR_MENUTEXT));
      const std::string& texte = textes_[Controle::MenuWallpaperComm];
      DessinerTexte(dessin.hDC, texte, zone, DT_SINGLELINE | DT_VCENTER);
      SelectObject(dessin.hDC, ancienne);
      DeleteObject(soulignee);
      break;
    }
    case kCmdHasard:
      dessinerEntreeIcone(dessin.hDC, dessin.rcItem, icones_.hasard, textes_[Controle::MenuWallpaperHasard],
                          selectionne, true);
      break;
    case kCmdOuvrirImage:
      dessinerEntreeIcone(dessin.hDC, dessin.rcItem, icones_.ouvrir,
                          textes_[Controle::MenuWallpaperOuvrirImage], selectionne, false);
      break;
    case kCmdPrecedent:
      dessinerEntreeIcone(dessin.hDC, dessin.rcItem, icones_.precedent,
                          textes_[Controle::MenuWallpaperPrecedent], selectionne, false);
      break;
    default:
      if (dessin.itemID >= kCmdImage0 && dessin.itemID < kCmdImage0 + 10) {
        const EntreeImage& entree = entreesImages_[dessin.itemID - kCmdImage0];
        dessinerElementImage(dessin.hDC, dessin.rcItem, entree.tag, entree.chemin, fondMenu, texteMenu);
      }
      break;
  }
}

void FenetrePrincipale::dessinerEntreeIcone(HDC dc, RECT zone, HICON icone, const std::string& texte,
                                            bool selectionnee, bool gras) {
  HBRUSH fond = GetSysColorBrush(selectionnee ? COLOR_HIGHLIGHT : COLOR_MENU);
  FillRect(dc, &zone, fond);
  DrawIconEx(dc, zone.left + 5, zone.top, icone, 32, 28, 0, nullptr, DI_NORMAL);
  zone.left += 32 + 10;
  HFONT police = PoliceAvecStyle(static_cast<HFONT>(GetCurrentObject(dc, OBJ_FONT)), gras, false);
  HGDIOBJ ancienne = SelectObject(dc, police);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selectionnee ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  DessinerTexte(dc, texte, zone, DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, ancienne);
  DeleteObject(police);
}

void FenetrePrincipale::dessinerElementImage(HDC dc, RECT zone, int index, const std::string& chemin,
                                             COLORREF fond, COLORREF texte) {
  HBRUSH pinceau = CreateSolidBrush(fond);
  FillRect(dc, &zone, pinceau);
  DeleteObject(pinceau);
  // The thumbnail is built if need be and drawn over the background, its mask colour letting
  // the background through.
  Canvas cellule(kLargeurVignette, kHauteurElement);
  cellule.FillRect(Rect{0, 0, kLargeurVignette, kHauteurElement}, VersCouleur(fond));
  if (form_) form_->Executer([&] { form_->DessinerVignette(index, cellule); });
  PeindreCanvas(dc, zone.left, zone.top, cellule);

  zone.left += kDecalageTexte;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, texte);
  const std::string nom = NomAffiche(chemin);
  const std::string sousDossier = SousDossier(chemin, form_ ? form_->RepertoireRacine : std::string());
  if (sousDossier.empty()) {
    DessinerTexte(dc, nom, zone, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    return;
  }
  const int moitie = static_cast<int>(zone.bottom - zone.top) / 2;
  RECT haut = zone;
  haut.bottom = zone.bottom - moitie;
  RECT bas = zone;
  bas.top = zone.bottom - moitie;
  const std::string dossier = "[" + sousDossier + "]";
  DessinerTexte(dc, nom, haut, DT_SINGLELINE | DT_BOTTOM | DT_END_ELLIPSIS);
  DessinerTexte(dc, dossier, bas, DT_SINGLELINE | DT_TOP | DT_END_ELLIPSIS);
}

void FenetrePrincipale::afficherPremiereFois() {
  if (!dejaCentree_) {
    dejaCentree_ = true;
    RECT travail{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &travail, 0);
    RECT cadre;
    GetWindowRect(fenetre_, &cadre);
    const int largeur = cadre.right - cadre.left;
    const int hauteur = cadre.bottom - cadre.top;
    SetWindowPos(fenetre_, nullptr, travail.left + (travail.right - travail.left - largeur) / 2,
                 travail.top + (travail.bottom - travail.top - hauteur) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(fenetre_, SW_SHOW);
  UpdateWindow(fenetre_);
}

void FenetrePrincipale::setTitre(const std::string& titre) { SetWindowTextA(fenetre_, titre.c_str()); }

void FenetrePrincipale::setTexte(Controle c, const std::string& texte) {
  switch (c) {
    case Controle::TabWallpaper:
    case Controle::TabAide: {
      TCITEMA onglet{};
      onglet.mask = TCIF_TEXT;
      onglet.pszText = const_cast<char*>(texte.c_str());
      SendMessageA(onglets_, TCM_SETITEMA, c == Controle::TabWallpaper ? 0 : 1, reinterpret_cast<LPARAM>(&onglet));
      return;
    }
    case Controle::MenuWallpaperComm:
    case Controle::MenuWallpaperHasard:
    case Controle::MenuWallpaperOuvrirImage:
    case Controle::MenuWallpaperPrecedent:
    case Controle::MenuOuvrir:
    case Controle::MenuQuitter:
    case Controle::MenuMonitorChemin:
    case Controle::MenuMonitorCopierChemin:
    case Controle::MenuMonitorOpenFile:
    case Controle::MenuMonitorOpenDirectory:
      textes_[c] = texte;
      return;
    case Controle::EditFreqDuree: {
      HWND edit = controle(c);
      if (TexteFenetre(edit) == texte) return;
      texteParProgramme_ = true;
      SetWindowTextA(edit, texte.c_str());
      texteParProgramme_ = false;
      return;
    }
    default:
      if (HWND w = controle(c)) SetWindowTextA(w, texte.c_str());
      if (c == Controle::LabelAide1 || c == Controle::LabelAide2 || c == Controle::LabelAide3) disposerAides();
      return;
  }
}

int FenetrePrincipale::largeurEntreeIcone(UINT commande) {
  const Controle texte = commande == kCmdHasard        ? Controle::MenuWallpaperHasard
                         : commande == kCmdOuvrirImage ? Controle::MenuWallpaperOuvrirImage
                                                       : Controle::MenuWallpaperPrecedent;
  HDC dc = GetDC(fenetre_);
  HFONT police = PoliceAvecStyle(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)),
                                 commande == kCmdHasard, false);
  HGDIOBJ ancienne = SelectObject(dc, police);
  const SIZE taille = TailleTexte(dc, textes_[texte]);
  SelectObject(dc, ancienne);
  DeleteObject(police);
  ReleaseDC(fenetre_, dc);
  // The icon at 5, the text at 42 (see dessinerEntreeIcone), and a margin after it.
  return 32 + 10 + static_cast<int>(taille.cx) + 10;
}

void FenetrePrincipale::disposerAides() {
  constexpr std::array<Controle, 3> kTextes{Controle::LabelAide1, Controle::LabelAide2, Controle::LabelAide3};
  HWND groupe = controle(Controle::GroupAide);
  if (!groupe) return;
  std::array<int, 3> besoins{};
  HDC dc = GetDC(fenetre_);
  HGDIOBJ ancienne = SelectObject(dc, police_);
  for (std::size_t i = 0; i < kTextes.size(); ++i) {
    const std::string texte = TexteFenetre(controle(kTextes[i]));
    RECT zone{0, 0, 297, 0};
    DrawTextA(dc, texte.c_str(), -1, &zone, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    besoins[i] = static_cast<int>(zone.bottom);
  }
  SelectObject(dc, ancienne);
  ReleaseDC(fenetre_, dc);
  RECT cadre;
  GetWindowRect(groupe, &cadre);
  MapWindowPoints(nullptr, GetParent(groupe), reinterpret_cast<POINT*>(&cadre), 2);
  const DispositionAide disposition = DisposerAides(besoins);
  SetWindowPos(groupe, nullptr, 0, 0, cadre.right - cadre.left, disposition.hauteurGroupe,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (std::size_t i = 0; i < kTextes.size(); ++i) {
    const Rect& r = disposition.textes[i];
    SetWindowPos(controle(kTextes[i]), nullptr, cadre.left + r.left, cadre.top + r.top, r.Width(), r.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void FenetrePrincipale::setIndice(Controle c, const std::string& indice) {
  // A carriage return starts a new line of the hint.
  std::string texte;
  for (char caractere : indice) texte += caractere == '\r' ? std::string("\r\n") : std::string(1, caractere);
  textes_[c] = texte;
  TOOLINFOA outil{};
  outil.cbSize = sizeof outil;
  outil.uFlags = TTF_IDISHWND;
  outil.hwnd = fenetre_;
  outil.uId = reinterpret_cast<UINT_PTR>(controle(c));
  outil.lpszText = textes_[c].data();
  SendMessageA(infoBulles_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&outil));
}

void FenetrePrincipale::setVisible(Controle c, bool visible) {
  switch (c) {
    case Controle::MenuWallpaperComm:
    case Controle::MenuWallpaperHasard:
    case Controle::MenuWallpaperOuvrirImage:
    case Controle::MenuWallpaperPrecedent:
    case Controle::MenuOuvrir:
    case Controle::MenuQuitter:
      visibles_[c] = visible;
      return;
    default:
      if (HWND w = controle(c)) ShowWindow(w, visible ? SW_SHOW : SW_HIDE);
      return;
  }
}

void FenetrePrincipale::setCoche(Controle c, bool coche) {
  SendMessageA(controle(c), BM_SETCHECK, coche ? BST_CHECKED : BST_UNCHECKED, 0);
}

void FenetrePrincipale::setIndexSelectionne(Controle c, int index) {
  SendMessageA(controle(c), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (c == Controle::ComboWallpaper) selectionAvantOuverture_ = index;
}

void FenetrePrincipale::setSouligne(Controle c, bool souligne) {
  if (c != Controle::LabelAboutSite) return;
  SendMessageA(controle(c), WM_SETFONT, reinterpret_cast<WPARAM>(souligne ? policeLienSoulignee_ : policeLien_),
               TRUE);
}

void FenetrePrincipale::setOngletActif(Controle onglet) { montrerPage(onglet == Controle::TabAide ? 1 : 0); }

void FenetrePrincipale::selectionnerTout(Controle c) {
  HWND w = controle(c);
  SetFocus(w);
  SendMessageA(w, EM_SETSEL, 0, -1);
}

void FenetrePrincipale::afficherFenetre() {
  afficherPremiereFois();
  if (IsIconic(fenetre_)) ShowWindow(fenetre_, SW_RESTORE);
  SetForegroundWindow(fenetre_);
}

void FenetrePrincipale::masquerFenetre() { ShowWindow(fenetre_, SW_HIDE); }

void FenetrePrincipale::nePasAfficherAuDemarrage() { afficherAuDemarrage_ = false; }

bool FenetrePrincipale::fenetreVisible() const { return IsWindowVisible(fenetre_) != 0; }

void FenetrePrincipale::demanderFermeture() { PostMessageA(fenetre_, WM_CLOSE, 0, 0); }

void FenetrePrincipale::terminerProgramme() { PostQuitMessage(0); }

void FenetrePrincipale::viderListeImages() {
  SendMessageA(controle(Controle::ComboWallpaper), CB_RESETCONTENT, 0, 0);
  selectionAvantOuverture_ = -1;
}

void FenetrePrincipale::ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) {
  HWND liste = controle(Controle::ComboWallpaper);
  SendMessageA(liste, WM_SETREDRAW, FALSE, 0);
  for (std::size_t i = debut; i < catalogue.size(); ++i)
    SendMessageA(liste, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(catalogue[i].c_str()));
  SendMessageA(liste, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(liste, nullptr, TRUE);
}

void FenetrePrincipale::setCurseurAttente(bool attente) {
  attente_ = attente;
  SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(attente ? 32514 : 32512)));  // IDC_WAIT, IDC_ARROW
}

int FenetrePrincipale::largeurTexte(const std::string& texte) {
  HDC dc = GetDC(fenetre_);
  HGDIOBJ ancienne = SelectObject(dc, police_);
  const SIZE taille = TailleTexte(dc, texte);
  SelectObject(dc, ancienne);
  ReleaseDC(fenetre_, dc);
  return taille.cx;
}

int FenetrePrincipale::largeurControle(Controle c) {
  RECT zone{};
  if (HWND w = controle(c)) GetWindowRect(w, &zone);
  return zone.right - zone.left;
}

std::optional<std::string> FenetrePrincipale::choisirDossier(const std::string& titre, const std::string& depart) {
  // Apartment-threaded COM for the dialog's time; the window is disabled while it is open.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BROWSEINFOA parcours{};
  parcours.hwndOwner = fenetre_;
  parcours.lpszTitle = titre.c_str();
  parcours.ulFlags = 0x241;  // file-system folders only, new dialog style, no new-folder button
  parcours.lpfn = RappelDossier;
  parcours.lParam = depart.empty() ? 0 : reinterpret_cast<LPARAM>(depart.c_str());
  std::optional<std::string> choix;
  if (PIDLIST_ABSOLUTE liste = SHBrowseForFolderA(&parcours)) {
    char chemin[MAX_PATH] = {};
    if (SHGetPathFromIDListA(liste, chemin)) choix = std::string(chemin);
    CoTaskMemFree(liste);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return choix;
}

void FenetrePrincipale::setApercu(const Canvas& apercu) {
  apercu_ = apercu;
  for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2}) InvalidateRect(controle(c), nullptr, FALSE);
}

void FenetrePrincipale::setProgression(int maximum, int position) {
  HWND barre = controle(Controle::ProgressBar1);
  SendMessageA(barre, PBM_SETRANGE32, 0, maximum);
  SendMessageA(barre, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void FenetrePrincipale::redessinerListe() {
  HWND liste = controle(Controle::ComboWallpaper);
  InvalidateRect(liste, nullptr, FALSE);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(liste, &info) && info.hwndList) InvalidateRect(info.hwndList, nullptr, FALSE);
}

void FenetrePrincipale::setEntreeMenuImage(int k, bool visible, int tag, const std::string& chemin) {
  if (k < 0 || k >= static_cast<int>(entreesImages_.size())) return;
  entreesImages_[static_cast<std::size_t>(k)] = EntreeImage{visible, tag, chemin};
}

// The quick menu, made anew each time it opens from what the logic has just chosen.
void FenetrePrincipale::ouvrirMenuPanic() {
  POINT curseur{};
  GetCursorPos(&curseur);
  SetForegroundWindow(fenetre_);
  executer([](TForm1& f) { f.PopupMenuPanicPopup(); });

  HMENU menu = CreatePopupMenu();
  auto visible = [this](Controle c) {
    const auto it = visibles_.find(c);
    return it == visibles_.end() || it->second;
  };
  if (visible(Controle::MenuWallpaperComm))
    AppendMenuA(menu, MF_OWNERDRAW | MF_DISABLED, kCmdEnTete, reinterpret_cast<LPCSTR>(kCmdEnTete));
  for (int k = static_cast<int>(entreesImages_.size()) - 1; k >= 0; --k)
    if (entreesImages_[static_cast<std::size_t>(k)].visible)
      AppendMenuA(menu, MF_OWNERDRAW, kCmdImage0 + static_cast<UINT>(k), nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_OWNERDRAW, kCmdHasard, nullptr);
  AppendMenuA(menu, MF_OWNERDRAW, kCmdOuvrirImage, nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_OWNERDRAW, kCmdPrecedent, nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdOuvrir, textes_[Controle::MenuOuvrir].c_str());
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdQuitter, textes_[Controle::MenuQuitter].c_str());
  SetMenuDefaultItem(menu, kCmdHasard, FALSE);

  const UINT choix = static_cast<UINT>(
      TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, curseur.x, curseur.y, fenetre_, nullptr));
  PostMessageA(fenetre_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (choix >= kCmdImage0 && choix < kCmdImage0 + 10) {
    const int k = static_cast<int>(choix - kCmdImage0);
    differer([this, k] { form_->MenuWallpaperXClick(k); });
  } else if (choix == kCmdHasard) {
    differer([this] { form_->MenuWallpaperHasardClick(); });
  } else if (choix == kCmdOuvrirImage) {
    differer([this] { form_->MenuMonitorOpenFileClick(); });
  } else if (choix == kCmdPrecedent) {
    differer([this] { form_->MenuMonitorPrecedentClick(); });
  } else if (choix == kCmdOuvrir) {
    differer([this] { form_->MenuOuvrirClick(); });
  } else if (choix == kCmdQuitter) {
    differer([this] { form_->MenuQuitterClick(); });
  }
}

// The preview's menu: the path (shown only), copy it, open the picture (the default) or its folder.
void FenetrePrincipale::ouvrirMenuApercu() {
  POINT curseur{};
  GetCursorPos(&curseur);
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, SansAccelerateurs(textes_[Controle::MenuMonitorChemin]).c_str());
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdCopierChemin, textes_[Controle::MenuMonitorCopierChemin].c_str());
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdOuvrirFichier, textes_[Controle::MenuMonitorOpenFile].c_str());
  AppendMenuA(menu, MF_STRING, kCmdOuvrirDossier, textes_[Controle::MenuMonitorOpenDirectory].c_str());
  SetMenuDefaultItem(menu, kCmdOuvrirFichier, FALSE);
  const UINT choix = static_cast<UINT>(
      TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, curseur.x, curseur.y, fenetre_, nullptr));
  DestroyMenu(menu);
  if (choix == kCmdCopierChemin) {
    differer([this] { form_->MenuMonitorCopierCheminClick(); });
  } else if (choix == kCmdOuvrirFichier) {
    differer([this] { form_->MenuMonitorOpenFileClick(); });
  } else if (choix == kCmdOuvrirDossier) {
    differer([this] { form_->MenuMonitorOpenDirectoryClick(); });
  }
}
