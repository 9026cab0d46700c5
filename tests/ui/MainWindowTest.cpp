#include "ui/qt/MainWindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTabWidget>
#include <QTest>

#include "app/TForm1.h"
#include "ui/ProgrammeFenetre.h"
#include "ui/TestApplication.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"
#include "ui/qt/PictureList.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/QtTextRenderer.h"

namespace {

struct Place {
  Controle controle;
  int gauche, haut, largeur, hauteur;
};

class ControlPlaces : public ::testing::TestWithParam<Place> {};

TEST_P(ControlPlaces, EveryControlHasItsSizeAndPlace) {
  Programme p(0x0409);
  const Place& place = GetParam();
  QWidget* w = p.fenetre.controle(place.controle);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->geometry(), QRect(place.gauche, place.haut, place.largeur, place.hauteur));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlPlaces,
    ::testing::Values(
        Place{Controle::TabBrowser, 8, 8, 361, 425},
        Place{Controle::ImgMonitorDeco1, 96, 8, 160, 128}, Place{Controle::ImgMonitor1, 101, 13, 150, 92},
        Place{Controle::ImgPrecedent1, 40, 44, 28, 28}, Place{Controle::ImgSuivant1, 285, 44, 28, 28},
        Place{Controle::LabelCheminCompletDuFichier, 0, 116, 144, 13},
        Place{Controle::GroupImages, 8, 144, 337, 137},
        Place{Controle::LabelBtnParcourir, 24, 32, 105, 25}, Place{Controle::BtnParcourir, 128, 32, 185, 25},
        Place{Controle::LabelComboWallpaper, 24, 64, 105, 25},
        Place{Controle::ComboWallpaper, 128, 67, 185, 51},
        Place{Controle::LabelPasDImages, 136, 64, 193, 25}, Place{Controle::ProgressBar1, 24, 88, 97, 17},
        Place{Controle::GroupMiseAJour, 8, 288, 337, 97},
        Place{Controle::CheckChgtDemarrage, 24, 32, 289, 17},
        Place{Controle::CheckChgtTousLes, 24, 56, 185, 17},
        Place{Controle::EditFreqDuree, 208, 54, 25, 21}, Place{Controle::ComboFreqTemps, 240, 54, 73, 21},
        Place{Controle::ImgMonitorDeco2, 96, 8, 160, 128}, Place{Controle::ImgMonitor2, 101, 13, 150, 92},
        Place{Controle::ImgPrecedent2, 40, 44, 28, 28}, Place{Controle::ImgSuivant2, 285, 44, 28, 28},
        Place{Controle::LabelAboutProg, 56, 140, 241, 13}, Place{Controle::LabelAboutAuteur, 56, 172, 241, 13},
        Place{Controle::LabelAboutSite, 56, 188, 241, 13}, Place{Controle::GroupAide, 8, 224, 337, 161},
        Place{Controle::LabelAide1, 24, 32, 297, 33}, Place{Controle::LabelAide2, 24, 66, 297, 33},
        Place{Controle::LabelAide3, 24, 100, 297, 57}, Place{Controle::BtnFermer, 296, 440, 73, 25}));

TEST(MainWindow, IsAFixedDialogTitledVerreluneOnItsFirstTab) {
  Programme p(0x0409);
  EXPECT_EQ(p.fenetre.windowTitle(), "Verrelune");
  EXPECT_EQ(p.fenetre.size(), QSize(377, 472));
  EXPECT_EQ(p.fenetre.minimumSize(), p.fenetre.maximumSize());
  EXPECT_FALSE(p.fenetre.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(p.fenetre.windowFlags() & Qt::WindowMaximizeButtonHint);
  auto* onglets = p.controle<QTabWidget>(Controle::TabBrowser);
  ASSERT_EQ(onglets->count(), 2);
  EXPECT_EQ(onglets->currentWidget(), p.fenetre.controle(Controle::TabWallpaper));
  EXPECT_TRUE(p.fenetre.isVisible());
  // Arrows, the path label and the progress bar start hidden.
  for (Controle c : {Controle::ImgPrecedent1, Controle::ImgSuivant1, Controle::ImgPrecedent2,
                     Controle::ImgSuivant2, Controle::LabelCheminCompletDuFichier,
                     Controle::ProgressBar1})
    EXPECT_FALSE(p.fenetre.controle(c)->isVisible());
}

TEST(MainWindow, ShowsTheEnglishTextsAndUnitsOnAnEnglishSystem) {
  Programme p(0x0409);
  auto* onglets = p.controle<QTabWidget>(Controle::TabBrowser);
  EXPECT_EQ(onglets->tabText(0), "Settings");
  EXPECT_EQ(onglets->tabText(1), "Help");
  EXPECT_EQ(p.controle<QGroupBox>(Controle::GroupImages)->title(), "Wallpapers");
  EXPECT_EQ(p.controle<QAbstractButton>(Controle::CheckChgtTousLes)->text(), "Change wallpaper every");
  EXPECT_EQ(p.controle<QAbstractButton>(Controle::BtnFermer)->text(), "Close");
  EXPECT_EQ(p.controle<QLabel>(Controle::LabelAboutProg)->text(), "Verrelune");
  auto* unites = p.controle<QComboBox>(Controle::ComboFreqTemps);
  ASSERT_EQ(unites->count(), 4);
  EXPECT_EQ(unites->itemText(0), "secondes");
  EXPECT_EQ(unites->itemText(2), "heures");
  EXPECT_EQ(unites->currentIndex(), 1);
  EXPECT_EQ(p.controle<QLineEdit>(Controle::EditFreqDuree)->text(), "30");
  EXPECT_TRUE(p.controle<QCheckBox>(Controle::CheckChgtDemarrage)->isChecked());
  EXPECT_EQ(p.fenetre.controle(Controle::ProgressBar1)->toolTip(),
            "Creation of the miniatures in progress... ");
  EXPECT_EQ(p.fenetre.action(Controle::MenuOuvrir)->text(), "Open");
  EXPECT_EQ(p.fenetre.action(Controle::MenuQuitter)->text(), "Quit");
  EXPECT_EQ(p.fenetre.action(Controle::MenuWallpaperPrecedent)->text(), "Previous wallpaper");
}

TEST(MainWindow, ShowsTheFrenchTextsOnAFrenchCanadianSystem) {
  Programme p(0x0C0C);
  EXPECT_EQ(p.controle<QTabWidget>(Controle::TabBrowser)->tabText(0), "Configuration");
  EXPECT_EQ(p.controle<QAbstractButton>(Controle::CheckChgtTousLes)->text(),
            "Changer le fond d'écran toutes les");
  EXPECT_EQ(p.controle<QLabel>(Controle::LabelAide3)->text().left(9), "Une icone");
  EXPECT_EQ(p.fenetre.action(Controle::MenuQuitter)->text(), "Quitter");
}

// In both languages every caption shows whole within its control.
TEST(MainWindow, EveryTextFitsItsControl) {
  for (std::uint16_t langue : {0x040C, 0x0409}) {
    Programme p(langue);
    for (Controle c : {Controle::CheckChgtDemarrage, Controle::CheckChgtTousLes}) {
      auto* box = p.controle<QCheckBox>(c);
      EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
    }
    for (Controle c : {Controle::LabelBtnParcourir, Controle::LabelComboWallpaper,
                       Controle::LabelPasDImages, Controle::LabelAide1, Controle::LabelAide2,
                       Controle::LabelAide3}) {
      auto* label = p.controle<QLabel>(c);
      EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
    }
    for (Controle c : {Controle::LabelAboutProg, Controle::LabelAboutAuteur, Controle::LabelAboutSite}) {
      auto* label = p.controle<QLabel>(c);
      EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    }
    auto* fermer = p.controle<QAbstractButton>(Controle::BtnFermer);
    EXPECT_LE(fermer->fontMetrics().horizontalAdvance(fermer->text()), fermer->width());
  }
}

TEST(MainWindow, BackgroundStartNeverShowsTheWindowOpenShowsItAndCloseHidesIt) {
  Programme p(0x0409, "/background");
  QApplication::processEvents();
  EXPECT_FALSE(p.fenetre.isVisible());
  p.fenetre.action(Controle::MenuOuvrir)->trigger();  // Open, handled once the menu is done
  QApplication::processEvents();
  EXPECT_TRUE(p.fenetre.isVisible());
  EXPECT_TRUE(p.fenetre.close() == false);  // the close box only hides
  EXPECT_FALSE(p.fenetre.isVisible());
  p.fenetre.afficherFenetre();
  QTest::mouseClick(p.controle<QAbstractButton>(Controle::BtnFermer), Qt::LeftButton);
  EXPECT_FALSE(p.fenetre.isVisible());
}

TEST(MainWindow, EscapePressesClose) {
  Programme p(0x0409);
  QTest::keyClick(&p.fenetre, Qt::Key_Escape);
  EXPECT_FALSE(p.fenetre.isVisible());
}

TEST(MainWindow, QuitEndsTheMessageLoop) {
  Programme p(0x0409);
  bool quitte = false;
  QObject::connect(&Application(), &QCoreApplication::aboutToQuit, [&] { quitte = true; });
  QTimer::singleShot(0, [&] { p.fenetre.action(Controle::MenuQuitter)->trigger(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(3); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(quitte);
  EXPECT_TRUE(p.form->QuitterDemande);
}

TEST(MainWindow, TypedLettersNeverReachTheDurationField) {
  Programme p(0x0409);
  auto* duree = p.controle<QLineEdit>(Controle::EditFreqDuree);
  duree->setFocus();
  duree->selectAll();
  QTest::keyClicks(duree, "4x5");
  EXPECT_EQ(duree->text(), "45");
  EXPECT_EQ(p.shell.bips, 1);
  EXPECT_EQ(p.registre.value("SOFTWARE\\Verrelune", "EditFreqDuree"),
            platform::RegistryValue::ofDword(45));
  QTest::keyClick(duree, Qt::Key_Backspace);
  QTest::keyClick(duree, Qt::Key_Backspace);
  EXPECT_EQ(duree->text(), "0");
  EXPECT_EQ(duree->selectedText(), "0");
}

TEST(MainWindow, TheUserChangingTheScheduleControlsStoresThem) {
  Programme p(0x0409);
  QTest::mouseClick(p.controle<QCheckBox>(Controle::CheckChgtTousLes), Qt::LeftButton);
  EXPECT_EQ(p.registre.value("SOFTWARE\\Verrelune", "CheckChgtTousLes"),
            platform::RegistryValue::ofDword(0));
  EXPECT_FALSE(p.form->TimerChangerWallpaper().enabled());
  auto* unites = p.controle<QComboBox>(Controle::ComboFreqTemps);
  unites->setFocus();
  QTest::keyClick(unites, Qt::Key_Down);
  EXPECT_EQ(p.registre.value("SOFTWARE\\Verrelune", "ComboFreqTemps"),
            platform::RegistryValue::ofDword(2));
}

TEST(MainWindow, LinkLabelUnderlinesOnHoverAndOpensOnClick) {
  Programme p(0x0409);
  p.controle<QTabWidget>(Controle::TabBrowser)->setCurrentIndex(1);
  auto* lien = p.controle<QLabel>(Controle::LabelAboutSite);
  QEvent entree(QEvent::Enter);
  QApplication::sendEvent(lien, &entree);
  EXPECT_TRUE(lien->font().underline());
  QEvent sortie(QEvent::Leave);
  QApplication::sendEvent(lien, &sortie);
  EXPECT_FALSE(lien->font().underline());
  QTest::mouseClick(lien, Qt::LeftButton);
  EXPECT_EQ(p.shell.ouverts, std::vector<std::string>{kAdresseSite});
}

TEST(QtTimer, IntervalZeroNeverFiresAndEnablingRestartsTheCountdown) {
  Application();
  QtTimer timer;
  int coups = 0;
  timer.setOnTimer([&] { ++coups; });
  timer.setInterval(0);
  timer.setEnabled(true);
  QTest::qWait(50);
  EXPECT_EQ(coups, 0);
  timer.setInterval(10);
  QTest::qWait(200);
  EXPECT_GE(coups, 2);
  timer.setEnabled(false);
  const int arrete = coups;
  QTest::qWait(50);
  EXPECT_EQ(coups, arrete);
  // Intervals past what one QTimer run takes are accepted and counted in several runs.
  timer.setInterval(4294967295u);
  timer.setEnabled(true);
  EXPECT_EQ(timer.interval(), 4294967295u);
  QTest::qWait(20);
  EXPECT_EQ(coups, arrete);
}

}  // namespace

namespace {

TEST(UrlDeFichier, KeepsEveryByteOfThePath) {
  for (const std::string& chemin : {std::string("/p/Tom & Jerry #1 100%.jpg"), std::string("/p/caf\xe9 ?.png"),
                                   std::string("/p/été/a b.bmp")}) {
    const QUrl url = UrlDeFichier(chemin);
    EXPECT_TRUE(url.isValid()) << chemin;
    EXPECT_TRUE(url.isLocalFile()) << chemin;
    EXPECT_EQ(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString(),
              chemin);
  }
}

// The list reads the program's catalogue: a library of long paths holds each path once.
TEST(MainWindow, ThePictureListKeepsNoCopyOfThePaths) {
  Programme p(0x0409);
  std::vector<std::string> catalogue{"/p/a.jpg", "/p/b.jpg"};
  p.fenetre.viderListeImages();
  p.fenetre.ajouterImages(catalogue, 0);
  catalogue.push_back("/p/c.jpg");
  p.fenetre.ajouterImages(catalogue, 2);
  catalogue[1] = "/p/renamed.jpg";
  auto* liste = static_cast<QComboBox*>(p.fenetre.controle(Controle::ComboWallpaper));
  ASSERT_EQ(liste->count(), 3);
  EXPECT_EQ(liste->itemText(1), "/p/renamed.jpg");
  EXPECT_EQ(liste->itemData(2, Qt::UserRole).toByteArray(), "/p/c.jpg");
  p.fenetre.viderListeImages();
  EXPECT_EQ(liste->count(), 0);
}

TEST(MainWindow, ThePathEntryOfThePreviewMenuShowsAmpersands) {
  Programme p(0x0409);
  p.fenetre.setTexte(Controle::MenuMonitorChemin, "/p/Tom & Jerry.jpg");
  EXPECT_EQ(p.fenetre.action(Controle::MenuMonitorChemin)->text(), "/p/Tom && Jerry.jpg");
}

}  // namespace

namespace {

// The preview must keep its own pixels: the canvas it came from is gone, or reused, by the
// time the window paints.
TEST(MainWindow, ThePreviewOwnsItsPixels) {
  Programme p(0x0409);
  Canvas apercu(150, 92);
  apercu.FillRect({0, 0, 150, 92}, Color{200, 10, 10});
  p.fenetre.setApercu(apercu);
  apercu.FillRect({0, 0, 150, 92}, Color{10, 10, 200});
  for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2}) {
    const QImage montre = p.controle<QLabel>(c)->pixmap().toImage();
    ASSERT_EQ(montre.size(), QSize(150, 92));
    EXPECT_EQ(montre.pixelColor(75, 46), QColor(200, 10, 10));
  }
}

// A Wayland window's buffer takes the fourth byte of every pixel as its alpha: what the window
// draws from our rasters, whose fourth byte is 0, must come out opaque.
TEST(MainWindow, ThePreviewAndThePictureListDrawOpaquePixels) {
  Programme p(0x0409);
  Canvas apercu(150, 92);
  apercu.FillRect({0, 0, 150, 92}, Color{200, 10, 10});
  p.fenetre.setApercu(apercu);
  QImage fenetre(150, 92, QImage::Format_ARGB32_Premultiplied);
  fenetre.fill(Qt::transparent);
  p.fenetre.controle(Controle::ImgMonitor1)->render(&fenetre);

  PictureItemPainter peintre;
  peintre.vignette = [](int, Canvas& cellule) { cellule.FillRect({0, 0, 60, 45}, Color{10, 200, 10}); };
  QImage liste(PictureItemDelegate::kLargeurElement, PictureItemPainter::kHauteurElement,
               QImage::Format_ARGB32_Premultiplied);
  liste.fill(Qt::transparent);
  {
    QPainter painter(&liste);
    peintre.paint(painter, liste.rect(), 0, "/p/a.jpg", Qt::white, Qt::black, p.fenetre.font());
  }
  for (const auto& [image, couleur] : {std::pair{fenetre, qRgb(200, 10, 10)}, std::pair{liste, qRgb(10, 200, 10)}})
    for (int y = 0; y < 45; ++y)
      for (int x = 0; x < 60; ++x) ASSERT_EQ(image.pixel(x, y), couleur) << x << "," << y;
}

// Text is drawn on our raster in place: every pixel keeps its fourth byte at 0.
TEST(QtTextRenderer, LeavesTheFourthByteOfEveryPixelAt0) {
  Application();
  QtTextRenderer texte(QApplication::font());
  Canvas toile(60, 45);
  toile.FillRect({0, 0, 60, 45}, Color{200, 100, 50});
  texte.DrawText(toile, "Error", Rect{0, 0, 60, 45}, TextCenter | TextVCenter | TextSingleLine, TextStyle{});
  int dessines = 0;
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 60; ++x) {
      ASSERT_EQ(toile.ScanLine(y)[4 * x + 3], 0) << x << "," << y;
      dessines += toile.Pixel(x, y) != Color{200, 100, 50};
    }
  EXPECT_GT(dessines, 0);
}

}  // namespace
