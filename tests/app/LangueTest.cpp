#include "app/Langue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/TForm1.h"
#include "support/EntourageFenetre.h"

namespace {

class FrenchIdentifiers : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(FrenchIdentifiers, SelectFrench) {
  EXPECT_EQ(LangueDepuisIdentifiant(GetParam()), LangueInterface::Francais);
}

INSTANTIATE_TEST_SUITE_P(AllNine, FrenchIdentifiers,
                         ::testing::Values(0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C, 0x1401,
                                           0x1801, 0x1C01));

class OtherIdentifiers : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(OtherIdentifiers, SelectEnglish) {
  EXPECT_EQ(LangueDepuisIdentifiant(GetParam()), LangueInterface::Anglais);
}

// English (US, UK), German, French of other regions Windows does not list here (0x200C
// Reunion, 0x3C0C Caribbean), Arabic (Saudi Arabia, Egypt), and no language at all.
INSTANTIATE_TEST_SUITE_P(Some, OtherIdentifiers,
                         ::testing::Values(0x0409, 0x0809, 0x0407, 0x200C, 0x3C0C, 0x0401, 0x0C01,
                                           0x000C, 0x0000));

// Every text of the table, field by field, differs between the two languages and is never empty.
TEST(TextesLangue, BothTablesAreCompleteAndDistinct) {
  const TextesLangue& fr = TextesDe(LangueInterface::Francais);
  const TextesLangue& en = TextesDe(LangueInterface::Anglais);
  constexpr std::size_t n = sizeof(TextesLangue) / sizeof(const char*);
  const auto* champsFr = reinterpret_cast<const char* const*>(&fr);
  const auto* champsEn = reinterpret_cast<const char* const*>(&en);
  for (std::size_t i = 0; i < n; ++i) {
    ASSERT_NE(champsFr[i], nullptr) << i;
    ASSERT_NE(champsEn[i], nullptr) << i;
    EXPECT_GT(std::strlen(champsFr[i]), 0u) << i;
    EXPECT_STRNE(champsFr[i], champsEn[i]) << i;
  }
}

class AfficherLangueTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(AfficherLangueTest, PutsTheTextsOfTheSystemLanguageEverywhere) {
  testsupport::EntourageFenetre entourage(GetParam());
  const auto form = entourage.creerForm();
  testsupport::RecordingView& vue = entourage.vue;
  form->FormCreate();

  const bool francais = LangueDepuisIdentifiant(GetParam()) == LangueInterface::Francais;
  EXPECT_EQ(form->Langue, francais ? LangueInterface::Francais : LangueInterface::Anglais);
  EXPECT_EQ(vue.textes[Controle::BtnFermer], francais ? "Fermer" : "Close");
  EXPECT_EQ(vue.textes[Controle::TabWallpaper], francais ? "Configuration" : "Settings");
  EXPECT_EQ(vue.textes[Controle::CheckChgtTousLes],
            francais ? "Changer le fond d'écran toutes les" : "Change wallpaper every");
  EXPECT_EQ(vue.textes[Controle::MenuQuitter], francais ? "Quitter" : "Quit");
  EXPECT_EQ(vue.textes[Controle::MenuMonitorCopierChemin],
            francais ? "Copier le chemin de l'image dans le presse-papiers"
                     : "Copy path to clipboard");
  EXPECT_EQ(vue.indices[Controle::ProgressBar1],
            francais ? "Création des vignettes en cours..."
                     : "Creation of the miniatures in progress... ");
  EXPECT_EQ(form->TexteChanger, francais ? "Changer le fond d'écran" : "Change wallpaper now");
  EXPECT_EQ(form->TexteChoixDossier, francais
                                        ? "Sélectionnez le dossier qui contient vos images de fond d'écran."
                                        : "Select folder which contains your wallpapers.");
  EXPECT_EQ(form->TexteErreur, francais ? "Erreur" : "Error");
  EXPECT_EQ(form->TexteInfoBulle, francais ? "Gestionnaire de fond d'écran" : "Manager of wallpaper");
  EXPECT_EQ(form->IconeTray.tip, form->TexteInfoBulle);
  // Captions that read the same in both languages.
  EXPECT_EQ(vue.titre, "Verrelune");
  EXPECT_STREQ(kUnitesFreqTemps[0], "secondes");
  EXPECT_STREQ(kUnitesFreqTemps[3], "jours");
}

INSTANTIATE_TEST_SUITE_P(FrenchCanadaMoroccoEnglishGerman, AfficherLangueTest,
                         ::testing::Values(0x0C0C, 0x1801, 0x0409, 0x0407));

}  // namespace
