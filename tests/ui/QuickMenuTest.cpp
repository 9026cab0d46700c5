// The quick menu as the tray shows it, drawn or exported, and the window it brings back.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

#include "app/TForm1.h"
#include "ui/ProgrammeFenetre.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"
#include "ui/TestApplication.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/PictureList.h"
#include "ui/qt/QtPlatform.h"

namespace {

// An English window whose deferred start-up has run, with a catalogue of a few pictures.
struct ProgrammeMenu : Programme {
  ProgrammeMenu() : Programme(0x0409) {
    form->TimerInitialisationTimer();
    journal.clear();
  }
  void catalogue(int nombre) {
    form->Catalogue.clear();
    for (int i = 0; i < nombre; ++i) form->Catalogue.push_back("/p/Sub/picture " + std::to_string(i) + ".jpg");
    form->RepertoireRacine = "/p/";
  }
};

// The widget that draws an entry, as the opened menu holds it.
QWidget* Dessin(QAction* entree) { return static_cast<QWidgetAction*>(entree)->defaultWidget(); }

// After a folder with fewer pictures, the rows of an earlier opening must not stay painted over
// the entries below them.
TEST(QuickMenu, HiddenPictureRowsDisappearFromTheOpenedMenu) {
  ProgrammeMenu p;
  QMenu* menu = p.fenetre.menuPanic();
  for (int nombre : {8, 2, 0, 3}) {
    p.catalogue(nombre);
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    for (int k = 0; k < 10; ++k)
      EXPECT_EQ(Dessin(p.fenetre.entreeImage(k))->isVisible(), k < std::min(nombre, 8)) << nombre << " " << k;
    EXPECT_EQ(Dessin(p.fenetre.action(Controle::MenuWallpaperComm))->isVisible(), nombre > 0);
    // Open and Quit lie below every row that shows.
    const QRect ouvrir = menu->actionGeometry(p.fenetre.action(Controle::MenuOuvrir));
    for (int k = 0; k < 10; ++k) {
      if (Dessin(p.fenetre.entreeImage(k))->isVisible()) {
        EXPECT_LT(Dessin(p.fenetre.entreeImage(k))->geometry().bottom(), ouvrir.top());
      }
    }
    menu->hide();
  }
}

// Areas that host icons over D-Bus show the menu themselves, with plain entries: the same
// entries in the same order, thumbnails as icons, and a choice does what the drawn entry does.
TEST(QuickMenu, TheExportedMenuHasTheDrawnMenusEntries) {
  ProgrammeMenu p;
  p.catalogue(3);
  QMenu* exporte = p.fenetre.menuExporte();
  emit exporte->aboutToShow();
  QStringList textes;
  for (QAction* a : exporte->actions())
    if (a->isVisible()) textes << (a->isSeparator() ? QStringLiteral("-") : a->text());
  const QStringList attendus = {"Some pictures randomly :", "", "", "", "-", "Change wallpaper now",
                                "Open wallpaper", "-", "Previous wallpaper", "-", "Open", "-", "Quit"};
  ASSERT_EQ(textes.size(), attendus.size()) << textes.join('|').toStdString();
  for (int i = 0; i < textes.size(); ++i) {
    if (!attendus[i].isEmpty()) {
      EXPECT_EQ(textes[i], attendus[i]);
    }
  }
  for (int k = 0; k < 3; ++k) {
    QAction* entree = p.fenetre.entreeExportee(k);
    EXPECT_TRUE(entree->text().endsWith(QStringLiteral("  [Sub]"))) << entree->text().toStdString();
    EXPECT_FALSE(entree->icon().isNull());
  }
  EXPECT_FALSE(p.fenetre.entreeExportee(3)->isVisible());

  p.journal.clear();
  p.fenetre.entreeExportee(1)->trigger();
  p.fenetre.actionExportee(Controle::MenuWallpaperHasard)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(p.journal, (std::vector<std::string>{"InstallerWallpaper(" +
                                                     std::to_string(p.form->MenuWallpaper[1].tag) + ",true)",
                                                 "InstallerWallpaper(-8,true)"}));
}

// Open, --show and a right click bring a minimised window back, normal and in front.
TEST(QuickMenu, AMinimisedWindowComesBackNormal) {
  ProgrammeMenu p;
  for (const auto& demande : std::vector<std::function<void(ProgrammeMenu&)>>{
           [](ProgrammeMenu& q) { q.form->MenuOuvrirClick(); },
           [](ProgrammeMenu& q) { q.form->CommandeExterne("show"); },
           [](ProgrammeMenu& q) {
             q.form->MessageIconeTray(0x205);
             q.fenetre.menuPanic()->hide();
           }}) {
    p.fenetre.showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(p.fenetre.isMinimized());
    demande(p);
    QApplication::processEvents();
    EXPECT_FALSE(p.fenetre.isMinimized());
    EXPECT_TRUE(p.fenetre.isVisible());
  }
}

// Delete arrives from X11 as the character 0x7f, the clipboard shortcuts as other control
// characters: editing keys work, only characters that are not digits are refused.
TEST(QuickMenu, EditingKeysWorkInTheDurationField) {
  ProgrammeMenu p;
  auto* duree = qobject_cast<QLineEdit*>(p.fenetre.controle(Controle::EditFreqDuree));
  duree->setFocus();
  duree->setText("305");
  duree->setCursorPosition(1);
  QKeyEvent supprimer(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
  QApplication::sendEvent(duree, &supprimer);
  EXPECT_EQ(duree->text(), "35");
  QTest::keyClick(duree, Qt::Key_Home);
  QTest::keyClick(duree, Qt::Key_Right);
  QTest::keyClicks(duree, "9");
  EXPECT_EQ(duree->text(), "395");
  QTest::keyClick(duree, Qt::Key_End);
  QTest::keyClick(duree, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(duree->selectedText(), "395");
  EXPECT_EQ(p.shell.bips, 0);
  QTest::keyClicks(duree, "-");
  EXPECT_EQ(p.shell.bips, 1);
}

// Areas that show the exported menu draw its icons with their alpha: around a portrait
// picture the mask colour is transparent, the picture opaque.
TEST(QuickMenu, ExportedIconsAreTransparentWhereTheMaskColourIs) {
  ProgrammeMenu p;
  p.catalogue(3);
  auto* liste = static_cast<PictureComboBox*>(p.fenetre.controle(Controle::ComboWallpaper));
  liste->peintre().vignette = [](int, Canvas& cellule) { cellule.FillRect({20, 0, 40, 45}, Color{10, 200, 10}); };
  emit p.fenetre.menuExporte()->aboutToShow();
  const QImage icone = p.fenetre.entreeExportee(0)->icon().pixmap(QSize(60, 45)).toImage();
  ASSERT_EQ(icone.size(), QSize(60, 45));
  for (int x : {0, 19, 40, 59}) EXPECT_EQ(qAlpha(icone.pixel(x, 22)), 0) << x;
  EXPECT_EQ(icone.pixel(30, 22), qRgb(10, 200, 10));
}

}  // namespace
