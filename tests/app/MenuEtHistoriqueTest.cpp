#include <gtest/gtest.h>

#include <set>

#include "app/TForm1.h"
#include "support/EntourageFenetre.h"
#include "support/Paths.h"

namespace {

class MenuEtHistorique : public ::testing::Test, public testsupport::EntourageFenetre {
 protected:
  MenuEtHistorique() {
    registre.createKey(platform::kCleDemarrage);
    form.FormCreate();
    journal.clear();
  }

  void catalogue(int n) {
    form.Catalogue.clear();
    for (int i = 0; i < n; ++i) form.Catalogue.push_back("/p/picture" + std::to_string(i) + ".jpg");
  }

  std::vector<int> tagsVisibles() const {
    std::vector<int> tags;
    for (const auto& e : form.MenuWallpaper)
      if (e.visible) tags.push_back(e.tag);
    return tags;
  }

  std::unique_ptr<TForm1> proprietaire_ = creerForm();
  TForm1& form = *proprietaire_;
};

struct CasMenu {
  int images;
  int largeurEcran;
  std::size_t entrees;
};

class EntreesDuMenu : public MenuEtHistorique, public ::testing::WithParamInterface<CasMenu> {};

TEST_P(EntreesDuMenu, DistinctPicturesUpToTheScreensLimit) {
  catalogue(GetParam().images);
  ecran.ecran.width = GetParam().largeurEcran;
  form.PopupMenuPanicPopup();
  const std::vector<int> tags = tagsVisibles();
  EXPECT_EQ(tags.size(), GetParam().entrees);
  EXPECT_EQ(std::set<int>(tags.begin(), tags.end()).size(), tags.size());
  for (std::size_t k = 0; k < form.MenuWallpaper.size(); ++k) {
    const auto& e = form.MenuWallpaper[k];
    EXPECT_EQ(e.visible, k < GetParam().entrees) << k;
    if (e.visible) {
      EXPECT_EQ(e.legende, form.Catalogue[static_cast<std::size_t>(e.tag)]);
    }
  }
  EXPECT_TRUE(form.MenuWallpaperCommVisible);
  EXPECT_EQ(form.MenuWallpaperHasardLegende, "Change wallpaper now");
}

INSTANTIATE_TEST_SUITE_P(Screens, EntreesDuMenu,
                         ::testing::Values(CasMenu{3, 1024, 3}, CasMenu{100, 1024, 8},
                                           CasMenu{100, 800, 8}, CasMenu{100, 640, 5},
                                           CasMenu{3, 640, 3}, CasMenu{8, 1024, 8}));

TEST_F(MenuEtHistorique, EveryOpeningDrawsAnewAndThreePicturesAllShow) {
  catalogue(3);
  form.PopupMenuPanicPopup();
  auto tags = tagsVisibles();
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags, (std::vector<int>{0, 1, 2}));

  catalogue(100);
  std::set<std::vector<int>> tirages;
  for (int i = 0; i < 5; ++i) {
    form.PopupMenuPanicPopup();
    tirages.insert(tagsVisibles());
  }
  EXPECT_GT(tirages.size(), 1u);
}

TEST_F(MenuEtHistorique, AnEmptyCatalogueShowsNoHeadingAndTheNoPicturesText) {
  catalogue(0);
  form.PopupMenuPanicPopup();
  EXPECT_TRUE(tagsVisibles().empty());
  EXPECT_FALSE(form.MenuWallpaperCommVisible);
  EXPECT_FALSE(vue.visibles[Controle::MenuWallpaperComm]);
  EXPECT_EQ(vue.textes[Controle::MenuWallpaperHasard], "Folder does not contain pictures.");
}

TEST_F(MenuEtHistorique, MenuEntriesInstallTheirPictureOrARandomOne) {
  catalogue(10);
  form.PopupMenuPanicPopup();
  const int tag = form.MenuWallpaper[2].tag;
  form.MenuWallpaperXClick(2);
  form.MenuWallpaperHasardClick();
  EXPECT_EQ(journal, (std::vector<std::string>{"InstallerWallpaper(" + std::to_string(tag) + ",true)",
                                               "InstallerWallpaper(-8,true)"}));
}

TEST_F(MenuEtHistorique, CommandsOfASecondStartActAsTheirTrayEntries) {
  catalogue(5);
  form.Historique = {"-9", "4", "2"};
  vue.visible = false;
  EXPECT_TRUE(form.CommandeExterne("show"));
  EXPECT_TRUE(vue.visible);
  EXPECT_TRUE(form.CommandeExterne("next"));
  EXPECT_TRUE(form.CommandeExterne("previous"));
  EXPECT_FALSE(form.CommandeExterne("format-disk"));
  EXPECT_EQ(journal, (std::vector<std::string>{"CreerVignettes", "InstallerWallpaper(-8,true)",
                                               "InstallerWallpaper(4,false)"}));
  EXPECT_TRUE(form.CommandeExterne("quit"));
  EXPECT_TRUE(form.QuitterDemande);
}

// A second start hears once how its command went, after it is done and before any error is
// shown, or why it was not done.
TEST_F(MenuEtHistorique, EachCommandAnswersOnceWhenDoneOrSaysWhyNot) {
  struct Cas {
    std::string commande;
    int images;
    bool installe;
    std::string echec;    // thrown by the installer
    std::string reponse;  // found in the answer; empty: done
  };
  const std::string disque = "Echec à la définition des données pour 'Wallpaper'";
  minuteries.advance(std::chrono::milliseconds(1));  // the start-up scan
  const Cas cas[] = {
      {"show", 5, true, "", ""},
      {"next", 5, true, "", ""},
      {"next", 1, false, "", "fewer than two pictures"},
      {"next", 5, false, "", "could not be read"},
      {"next", 5, true, disque, disque},
      {"previous", 5, true, "", "no earlier wallpaper"},
      {"format-disk", 5, true, "", "unknown command"},
      {"quit", 5, true, "", ""},
  };
  for (const Cas& c : cas) {
    moteur.nombreImages = c.images;
    moteur.installe = c.installe;
    moteur.echecInstallation = c.echec;
    form.Historique = {"-9", "4"};
    vue.visible = false;
    erreurs.messages.clear();
    std::vector<std::string> reponses;
    form.Executer([&] {
      form.CommandeExterne(c.commande, [&](const std::string& reponse) {
        reponses.push_back(reponse);
        EXPECT_TRUE(erreurs.messages.empty()) << c.commande;
        if (c.commande == "show") {
          EXPECT_TRUE(vue.visible);
        }
      });
    });
    ASSERT_EQ(reponses.size(), 1u) << c.commande;
    if (c.reponse.empty()) {
      EXPECT_EQ(reponses[0], "") << c.commande;
    } else {
      EXPECT_NE(reponses[0].find(c.reponse), std::string::npos) << c.commande << ": " << reponses[0];
    }
    EXPECT_EQ(erreurs.messages.size(), c.echec.empty() ? 0u : 1u) << c.commande;
  }
}

TEST_F(MenuEtHistorique, RightClickOpensTheQuickMenu) {
  form.MessageIconeTray(0x205);
  EXPECT_EQ(vue.journal.back(), "menuPanic");
}

TEST_F(MenuEtHistorique, StepsBackNeverReachTheOldestEntryAndForwardReturnsToTheNewest) {
  form.Historique = {"-9", "4", "7", "1", "3"};
  form.PositionHistorique = 0;
  for (int i = 0; i < 4; ++i) form.MenuMonitorPrecedentClick();
  EXPECT_EQ(form.PositionHistorique, 3);
  EXPECT_EQ(journal, (std::vector<std::string>{"InstallerWallpaper(1,false)",
                                               "InstallerWallpaper(7,false)",
                                               "InstallerWallpaper(4,false)"}));
  journal.clear();
  form.PositionHistorique = 2;
  form.MenuMonitorSuivantClick();
  form.MenuMonitorSuivantClick();
  form.MenuMonitorSuivantClick();
  EXPECT_EQ(form.PositionHistorique, 0);
  EXPECT_EQ(journal, (std::vector<std::string>{"InstallerWallpaper(1,false)",
                                               "InstallerWallpaper(3,false)"}));
}

TEST_F(MenuEtHistorique, AHistoryOfTwoEntriesCannotStepBack) {
  form.Historique = {"-9", "4"};
  form.MenuMonitorPrecedentClick();
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(form.PositionHistorique, 0);
}

TEST_F(MenuEtHistorique, PathActionsUseTheExactPathAndDoNothingWithoutOne) {
  form.MenuMonitorCopierCheminClick();
  form.MenuMonitorOpenFileClick();
  form.MenuMonitorOpenDirectoryClick();
  EXPECT_TRUE(shell.ouverts.empty());
  EXPECT_EQ(shell.pressePapiers, "");

  const std::string chemin = testsupport::Natif("/p/Tom & Jerry #1 100%.jpg");
  form.LabelCheminCompletDuFichier = chemin;
  form.MenuMonitorCopierCheminClick();
  form.MenuMonitorOpenFileClick();
  form.MenuMonitorOpenDirectoryClick();
  EXPECT_EQ(shell.pressePapiers, chemin);
  EXPECT_EQ(shell.ouverts, (std::vector<std::string>{chemin, testsupport::Natif("/p/")}));
}

}  // namespace
