#include <gtest/gtest.h>

#include "app/TForm1.h"
#include "support/Entourage.h"
#include "wallpaper/Conversions.h"
#include "wallpaper/MoteurWallpaper.h"

using namespace std::chrono_literals;
using platform::RegistryValue;

namespace {

// The real schedule with an installer that only records and, when told, succeeds as the real
// one does: it stores the change time and recomputes the timer.
class MoteurEnregistreur : public MoteurWallpaper {
 public:
  using MoteurWallpaper::MoteurWallpaper;
  bool InstallerWallpaper(int index, bool enregistrer) override {
    installations.push_back(index);
    if (reussir && reglages) {
      reglages->EcrireDateHeure("DateTimeDernierChgt", horloge->now());
      CalculerTimerChangerWallpaperInterval();
    }
    (void)enregistrer;
    return reussir;
  }
  std::vector<int> installations;
  bool reussir = true;
  AccesReglages* reglages = nullptr;
  platform::Clock* horloge = nullptr;
};

class Programmation : public ::testing::Test, public testsupport::Entourage {
 protected:
  // Whole seconds, as the stored time is.
  Programmation() : Entourage(platform::DateTime{std::chrono::seconds(1'800'000'000)}) {
    moteur.reglages = &reglages;
    moteur.horloge = &horloge;
    moteur.attacher(etat, *timer, reglages);
    etat.CheckChgtTousLes = true;
    timer->setEnabled(true);
  }

  // The last change happened `il_y_a` ago, stored as the program stores it.
  void dernierChangement(std::chrono::milliseconds il_y_a) {
    reglages.EcrireDateHeure("DateTimeDernierChgt", horloge.now());
    minuteries.advance(il_y_a);
  }

  std::uint32_t calculer(const std::string& duree, int unite) {
    etat.EditFreqDuree = duree;
    etat.ComboFreqTemps = unite;
    moteur.CalculerTimerChangerWallpaperInterval();
    return timer->interval();
  }

  MoteurEnregistreur moteur{services()};
  int coups_ = 0;
};

TEST_F(Programmation, ThirtyMinutesWithTenElapsedFiresAfterTwentyThenEveryThirty) {
  dernierChangement(10min);
  EXPECT_EQ(calculer("30", 1), 20u * 60'000);
  EXPECT_TRUE(moteur.installations.empty());
  minuteries.advance(20min - 1ms);
  EXPECT_TRUE(moteur.installations.empty());
  // The timer's own handler is the window's; here the change happens when it fires.
  static_cast<testsupport::VirtualTimer*>(timer.get())->setOnTimer(
      [this] { moteur.InstallerWallpaper(OperationsWallpaper::kHasard, true); });
  minuteries.advance(1ms);
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
  EXPECT_EQ(timer->interval(), 30u * 60'000);
  minuteries.advance(30min);
  EXPECT_EQ(moteur.installations.size(), 2u);
}

TEST_F(Programmation, AnOverduePeriodChangesAtOnceThenArmsAFullPeriod) {
  dernierChangement(2h);
  EXPECT_EQ(calculer("30", 1), 30u * 60'000);
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
}

// A picture that cannot be decoded must not switch the schedule off: the next try comes a full
// period later.
TEST_F(Programmation, AnOverdueChangeThatFailsArmsAFullPeriod) {
  timer->setInterval(0);
  moteur.reussir = false;
  dernierChangement(2h);
  EXPECT_EQ(calculer("30", 1), 30u * 60'000);
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
}

struct Raccourci {
  const char* duree;
  int unite;
  std::chrono::milliseconds ecoule;
  std::uint32_t intervalle;
};

class Raccourcis : public Programmation, public ::testing::WithParamInterface<Raccourci> {};

TEST_P(Raccourcis, ShortenOnlyPeriodsAboveTwoSecondsByMoreThanOneSecondElapsed) {
  dernierChangement(GetParam().ecoule);
  EXPECT_EQ(calculer(GetParam().duree, GetParam().unite), GetParam().intervalle);
  EXPECT_TRUE(moteur.installations.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Raccourcis,
    ::testing::Values(Raccourci{"3", 0, 1500ms, 1500}, Raccourci{"3", 0, 800ms, 3000},
                      Raccourci{"2", 0, 1500ms, 2000}, Raccourci{"25", 3, 0ms, 2'160'000'000u},
                      Raccourci{"60", 3, 0ms, 4'294'967'295u}, Raccourci{"2", 2, 0ms, 7'200'000},
                      Raccourci{"1", 1, 59'999ms, 1}));

TEST_F(Programmation, ADurationOfZeroLeavesTheTimerSilentButTicked) {
  dernierChangement(1h);
  EXPECT_EQ(calculer("0", 1), 0u);
  EXPECT_TRUE(timer->enabled());
  minuteries.advance(std::chrono::hours(24 * 60));
  EXPECT_TRUE(moteur.installations.empty());
}

TEST_F(Programmation, NoUnitSelectedCountsAsZero) {
  EXPECT_EQ(calculer("30", -1), 0u);
}

TEST_F(Programmation, ANegativeDurationNeverStartsChangesInALoop) {
  dernierChangement(1h);
  EXPECT_EQ(calculer("-5", 1), 0u);
  EXPECT_TRUE(moteur.installations.empty());
}

TEST_F(Programmation, ATextThatIsNotANumberRaisesTheConversionError) {
  timer->setInterval(777);
  EXPECT_THROW(calculer("1x", 1), EConvertError);
  EXPECT_EQ(timer->interval(), 777u);
}

TEST_F(Programmation, WithThePeriodicBoxUntickedTheFullPeriodIsArmed) {
  etat.CheckChgtTousLes = false;
  dernierChangement(2h);
  EXPECT_EQ(calculer("30", 1), 30u * 60'000);
  EXPECT_TRUE(moteur.installations.empty());
}

TEST_F(Programmation, RecomputingRestartsTheCountdownEvenWhenTheIntervalIsTheSame) {
  etat.CheckChgtTousLes = false;
  EXPECT_EQ(calculer("3", 0), 3000u);
  static_cast<testsupport::VirtualTimer*>(timer.get())->setOnTimer([this] { ++coups_; });
  minuteries.advance(2000ms);
  calculer("3", 0);
  minuteries.advance(2000ms);
  EXPECT_EQ(coups_, 0);
  minuteries.advance(1000ms);
  EXPECT_EQ(coups_, 1);
}

// The duration field, the unit list and the periodic box of the window drive the same
// schedule.
class FenetreEtProgrammation : public Programmation {
 protected:
  FenetreEtProgrammation() {
    registre.createKey(platform::kCleDemarrage);
    form = std::make_unique<TForm1>(
        vue, moteur,
        ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, tray},
        ParametresLancement{"/bin/verrelune", ""});
    form->FormCreate();
    minuteries.advance(1ms);  // the deferred start-up step
    moteur.installations.clear();
  }
  testsupport::RecordingShell shell;
  testsupport::RecordingErrorHandler erreurs;
  testsupport::RecordingTrayIcon tray;
  std::unique_ptr<TForm1> form;
};

TEST_F(FenetreEtProgrammation, TypingOneThenFiveChangesAtTheFirstKeystrokeWhenAMinuteIsPast) {
  minuteries.advance(5min - 1ms);  // back on a whole second, as stored times are
  form->ModifierEditFreqDuree("");
  moteur.installations.clear();
  form->ModifierEditFreqDuree("1");
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
  EXPECT_EQ(form->TimerChangerWallpaper().interval(), 60'000u);
  minuteries.advance(10s);
  form->ModifierEditFreqDuree("15");
  EXPECT_EQ(moteur.installations.size(), 1u);
  EXPECT_EQ(form->TimerChangerWallpaper().interval(), 15u * 60'000 - 10'000);
  EXPECT_EQ(registre.value("SOFTWARE\\Verrelune", "EditFreqDuree"), RegistryValue::ofDword(15));
}

TEST_F(FenetreEtProgrammation, UntickingStopsTheTimerAndTickingStartsAFullIntervalFromThen) {
  auto& timerForm = form->TimerChangerWallpaper();
  form->ModifierComboFreqTemps(0);
  form->ModifierEditFreqDuree("10");
  ASSERT_EQ(timerForm.interval(), 10'000u);
  form->ModifierCheckChgtTousLes(false);
  EXPECT_FALSE(timerForm.enabled());
  minuteries.advance(25s);
  EXPECT_TRUE(moteur.installations.empty());
  form->ModifierCheckChgtTousLes(true);
  minuteries.advance(9999ms);
  EXPECT_TRUE(moteur.installations.empty());
  minuteries.advance(1ms);
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
}

}  // namespace

namespace {

// A read-only or full settings folder at start-up: one report, and the schedule is armed all the
// same, so that changes come again once the folder can be written.
class DemarrageSansEcriture : public Programmation {};

TEST_F(DemarrageSansEcriture, IsReportedOnceAndTheScheduleStillRuns) {
  registre.createKey(platform::kCleDemarrage);
  registre.setWritesFail();
  testsupport::RecordingShell shell;
  testsupport::RecordingErrorHandler erreurs;
  testsupport::RecordingTrayIcon tray;
  moteur.reussir = false;
  TForm1 form(vue, moteur, ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, tray},
              ParametresLancement{"/bin/verrelune", ""});
  form.FormCreate();
  minuteries.advance(1ms);  // the deferred start-up step
  EXPECT_EQ(erreurs.messages.size(), 1u);
  EXPECT_TRUE(tray.present);
  EXPECT_TRUE(form.TimerChangerWallpaper().enabled());
  EXPECT_EQ(form.TimerChangerWallpaper().interval(), 30u * 60'000);

  registre.setWritesFail(false);
  moteur.reussir = true;
  moteur.installations.clear();
  minuteries.advance(30min);
  EXPECT_EQ(moteur.installations, std::vector<int>{-8});
}

}  // namespace
