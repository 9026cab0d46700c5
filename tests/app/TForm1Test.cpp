#include "app/TForm1.h"
#include "wallpaper/Chemins.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/EntourageFenetre.h"

using platform::RegistryValue;
using namespace std::chrono_literals;

namespace {

constexpr const char* kCle = "SOFTWARE\\Verrelune";
constexpr const char* kProgramme = "/opt/verrelune/bin/verrelune";

class TForm1Test : public ::testing::Test, public testsupport::EntourageFenetre {
 protected:
  void SetUp() override {
    dossier_ = std::filesystem::temp_directory_path() /
               ("tform1-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dossier_);
    std::filesystem::create_directories(dossier_ / "Pictures");
    std::filesystem::create_directories(dossier_ / "data");
    registre.createKey(platform::kCleDemarrage);
    registre.put(platform::kCleDossiersShell, "AppData", RegistryValue::ofText((dossier_ / "data").string()));
    registre.put(platform::kCleDossiersShell, "My Pictures",
                 RegistryValue::ofText((dossier_ / "Pictures").string()));
  }
  void TearDown() override { std::filesystem::remove_all(dossier_); }

  TForm1& creer(const std::string& premierArgument = "") {
    form = creerForm(premierArgument, kProgramme);
    vue.surFermeture = [this] {
      if (form->FormCloseQuery()) form->FormClose();
    };
    form->FormCreate();
    // The message loop starts: the window appears unless creation kept it hidden.
    if (vue.afficherAuDemarrage) vue.afficherFenetre();
    return *form;
  }

  std::string pictures() const { return (dossier_ / "Pictures").string() + kSeparateur; }
  std::optional<RegistryValue> valeur(const char* nom) const { return registre.value(kCle, nom); }

  std::filesystem::path dossier_;
  std::unique_ptr<TForm1> form;
};

TEST_F(TForm1Test, FirstStartStoresTheFiveSettingsWithTheirDefaultsAndTheAutostartEntry) {
  creer();
  EXPECT_EQ(valeur("RepertoireRacineDuScan"), RegistryValue::ofText(pictures()));
  EXPECT_EQ(valeur("CheckChgtDemarrage"), RegistryValue::ofDword(1));
  EXPECT_EQ(valeur("CheckChgtTousLes"), RegistryValue::ofDword(1));
  EXPECT_EQ(valeur("EditFreqDuree"), RegistryValue::ofDword(30));
  EXPECT_EQ(valeur("ComboFreqTemps"), RegistryValue::ofDword(1));
  EXPECT_EQ(registre.value(platform::kCleDemarrage, "Verrelune"),
            RegistryValue::ofText("\"/opt/verrelune/bin/verrelune\" /background"));
  EXPECT_TRUE(erreurs.messages.empty());
}

TEST_F(TForm1Test, CreationDerivesTheFoldersFromTheShellFolders) {
  creer();
  const std::string donnees = (dossier_ / "data").string() + kSeparateur + "Verrelune" + kSeparateur;
  EXPECT_EQ(form->DossierDonnees, donnees);
  EXPECT_EQ(form->DossierMesImages, pictures());
  EXPECT_EQ(form->FichierWallpaper, donnees + "Verrelune.bmp");
  EXPECT_EQ(form->RepertoireRacine, pictures());
}

TEST_F(TForm1Test, StartUpCallsTheEngineInOrderAndTheDeferredStepRunsOnce) {
  moteur.nombreImages = 3;
  creer();
  // Filling the duration field runs its change handler, then the preview shows the system's
  // current wallpaper.
  EXPECT_EQ(journal, (std::vector<std::string>{"CalculerTimerChangerWallpaperInterval",
                                               "InstallerWallpaper(-9,true)"}));
  EXPECT_TRUE(form->TimerInitialisation().enabled());
  EXPECT_EQ(form->TimerInitialisation().interval(), 1u);
  // The periodic box's handler already enabled the change timer, which stays silent until the
  // deferred step computes its interval.
  EXPECT_EQ(form->TimerChangerWallpaper().interval(), 0u);

  journal.clear();
  minuteries.advance(10ms);
  EXPECT_EQ(journal, (std::vector<std::string>{"ScannerArborescence(false)",
                                               "InstallerWallpaper(-8,true)",
                                               "CalculerTimerChangerWallpaperInterval",
                                               "CreerVignettes"}));
  EXPECT_FALSE(form->TimerInitialisation().enabled());
  EXPECT_TRUE(form->TimerChangerWallpaper().enabled());

  journal.clear();
  minuteries.advance(1000ms);
  EXPECT_EQ(journal, std::vector<std::string>{});
}

TEST_F(TForm1Test, NoStartUpChangeWithAnEmptyCatalogueOrTheBoxUnticked) {
  creer();
  minuteries.advance(1ms);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "InstallerWallpaper(-8,true)"), 0);

  journal.clear();
  registre.put(kCle, "CheckChgtDemarrage", RegistryValue::ofDword(0));
  registre.put(kCle, "CheckChgtTousLes", RegistryValue::ofDword(0));
  moteur.nombreImages = 10;
  testsupport::RecordingView autreVue;
  TForm1 autre(autreVue, moteur, services(), ParametresLancement{kProgramme, ""});
  autre.FormCreate();
  minuteries.advance(1ms);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "InstallerWallpaper(-8,true)"), 0);
  EXPECT_FALSE(autre.CheckChgtDemarrage);
  EXPECT_FALSE(autre.TimerChangerWallpaper().enabled());
  // A box whose stored value is false is never changed, so its handler wrote nothing back.
  EXPECT_EQ(autreVue.coches.count(Controle::CheckChgtTousLes), 0u);
}

TEST_F(TForm1Test, StoredRootThatNoLongerExistsFallsBackToPicturesForThisRunOnly) {
  registre.put(kCle, "RepertoireRacineDuScan", RegistryValue::ofText("/nowhere/gone/"));
  creer();
  EXPECT_EQ(form->RepertoireRacine, pictures());
  EXPECT_EQ(valeur("RepertoireRacineDuScan"), RegistryValue::ofText("/nowhere/gone/"));
}

TEST_F(TForm1Test, StoredRootThatExistsIsUsedWithOrWithoutItsSeparator) {
  std::filesystem::create_directories(dossier_ / "Walls");
  registre.put(kCle, "RepertoireRacineDuScan", RegistryValue::ofText((dossier_ / "Walls").string()));
  creer();
  EXPECT_EQ(form->RepertoireRacine, (dossier_ / "Walls").string());
}

TEST_F(TForm1Test, MistypedOrOutOfRangeSettingsAreRepairedOrSelectNothing) {
  registre.put(kCle, "EditFreqDuree", RegistryValue::ofText("thirty"));
  registre.put(kCle, "ComboFreqTemps", RegistryValue::ofDword(7));
  creer();
  EXPECT_EQ(valeur("EditFreqDuree"), RegistryValue::ofDword(30));
  EXPECT_EQ(vue.textes[Controle::EditFreqDuree], "30");
  EXPECT_EQ(form->ComboFreqTemps, -1);
  EXPECT_EQ(vue.selections[Controle::ComboFreqTemps], -1);
}

TEST_F(TForm1Test, AnUnwritableRegistryIsReportedOnceAndTheProgramStillGetsItsIconAndWindow) {
  registre.setWritesFail();
  creer();
  ASSERT_EQ(erreurs.messages.size(), 1u);
  EXPECT_EQ(erreurs.messages[0], "Echec à la définition des données pour 'Verrelune'");
  EXPECT_TRUE(tray.present);
  EXPECT_TRUE(vue.visible);
  EXPECT_TRUE(form->TimerInitialisation().enabled());
  EXPECT_TRUE(form->CheckChgtDemarrage);
  EXPECT_EQ(form->EditFreqDuree, "30");
  EXPECT_EQ(form->ComboFreqTemps, 1);
}

// What the user changed goes back when the settings cannot store it: the window never shows a
// setting the next start would not find.
TEST_F(TForm1Test, AChangeTheSettingsCannotStoreGoesBackToTheStoredValue) {
  creer();
  registre.setWritesFail();
  form->Executer([&] { form->ModifierCheckChgtDemarrage(false); });
  form->Executer([&] { form->ModifierCheckChgtTousLes(false); });
  form->Executer([&] { form->ModifierEditFreqDuree("15"); });
  form->Executer([&] { form->ModifierComboFreqTemps(3); });
  EXPECT_EQ(erreurs.messages.size(), 4u);
  EXPECT_TRUE(form->CheckChgtDemarrage);
  EXPECT_TRUE(vue.coches[Controle::CheckChgtDemarrage]);
  EXPECT_TRUE(form->CheckChgtTousLes);
  EXPECT_TRUE(vue.coches[Controle::CheckChgtTousLes]);
  EXPECT_TRUE(form->TimerChangerWallpaper().enabled());
  EXPECT_EQ(form->EditFreqDuree, "30");
  EXPECT_EQ(vue.textes[Controle::EditFreqDuree], "30");
  EXPECT_EQ(form->ComboFreqTemps, 1);
  EXPECT_EQ(vue.selections[Controle::ComboFreqTemps], 1);
}

TEST_F(TForm1Test, TrayIconCarriesTheTipAndIsSentAgainEveryThirtyMinutes) {
  creer();
  EXPECT_EQ(tray.operations, std::vector<std::string>{"add:Manager of wallpaper"});
  EXPECT_EQ(form->IconeTray.callbackMessage, 1124u);
  EXPECT_EQ(form->IconeTray.flags, 7u);
  EXPECT_EQ(form->IconeTray.id, 1u);
  minuteries.advance(std::chrono::minutes(61));
  EXPECT_EQ(tray.operations,
            (std::vector<std::string>{"add:Manager of wallpaper", "modify:Manager of wallpaper",
                                      "modify:Manager of wallpaper"}));
}

TEST_F(TForm1Test, BackgroundSwitchKeepsTheWindowFromAppearing) {
  creer("/BackGround");
  EXPECT_FALSE(vue.afficherAuDemarrage);
  EXPECT_FALSE(vue.visible);
  EXPECT_TRUE(tray.present);
  // Thumbnails are asked for; the engine builds none while the window is hidden.
  minuteries.advance(1ms);
  EXPECT_EQ(journal.back(), "CreerVignettes");
}

TEST(DemandeDemarrageCache, LooksForTheSwitchAnywhereInTheFirstArgument) {
  EXPECT_TRUE(DemandeDemarrageCache("/background"));
  EXPECT_TRUE(DemandeDemarrageCache("/BACKGROUND"));
  EXPECT_TRUE(DemandeDemarrageCache("xx/backgroundyy"));
  EXPECT_TRUE(DemandeDemarrageCache("--background"));
  EXPECT_FALSE(DemandeDemarrageCache(""));
  EXPECT_FALSE(DemandeDemarrageCache("background"));
  EXPECT_FALSE(DemandeDemarrageCache("/back ground"));
}

TEST_F(TForm1Test, CloseBoxAndCloseButtonHideToTheTray) {
  creer();
  ASSERT_TRUE(vue.visible);
  EXPECT_FALSE(form->FormCloseQuery());
  EXPECT_FALSE(vue.visible);
  EXPECT_FALSE(vue.termine);

  form->MenuOuvrirClick();
  EXPECT_TRUE(vue.visible);
  form->BtnFermerClick();
  EXPECT_FALSE(vue.visible);
  // A close request reaching the hidden window closes the program.
  EXPECT_TRUE(form->FormCloseQuery());
}

TEST_F(TForm1Test, OpenShowsTheWindowAndBuildsThumbnailsUnlessAScanRuns) {
  creer("/background");
  journal.clear();
  form->MenuOuvrirClick();
  EXPECT_TRUE(vue.visible);
  EXPECT_EQ(journal, std::vector<std::string>{"CreerVignettes"});

  form->BtnFermerClick();
  journal.clear();
  form->ScanEnCours = true;
  form->MenuOuvrirClick();
  EXPECT_TRUE(journal.empty());
}

TEST_F(TForm1Test, QuitEndsTheProgramAndRemovesTheIconWithoutWritingAnything) {
  creer();
  const int ecritures = registre.writeCount();
  form->MenuQuitterClick();
  EXPECT_TRUE(form->QuitterDemande);
  EXPECT_TRUE(vue.termine);
  form->FormDestroy();
  EXPECT_EQ(tray.operations.back(), "remove");
  EXPECT_FALSE(tray.present);
  EXPECT_EQ(registre.writeCount(), ecritures);
}

TEST_F(TForm1Test, QuitWhileHiddenAlsoEndsTheProgram) {
  creer("/background");
  form->MenuQuitterClick();
  EXPECT_TRUE(vue.termine);
}

TEST_F(TForm1Test, LeftClickOnTheIconInstallsARandomPictureOtherEventsDoNothing) {
  creer();
  journal.clear();
  form->MessageIconeTray(0x201);
  form->MessageIconeTray(0x200);
  EXPECT_TRUE(journal.empty());
  form->MessageIconeTray(0x202);
  form->MessageIconeTray(0x202);
  EXPECT_EQ(journal, (std::vector<std::string>{"InstallerWallpaper(-8,true)",
                                               "InstallerWallpaper(-8,true)"}));
}

TEST_F(TForm1Test, CheckBoxesRewriteTheAutostartEntryAndStoreTheirState) {
  creer();
  registre.remove(platform::kCleDemarrage, "Verrelune");
  form->ModifierCheckChgtTousLes(false);
  EXPECT_EQ(valeur("CheckChgtTousLes"), RegistryValue::ofDword(0));
  EXPECT_FALSE(form->TimerChangerWallpaper().enabled());
  EXPECT_TRUE(registre.value(platform::kCleDemarrage, "Verrelune").has_value());

  registre.remove(platform::kCleDemarrage, "Verrelune");
  form->ModifierCheckChgtDemarrage(false);
  EXPECT_EQ(valeur("CheckChgtDemarrage"), RegistryValue::ofDword(0));
  EXPECT_TRUE(registre.value(platform::kCleDemarrage, "Verrelune").has_value());
}

TEST_F(TForm1Test, DurationFieldFiltersKeysAndNeverStaysEmpty) {
  creer();
  char lettre = 'a';
  form->EditFreqDureeKeyPress(lettre);
  EXPECT_EQ(lettre, '\0');
  EXPECT_EQ(shell.bips, 1);
  for (char passe : {'0', '9', '\b'}) {
    char c = passe;
    form->EditFreqDureeKeyPress(c);
    EXPECT_EQ(c, passe);
  }
  EXPECT_EQ(shell.bips, 1);

  form->ModifierEditFreqDuree("");
  EXPECT_EQ(form->EditFreqDuree, "0");
  EXPECT_EQ(vue.textes[Controle::EditFreqDuree], "0");
  EXPECT_EQ(vue.toutSelectionne, std::vector<Controle>{Controle::EditFreqDuree});
  EXPECT_EQ(shell.bips, 2);
  EXPECT_EQ(valeur("EditFreqDuree"), RegistryValue::ofDword(0));

  form->ModifierEditFreqDuree("15");
  EXPECT_EQ(valeur("EditFreqDuree"), RegistryValue::ofDword(15));
}

TEST_F(TForm1Test, ANonNumericDurationIsReportedAndNotStored) {
  creer();
  journal.clear();
  form->Executer([&] { form->ModifierEditFreqDuree("12x"); });
  EXPECT_EQ(erreurs.messages,
            std::vector<std::string>{"'12x' n'est pas une valeur entière correcte"});
  EXPECT_EQ(valeur("EditFreqDuree"), RegistryValue::ofDword(30));
  EXPECT_TRUE(journal.empty());
}

TEST_F(TForm1Test, ChoosingAUnitStoresItsPositionAndRecomputesTheTimer) {
  creer();
  journal.clear();
  form->ModifierComboFreqTemps(3);
  EXPECT_EQ(valeur("ComboFreqTemps"), RegistryValue::ofDword(3));
  EXPECT_EQ(journal, std::vector<std::string>{"CalculerTimerChangerWallpaperInterval"});
}

TEST_F(TForm1Test, LinkLabelUnderlinesUnderTheMouseAndOpensTheSite) {
  creer();
  form->LabelLienMouseMove(Controle::LabelAboutSite);
  EXPECT_TRUE(vue.soulignes[Controle::LabelAboutSite]);
  form->LabelLienMouseLeave(Controle::LabelAboutSite);
  EXPECT_FALSE(vue.soulignes[Controle::LabelAboutSite]);
  form->LabelAboutSiteClick();
  EXPECT_EQ(shell.ouverts, std::vector<std::string>{kAdresseSite});
}

TEST_F(TForm1Test, WindowOpensOnTheFirstTabWithItsTitle) {
  creer();
  EXPECT_EQ(vue.titre, "Verrelune");
  EXPECT_EQ(vue.ongletActif, Controle::TabWallpaper);
  EXPECT_EQ(vue.textes[Controle::LabelAboutProg], "Verrelune");
}

// Opened list of the picture field: rows of 45 pixels below the field, or above when more fit.
TEST(LignesListeOuverte, ShowsAsManyRowsAsFitBelowOrAbove) {
  EXPECT_EQ(LignesListeOuverte(768, 100, 51, 45), 13);  // (768-100-51-30)/45
  EXPECT_EQ(LignesListeOuverte(768, 650, 51, 45), 14);  // (650+51-30)/45 above
  EXPECT_EQ(LignesListeOuverte(768, 333, 51, 45), 7);   // 354/45 both ways
  EXPECT_EQ(LignesListeOuverte(768, 800, 51, 45), 18);  // field below the work area
}

TEST_F(TForm1Test, OpenedListCountsFromTheWorkArea) {
  creer();
  ecran.zoneTravail = {0, 0, 1024, 768};
  EXPECT_EQ(form->ComboWallpaperDropDown(100, 51), 13);
}

}  // namespace
