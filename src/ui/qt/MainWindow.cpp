#include "ui/qt/MainWindow.h"

#include <QAction>
#include <QBitmap>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWidgetAction>
#include <QAbstractItemView>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

#include "app/Langue.h"
#include "imaging/ImageList.h"
#include "wallpaper/Chemins.h"
#include "app/TForm1.h"
#include "ui/qt/ImageCanvas.h"
#include "ui/qt/PictureList.h"
#include "ui/qt/QuickMenu.h"

// The artwork is compiled into the static UI library, which must register it itself.
static void ChargerRessources() { Q_INIT_RESOURCE(resources); }

namespace {

constexpr int kLargeurClient = 377;
constexpr int kHauteurClient = 472;
constexpr int kHauteurChampListe = PictureItemPainter::kHauteurElement + 6;
constexpr int kAttenteFinDeScanMs = 250;
constexpr int kAttenteApresFermetureMs = 1000;

QString Texte(const std::string& texte) { return QString::fromStdString(texte); }

// Texts longer than their control are drawn narrower, so every text shows whole in the
// window's fixed layout whatever the interface font's width.
bool TexteTient(const QWidget* w) {
  if (const auto* label = qobject_cast<const QLabel*>(w); label && label->wordWrap())
    return label->heightForWidth(label->width()) <= label->height();
  if (const auto* bouton = qobject_cast<const QPushButton*>(w))
    return bouton->fontMetrics().horizontalAdvance(bouton->text()) + 8 <= bouton->width();
  return w->sizeHint().width() <= w->width();
}

void AjusterALaLargeur(QWidget* w) {
  QFont police = w->font();
  for (int etirement : {100, 94, 88, 82, 76, 70}) {
    police.setStretch(etirement);
    w->setFont(police);
    if (TexteTient(w)) return;
  }
}

// A drawing of the artwork; where screens have more than one pixel per unit of the window's
// layout, its rendering at twice the size (name@2x.png), which Qt draws at the same place.
QPixmap Dessin(const char* nom) {
  QString chemin = QStringLiteral(":/verrelune/%1").arg(nom);
  if (qApp->devicePixelRatio() > 1) {
    QPixmap double_(QString(chemin).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
    if (!double_.isNull()) {
      double_.setDevicePixelRatio(2);
      return double_;
    }
  }
  return QPixmap(chemin);
}

}  // namespace

MainWindow::MainWindow() {
  ChargerRessources();
  // The window's fixed layout is made for a compact 11-pixel sans-serif; the first of these
  // families that is installed, else the platform's interface font.
  QFont police = font();
  police.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), police.family()});
  police.setPixelSize(11);
  setFont(police);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kLargeurClient, kHauteurClient);
  setSizeGripEnabled(false);
  QIcon icone;
  for (int taille : {16, 22, 24, 32, 48, 64, 128, 256})
    icone.addFile(taille == 16 ? QStringLiteral(":/verrelune/tray-16.png")
                               : QStringLiteral(":/verrelune/verrelune-%1.png").arg(taille));
  setWindowIcon(icone);
  createControls();
  createMenus();
}

MainWindow::~MainWindow() = default;

// Every control at the place and size of the window's design, relative to its parent.
void MainWindow::createControls() {
  auto placer = [this](auto* widget, Controle c, int gauche, int haut, int largeur, int hauteur) {
    widget->setGeometry(gauche, haut, largeur, hauteur);
    controles_[c] = widget;
    return widget;
  };
  auto image = [&](QWidget* parent, Controle c, int gauche, int haut, int largeur, int hauteur,
                   const char* dessin) {
    auto* label = placer(new QLabel(parent), c, gauche, haut, largeur, hauteur);
    if (dessin) label->setPixmap(Dessin(dessin));
    return label;
  };
  auto etiquette = [&](QWidget* parent, Controle c, int gauche, int haut, int largeur,
                       int hauteur) {
    auto* label = placer(new QLabel(parent), c, gauche, haut, largeur, hauteur);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
  };

  tabBrowser_ = placer(new QTabWidget(this), Controle::TabBrowser, 8, 8, 361, 425);
  auto* tabWallpaper = new QWidget;
  auto* tabAide = new QWidget;
  controles_[Controle::TabWallpaper] = tabWallpaper;
  controles_[Controle::TabAide] = tabAide;
  tabBrowser_->addTab(tabWallpaper, QString());
  tabBrowser_->addTab(tabAide, QString());

  // The preview with its monitor and arrows, the same on both tabs.
  auto apercu = [&](QWidget* onglet, Controle deco, Controle moniteur, Controle precedent,
                    Controle suivant) {
    auto* cadre = image(onglet, deco, 96, 8, 160, 128, "monitor.png");
    cadre->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* ecran = image(onglet, moniteur, 101, 13, 150, 92, nullptr);
    ecran->setAlignment(Qt::AlignCenter);
    ecran->setCursor(Qt::PointingHandCursor);
    ecran->setContextMenuPolicy(Qt::CustomContextMenu);
    for (auto [fleche, gauche, dessin] :
         {std::tuple{precedent, 40, "previous.png"}, std::tuple{suivant, 285, "next.png"}}) {
      auto* label = image(onglet, fleche, gauche, 44, 28, 28, dessin);
      label->setCursor(Qt::PointingHandCursor);
      label->hide();
    }
  };
  apercu(tabWallpaper, Controle::ImgMonitorDeco1, Controle::ImgMonitor1, Controle::ImgPrecedent1,
         Controle::ImgSuivant1);
  placer(new QLabel(tabWallpaper), Controle::LabelCheminCompletDuFichier, 0, 116, 144, 13)->hide();

  auto* groupImages = placer(new QGroupBox(tabWallpaper), Controle::GroupImages, 8, 144, 337, 137);
  etiquette(groupImages, Controle::LabelBtnParcourir, 24, 32, 105, 25);
  placer(new QPushButton(groupImages), Controle::BtnParcourir, 128, 32, 185, 25);
  etiquette(groupImages, Controle::LabelComboWallpaper, 24, 64, 105, 25);
  comboWallpaper_ = placer(new PictureComboBox(groupImages), Controle::ComboWallpaper, 128, 67, 185,
                           kHauteurChampListe);
  etiquette(groupImages, Controle::LabelPasDImages, 136, 64, 193, 25)->hide();
  auto* progression = placer(new QProgressBar(groupImages), Controle::ProgressBar1, 24, 88, 97, 17);
  progression->setTextVisible(false);
  progression->hide();

  auto* groupMiseAJour =
      placer(new QGroupBox(tabWallpaper), Controle::GroupMiseAJour, 8, 288, 337, 97);
  checkChgtDemarrage_ =
      placer(new QCheckBox(groupMiseAJour), Controle::CheckChgtDemarrage, 24, 32, 289, 17);
  checkChgtTousLes_ =
      placer(new QCheckBox(groupMiseAJour), Controle::CheckChgtTousLes, 24, 56, 185, 17);
  editFreqDuree_ = placer(new QLineEdit(groupMiseAJour), Controle::EditFreqDuree, 208, 54, 25, 21);
  editFreqDuree_->setAlignment(Qt::AlignRight);
  editFreqDuree_->installEventFilter(this);
  comboFreqTemps_ =
      placer(new QComboBox(groupMiseAJour), Controle::ComboFreqTemps, 240, 54, 73, 21);
  for (const char* unite : kUnitesFreqTemps) comboFreqTemps_->addItem(QString::fromUtf8(unite));
  comboFreqTemps_->setCurrentIndex(-1);

  apercu(tabAide, Controle::ImgMonitorDeco2, Controle::ImgMonitor2, Controle::ImgPrecedent2,
         Controle::ImgSuivant2);
  for (auto [c, haut] : {std::pair{Controle::LabelAboutProg, 140},
                         std::pair{Controle::LabelAboutAuteur, 172},
                         std::pair{Controle::LabelAboutSite, 188}}) {
    auto* label = placer(new QLabel(tabAide), c, 56, haut, 241, 13);
    label->setAlignment(Qt::AlignCenter);
  }
  labelAboutSite_ = static_cast<QLabel*>(controles_[Controle::LabelAboutSite]);
  labelAboutSite_->setCursor(Qt::PointingHandCursor);
  labelAboutSite_->setStyleSheet(QStringLiteral("color: #0645ad"));
  labelAboutSite_->installEventFilter(this);
  auto* groupAide = placer(new QGroupBox(tabAide), Controle::GroupAide, 8, 224, 337, 161);
  for (auto [c, haut, hauteur] : {std::tuple{Controle::LabelAide1, 32, 33},
                                  std::tuple{Controle::LabelAide2, 66, 33},
                                  std::tuple{Controle::LabelAide3, 100, 57}}) {
    auto* label = placer(new QLabel(groupAide), c, 24, haut, 297, hauteur);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

  btnFermer_ = placer(new QPushButton(this), Controle::BtnFermer, 296, 440, 73, 25);
  btnFermer_->setDefault(true);
  btnFermer_->setAutoDefault(true);

  // Hidden holders of the tray and menu icons.
  for (auto [gauche, largeur, hauteur, dessin] :
       {std::tuple{9, 16, 16, "tray-16.png"}, std::tuple{40, 32, 28, "menu-random.png"},
        std::tuple{80, 32, 28, "menu-open.png"}, std::tuple{120, 32, 28, "menu-previous.png"}}) {
    auto* holder = new QLabel(this);
    holder->setGeometry(gauche, 440, largeur, hauteur);
    holder->setPixmap(Dessin(dessin));
    holder->setEnabled(false);
    holder->hide();
  }
  setTabOrder(tabBrowser_, btnFermer_);
}

void MainWindow::createMenus() {
  auto entree = [this](QMenu* menu, Controle c) {
    auto* a = menu->addAction(QString());
    actions_[c] = a;
    return a;
  };
  auto gras = [](QAction* a) {
    QFont police = a->font();
    police.setBold(true);
    a->setFont(police);
  };

  // The quick menu of the tray icon: its heading, picture and icon entries are drawn here.
  popupMenuPanic_ = new QMenu(this);
  popupMenuPanic_->setFont(font());
  auto couleurs = [this](bool survolee) {
    const QPalette& p = popupMenuPanic_->palette();
    return std::pair{p.color(survolee ? QPalette::Highlight : QPalette::Window),
                     p.color(survolee ? QPalette::HighlightedText : QPalette::WindowText)};
  };
  const QFontMetrics mesure(font());
  actions_[Controle::MenuWallpaperComm] = AjouterEntreeDessinee(
      popupMenuPanic_, QSize(PictureItemDelegate::kLargeurElement, mesure.height() + 8),
      [this, couleurs](QPainter& painter, const QRect& r, bool) {
        const auto [fond, texte] = couleurs(false);
        painter.fillRect(r, fond);
        QFont police = font();
        police.setUnderline(true);
        painter.setFont(police);
        painter.setPen(texte);
        painter.drawText(r.adjusted(5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine |
                                                      Qt::TextShowMnemonic,
                         actions_[Controle::MenuWallpaperComm]->text());
      },
      false);
  for (int k = 9; k >= 0; --k) {
    QWidgetAction* a = AjouterEntreeDessinee(
        popupMenuPanic_, QSize(PictureItemDelegate::kLargeurElement, PictureItemPainter::kHauteurElement),
        [this, k, couleurs](QPainter& painter, const QRect& r, bool survolee) {
          const auto& e = form_->MenuWallpaper[static_cast<std::size_t>(k)];
          const auto [fond, texte] = couleurs(survolee);
          comboWallpaper_->peintre().paint(painter, r, e.tag, e.legende, fond, texte, font());
        });
    connect(a, &QAction::triggered, this, [this, k] {
      differer([this, k] { form_->MenuWallpaperXClick(k); });
    });
    a->setVisible(false);
    entreesImages_[static_cast<std::size_t>(k)] = a;
  }
  popupMenuPanic_->addSeparator();
  auto entreeIcone = [&](Controle c, const char* icone, bool parDefaut) {
    const QPixmap dessin = Dessin(icone);
    const QSize taille = dessin.deviceIndependentSize().toSize();
    auto* a = AjouterEntreeDessinee(
        popupMenuPanic_, QSize(PictureItemDelegate::kLargeurElement, taille.height()),
        [this, c, dessin, taille, parDefaut, couleurs](QPainter& painter, const QRect& r, bool survolee) {
          const auto [fond, texte] = couleurs(survolee);
          painter.fillRect(r, fond);
          painter.drawPixmap(r.left() + 5, r.top(), dessin);
          QFont police = font();
          police.setBold(parDefaut);
          painter.setFont(police);
          painter.setPen(texte);
          painter.drawText(r.adjusted(taille.width() + 10, 0, 0, 0),
                           Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                           actions_[c]->text());
        });
    actions_[c] = a;
    return a;
  };
  auto* hasard = entreeIcone(Controle::MenuWallpaperHasard, "menu-random.png", true);
  connect(hasard, &QAction::triggered, this,
          [this] { differer([this] { form_->MenuWallpaperHasardClick(); }); });
  auto* ouvrirImage = entreeIcone(Controle::MenuWallpaperOuvrirImage, "menu-open.png", false);
  connect(ouvrirImage, &QAction::triggered, this,
          [this] { differer([this] { form_->MenuMonitorOpenFileClick(); }); });
  popupMenuPanic_->addSeparator();
  auto* precedent = entreeIcone(Controle::MenuWallpaperPrecedent, "menu-previous.png", false);
  connect(precedent, &QAction::triggered, this,
          [this] { differer([this] { form_->MenuMonitorPrecedentClick(); }); });
  popupMenuPanic_->addSeparator();
  entree(popupMenuPanic_, Controle::MenuOuvrir);
  popupMenuPanic_->addSeparator();
  entree(popupMenuPanic_, Controle::MenuQuitter);
  connect(popupMenuPanic_, &QMenu::aboutToShow, this,
          [this] { form_->Executer([this] { form_->PopupMenuPanicPopup(); }); });
  createMenuExporte();

  // The preview's menu.
  popUpMenuMonitor_ = new QMenu(this);
  entree(popUpMenuMonitor_, Controle::MenuMonitorChemin)->setEnabled(false);
  popUpMenuMonitor_->addSeparator();
  entree(popUpMenuMonitor_, Controle::MenuMonitorCopierChemin);
  popUpMenuMonitor_->addSeparator();
  auto* ouvrir = entree(popUpMenuMonitor_, Controle::MenuMonitorOpenFile);
  gras(ouvrir);
  popUpMenuMonitor_->setDefaultAction(ouvrir);
  entree(popUpMenuMonitor_, Controle::MenuMonitorOpenDirectory);
  for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2}) {
    QWidget* ecran = controles_[c];
    connect(ecran, &QWidget::customContextMenuRequested, this,
            [this, ecran](const QPoint& p) { popUpMenuMonitor_->popup(ecran->mapToGlobal(p)); });
    ecran->installEventFilter(this);
  }
  for (Controle c : {Controle::ImgPrecedent1, Controle::ImgPrecedent2, Controle::ImgSuivant1,
                     Controle::ImgSuivant2})
    controles_[c]->installEventFilter(this);
}

// The quick menu again, as plain entries with icons: notification areas that host icons over
// D-Bus show an application's menu themselves and can show no drawn entry. Same entries, same
// order, same captions; the pictures' thumbnails are their icons.
void MainWindow::createMenuExporte() {
  menuExporte_ = new QMenu(this);
  auto entree = [this](Controle c, const char* icone = nullptr) {
    auto* a = menuExporte_->addAction(QString());
    if (icone) a->setIcon(QIcon(Dessin(icone)));
    actionsExportees_[c] = a;
    return a;
  };
  // The heading is never highlighted and does nothing.
  entree(Controle::MenuWallpaperComm)->setEnabled(false);
  for (int k = 9; k >= 0; --k) {
    auto* a = menuExporte_->addAction(QString());
    a->setVisible(false);
    connect(a, &QAction::triggered, this,
            [this, k] { differer([this, k] { form_->MenuWallpaperXClick(k); }); });
    entreesExportees_[static_cast<std::size_t>(k)] = a;
  }
  menuExporte_->addSeparator();
  connect(entree(Controle::MenuWallpaperHasard, "menu-random.png"), &QAction::triggered, this,
          [this] { differer([this] { form_->MenuWallpaperHasardClick(); }); });
  connect(entree(Controle::MenuWallpaperOuvrirImage, "menu-open.png"), &QAction::triggered, this,
          [this] { differer([this] { form_->MenuMonitorOpenFileClick(); }); });
  menuExporte_->addSeparator();
  connect(entree(Controle::MenuWallpaperPrecedent, "menu-previous.png"), &QAction::triggered, this,
          [this] { differer([this] { form_->MenuMonitorPrecedentClick(); }); });
  menuExporte_->addSeparator();
  entree(Controle::MenuOuvrir);
  menuExporte_->addSeparator();
  entree(Controle::MenuQuitter);
  menuExporte_->setDefaultAction(actionsExportees_[Controle::MenuWallpaperHasard]);

  // A right click on such an area opens this menu, and the window, when shown, comes forward.
  // The area may lay the menu out before it hears of the opening, and entries that appear
  // while it shows leave it too short: the fresh pictures are chosen as the previous opening
  // closes (and when the catalogue changes), so each opening shows a new choice, already in
  // place. An area that never tells of the closing gets the new choice as it opens.
  connect(menuExporte_, &QMenu::aboutToShow, this, [this] {
    if (isVisible()) ramenerDevant();
    if (!menuExportePret_) remplirMenuExporte();
    menuExportePret_ = false;
  });
  // Some areas tell of the closing before the choice made in the menu: the entries keep what
  // they showed a little while longer.
  connect(menuExporte_, &QMenu::aboutToHide, this,
          [this] { preparerMenuExporte(kAttenteApresFermetureMs); });
}

void MainWindow::remplirMenuExporte() {
  if (form_) form_->Executer([this] { form_->PopupMenuPanicPopup(); });
  menuExportePret_ = true;
}

void MainWindow::preparerMenuExporte(int delaiMs) {
  // Only where an area shows it: the drawn menu, which shares the entries' choice, fills itself
  // as it opens.
  if (!menuExporte_->platformMenu() || remplissagePrevu_) return;
  remplissagePrevu_ = true;
  QTimer::singleShot(delaiMs, this, &MainWindow::remplirMenuExportePrevu);
}

void MainWindow::remplirMenuExportePrevu() {
  // A scan adds pictures folder by folder: choose among all of them, once it is done.
  if (form_ && form_->ScanEnCours) {
    QTimer::singleShot(kAttenteFinDeScanMs, this, &MainWindow::remplirMenuExportePrevu);
    return;
  }
  remplissagePrevu_ = false;
  remplirMenuExporte();
}

void MainWindow::differer(std::function<void()> gestionnaire) {
  QMetaObject::invokeMethod(
      this, [this, gestionnaire = std::move(gestionnaire)] { form_->Executer(gestionnaire); },
      Qt::QueuedConnection);
}

void MainWindow::montrerEntree(QAction* action, bool visible) {
  action->setVisible(visible);
  if (auto* dessinee = qobject_cast<QWidgetAction*>(action); dessinee && dessinee->defaultWidget())
    dessinee->defaultWidget()->setVisible(visible);
}

// The thumbnail of catalogue picture `index` with its mask colour transparent.
QIcon MainWindow::iconeVignette(int index) {
  Canvas cellule(PictureItemPainter::kLargeurVignette, PictureItemPainter::kHauteurElement);
  cellule.FillRect(Rect{0, 0, cellule.Width(), cellule.Height()}, kThumbnailMaskColour);
  if (comboWallpaper_->peintre().vignette) comboWallpaper_->peintre().vignette(index, cellule);
  const QImage image = ImageOpaque(cellule);
  QPixmap dessin = QPixmap::fromImage(image);
  const QColor masque(kThumbnailMaskColour.red, kThumbnailMaskColour.green, kThumbnailMaskColour.blue);
  dessin.setMask(QBitmap::fromImage(image.createMaskFromColor(masque.rgb(), Qt::MaskInColor)));
  return QIcon(dessin);
}

void MainWindow::attacher(TForm1& form) {
  form_ = &form;
  connectEvents();
}

void MainWindow::connectEvents() {
  auto relayer = [this](auto gestionnaire) {
    return [this, gestionnaire](auto&&... arguments) {
      form_->Executer([&] { gestionnaire(*form_, arguments...); });
    };
  };
  connect(btnFermer_, &QPushButton::clicked, this,
          relayer([](TForm1& f, bool) { f.BtnFermerClick(); }));
  connect(static_cast<QPushButton*>(controles_[Controle::BtnParcourir]), &QPushButton::clicked,
          this, relayer([](TForm1& f, bool) { f.BtnParcourirClick(); }));
  connect(checkChgtDemarrage_, &QCheckBox::clicked, this,
          relayer([](TForm1& f, bool coche) { f.ModifierCheckChgtDemarrage(coche); }));
  connect(checkChgtTousLes_, &QCheckBox::clicked, this,
          relayer([](TForm1& f, bool coche) { f.ModifierCheckChgtTousLes(coche); }));
  connect(editFreqDuree_, &QLineEdit::textEdited, this,
          relayer([](TForm1& f, const QString& texte) { f.ModifierEditFreqDuree(texte.toStdString()); }));
  connect(comboFreqTemps_, &QComboBox::activated, this,
          relayer([](TForm1& f, int index) { f.ModifierComboFreqTemps(index); }));
  for (QAction* ouvrir : {actions_[Controle::MenuOuvrir], actionsExportees_[Controle::MenuOuvrir]})
    connect(ouvrir, &QAction::triggered, this,
            [this] { differer([this] { form_->MenuOuvrirClick(); }); });
  for (QAction* quitter : {actions_[Controle::MenuQuitter], actionsExportees_[Controle::MenuQuitter]})
    connect(quitter, &QAction::triggered, this,
            [this] { differer([this] { form_->MenuQuitterClick(); }); });
  connect(actions_[Controle::MenuMonitorCopierChemin], &QAction::triggered, this,
          relayer([](TForm1& f, bool) { f.MenuMonitorCopierCheminClick(); }));
  connect(actions_[Controle::MenuMonitorOpenFile], &QAction::triggered, this,
          relayer([](TForm1& f, bool) { f.MenuMonitorOpenFileClick(); }));
  connect(actions_[Controle::MenuMonitorOpenDirectory], &QAction::triggered, this,
          relayer([](TForm1& f, bool) { f.MenuMonitorOpenDirectoryClick(); }));
  comboWallpaper_->lignesAOuvrir = [this](int haut, int hauteurChamp) {
    return form_->ComboWallpaperDropDown(haut, hauteurChamp);
  };
  comboWallpaper_->peintre().racine = [this] { return form_->RepertoireRacine; };
  comboWallpaper_->peintre().vignette = [this](int index, Canvas& cellule) {
    form_->Executer([&] { form_->DessinerVignette(index, cellule); });
  };
  connect(comboWallpaper_, &QComboBox::activated, this,
          relayer([](TForm1& f, int index) { f.ComboWallpaperChange(index); }));
}

QWidget* MainWindow::controle(Controle c) const {
  const auto it = controles_.find(c);
  return it == controles_.end() ? nullptr : it->second;
}

QAction* MainWindow::action(Controle c) const {
  const auto it = actions_.find(c);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* MainWindow::actionExportee(Controle c) const {
  const auto it = actionsExportees_.find(c);
  return it == actionsExportees_.end() ? nullptr : it->second;
}

void MainWindow::setTitre(const std::string& titre) { setWindowTitle(Texte(titre)); }

void MainWindow::setTexte(Controle c, const std::string& texte) {
  const QString q = Texte(texte);
  if (c == Controle::MenuMonitorChemin) {
    // A path, shown as it is: its "&" are no accelerators.
    action(c)->setText(QFile::decodeName(QByteArray::fromStdString(texte)).replace('&', "&&"));
    return;
  }
  if (QAction* a = action(c)) {
    a->setText(q);
    if (QAction* exportee = actionExportee(c)) exportee->setText(q);
    return;
  }
  if (c == Controle::TabWallpaper || c == Controle::TabAide) {
    tabBrowser_->setTabText(tabBrowser_->indexOf(controle(c)), q);
    return;
  }
  QWidget* w = controle(c);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(q);
    AjusterALaLargeur(label);
  } else if (c == Controle::BtnParcourir) {
    static_cast<QPushButton*>(w)->setText(QFile::decodeName(QByteArray::fromStdString(texte)));
  } else if (auto* bouton = qobject_cast<QAbstractButton*>(w)) {
    bouton->setText(q);
    AjusterALaLargeur(bouton);
  } else if (auto* groupe = qobject_cast<QGroupBox*>(w)) {
    groupe->setTitle(q);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (edit->text() != q) edit->setText(q);
  }
}

void MainWindow::setIndice(Controle c, const std::string& indice) {
  // A carriage return starts a new line of the hint.
  if (QWidget* w = controle(c))
    w->setToolTip(QFile::decodeName(QByteArray::fromStdString(indice)).replace(QChar('\r'), QChar('\n')));
}

void MainWindow::setVisible(Controle c, bool visible) {
  if (QAction* a = action(c)) {
    montrerEntree(a, visible);
    if (QAction* exportee = actionExportee(c)) exportee->setVisible(visible);
  } else if (QWidget* w = controle(c)) {
    w->setVisible(visible);
  }
}

void MainWindow::setCoche(Controle c, bool coche) {
  if (auto* box = qobject_cast<QCheckBox*>(controle(c))) {
    const QSignalBlocker bloque(box);
    box->setChecked(coche);
  }
}

void MainWindow::setIndexSelectionne(Controle c, int index) {
  if (auto* combo = qobject_cast<QComboBox*>(controle(c))) {
    const QSignalBlocker bloque(combo);
    combo->setCurrentIndex(index);
  }
}

void MainWindow::setSouligne(Controle c, bool souligne) {
  if (QWidget* w = controle(c)) {
    QFont police = w->font();
    police.setUnderline(souligne);
    w->setFont(police);
  }
}

void MainWindow::setOngletActif(Controle onglet) {
  tabBrowser_->setCurrentWidget(controle(onglet));
}

void MainWindow::selectionnerTout(Controle c) {
  if (auto* edit = qobject_cast<QLineEdit*>(controle(c))) {
    edit->setFocus();
    edit->selectAll();
  }
}

void MainWindow::afficherPremiereFois() {
  if (!dejaCentree_) {
    dejaCentree_ = true;
    if (QScreen* ecran = QGuiApplication::primaryScreen()) {
      const QRect zone = ecran->availableGeometry();
      move(zone.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
  }
  show();
}

void MainWindow::afficherFenetre() {
  afficherPremiereFois();
  ramenerDevant();
}

void MainWindow::ramenerDevant() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void MainWindow::masquerFenetre() { hide(); }

void MainWindow::nePasAfficherAuDemarrage() { afficherAuDemarrage_ = false; }

bool MainWindow::fenetreVisible() const { return isVisible(); }

void MainWindow::demanderFermeture() { close(); }

void MainWindow::terminerProgramme() { QCoreApplication::quit(); }

void MainWindow::viderListeImages() {
  comboWallpaper_->viderImages();
  preparerMenuExporte();
}

void MainWindow::ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) {
  const QSignalBlocker bloque(comboWallpaper_);
  comboWallpaper_->ajouterImages(catalogue, debut);
  preparerMenuExporte();
}

void MainWindow::setCurseurAttente(bool attente) {
  if (attente) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

int MainWindow::largeurTexte(const std::string& texte) {
  return fontMetrics().horizontalAdvance(QFile::decodeName(QByteArray::fromStdString(texte)));
}

int MainWindow::largeurControle(Controle c) {
  QWidget* w = controle(c);
  return w ? w->width() : 0;
}

std::optional<std::string> MainWindow::choisirDossier(const std::string& titre,
                                                      const std::string& depart) {
  const QString choix = QFileDialog::getExistingDirectory(
      this, Texte(titre), QFile::decodeName(QByteArray::fromStdString(depart)),
      QFileDialog::ShowDirsOnly);
  if (choix.isEmpty()) return std::nullopt;
  return QFile::encodeName(choix).toStdString();
}

void MainWindow::setApercu(const Canvas& apercu) {
  // A copy: the canvas dies with the installation.
  const QPixmap dessin = QPixmap::fromImage(ImageOpaque(apercu));
  for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2})
    static_cast<QLabel*>(controle(c))->setPixmap(dessin);
}

void MainWindow::setProgression(int maximum, int position) {
  auto* barre = static_cast<QProgressBar*>(controle(Controle::ProgressBar1));
  barre->setRange(0, maximum);
  barre->setValue(position);
}

void MainWindow::redessinerListe() {
  comboWallpaper_->update();
  comboWallpaper_->view()->viewport()->update();
}

void MainWindow::setEntreeMenuImage(int k, bool visible, int tag, const std::string& chemin) {
  if (k < 0 || k >= static_cast<int>(entreesImages_.size())) return;
  montrerEntree(entreesImages_[static_cast<std::size_t>(k)], visible);
  QAction* exportee = entreesExportees_[static_cast<std::size_t>(k)];
  exportee->setVisible(visible);
  if (!visible) return;
  // The caption of the drawn entry on one line: the name, then the bracketed sub-folder.
  QString legende = QString::fromLocal8Bit(NomAffiche(chemin));
  const std::string sousDossier = SousDossier(chemin, form_ ? form_->RepertoireRacine : std::string());
  if (!sousDossier.empty()) legende += QStringLiteral("  [") + QString::fromLocal8Bit(sousDossier) + "]";
  exportee->setText(legende);
  exportee->setIcon(iconeVignette(tag));
}

void MainWindow::ouvrirMenuPanic() {
  if (isVisible()) ramenerDevant();
  popupMenuPanic_->popup(QCursor::pos());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!form_) return QDialog::closeEvent(event);
  bool accepte = false;
  form_->Executer([&] { accepte = form_->FormCloseQuery(); });
  if (!accepte) {
    event->ignore();
    return;
  }
  event->accept();
  form_->Executer([this] { form_->FormClose(); });
}

// Escape presses the close button.
void MainWindow::reject() {
  if (form_) form_->Executer([this] { form_->BtnFermerClick(); });
}

bool MainWindow::eventFilter(QObject* objet, QEvent* evenement) {
  if (form_ && objet == editFreqDuree_ && evenement->type() == QEvent::KeyPress) {
    const auto* touche = static_cast<QKeyEvent*>(evenement);
    const QString texte = touche->text();
    // Typed characters go through the filter; editing keys (Delete arrives as the character
    // 0x7f), arrows and shortcuts (the clipboard's among them) do their work.
    const bool raccourci = touche->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!raccourci && texte.size() == 1 && (texte[0] == QChar('\b') || texte[0].isPrint())) {
      const char16_t code = texte[0].unicode();
      char caractere = code < 0x80 ? static_cast<char>(code) : '?';
      form_->Executer([&] { form_->EditFreqDureeKeyPress(caractere); });
      if (caractere == '\0') return true;
    }
  } else if (form_ && evenement->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(evenement)->button() == Qt::LeftButton) {
    // A click on a preview opens its picture; the arrows step through the history.
    if (objet == controle(Controle::ImgMonitor1) || objet == controle(Controle::ImgMonitor2)) {
      form_->Executer([this] { form_->MenuMonitorOpenFileClick(); });
    } else if (objet == controle(Controle::ImgPrecedent1) || objet == controle(Controle::ImgPrecedent2)) {
      form_->Executer([this] { form_->MenuMonitorPrecedentClick(); });
    } else if (objet == controle(Controle::ImgSuivant1) || objet == controle(Controle::ImgSuivant2)) {
      form_->Executer([this] { form_->MenuMonitorSuivantClick(); });
    }
  }
  if (form_ && objet == labelAboutSite_) {
    switch (evenement->type()) {
      case QEvent::Enter:
        form_->Executer([this] { form_->LabelLienMouseMove(Controle::LabelAboutSite); });
        break;
      case QEvent::Leave:
        form_->Executer([this] { form_->LabelLienMouseLeave(Controle::LabelAboutSite); });
        break;
      case QEvent::MouseButtonRelease:
        form_->Executer([this] { form_->LabelAboutSiteClick(); });
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(objet, evenement);
}
