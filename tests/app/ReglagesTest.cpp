#include "app/Reglages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>

#include "platform/MemoryRegistry.h"
#include "support/FakeLocale.h"

using platform::ERegistryException;
using platform::kCleDemarrage;
using platform::kCleDossiersShell;
using platform::kCleProgramme;
using platform::MemoryRegistry;
using platform::RegistryValue;
using namespace std::chrono;

namespace {

constexpr const char* kEchecWallPaperActuel =
    "Echec à la définition des données pour 'WallPaperActuel'";

class ReglagesTest : public testing::Test {
 protected:
  std::optional<RegistryValue> stored(const std::string& name) {
    return registry.value(kCleProgramme, name);
  }

  template <typename Call>
  static std::string failureOf(Call call) {
    try {
      call();
    } catch (const ERegistryException& error) {
      return error.what();
    }
    return "no error";
  }

  MemoryRegistry registry;
  testsupport::FakeLocale locale;
  Reglages reglages{registry, locale, "/opt/mes programmes/verrelune"};
  const platform::DateTime now = sys_days{2024y / March / 9} + 14h + 5min + 7s;
};

// What a value may hold before a read with default: nothing, or a value that counts as missing.
struct Unusable {
  const char* description;
  std::optional<RegistryValue> value;
};

void PrintTo(const Unusable& c, std::ostream* out) { *out << c.description; }

class LectureAvecDefaut : public ReglagesTest, public testing::WithParamInterface<Unusable> {
 protected:
  void plant(const std::string& name) {
    if (GetParam().value) registry.put(kCleProgramme, name, *GetParam().value);
  }
};

std::string caseName(const testing::TestParamInfo<Unusable>& info) {
  std::string name;
  for (const char* c = info.param.description; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
}

const Unusable kMissing{"missing", std::nullopt};
const Unusable kEmptyText{"empty text", RegistryValue::ofText("")};
const Unusable kNumber{"a number", RegistryValue::ofDword(7)};
const Unusable kText{"text 30", RegistryValue::ofText("30")};
const Unusable kOtherDate{"date of other settings", RegistryValue::ofText("3/9/2024 2:05 PM")};

class LireChaineDefaut : public LectureAvecDefaut {};

TEST_P(LireChaineDefaut, StoresAndReturnsTheDefault) {
  plant("WallPaperActuel");
  EXPECT_EQ(reglages.LireChaine("WallPaperActuel", "/images/"), "/images/");
  EXPECT_EQ(stored("WallPaperActuel"), RegistryValue::ofText("/images/"));
}

INSTANTIATE_TEST_SUITE_P(Values, LireChaineDefaut, testing::Values(kMissing, kEmptyText, kNumber),
                         caseName);

class LireNombreDefaut : public LectureAvecDefaut {};

TEST_P(LireNombreDefaut, StoresAndReturnsTheDefault) {
  plant("EditFreqDuree");
  plant("CheckChgtTousLes");
  EXPECT_EQ(reglages.LireEntier("EditFreqDuree", -30), -30);
  EXPECT_EQ(stored("EditFreqDuree"), RegistryValue::ofDword(0xFFFFFFE2));
  EXPECT_TRUE(reglages.LireBooleen("CheckChgtTousLes", true));
  EXPECT_EQ(stored("CheckChgtTousLes"), RegistryValue::ofDword(1));
}

INSTANTIATE_TEST_SUITE_P(Values, LireNombreDefaut, testing::Values(kMissing, kEmptyText, kText),
                         caseName);

class LireDateHeureDefaut : public LectureAvecDefaut {};

TEST_P(LireDateHeureDefaut, StoresAndReturnsTheDefault) {
  plant("DateTimeDernierChgt");
  EXPECT_EQ(reglages.LireDateHeure("DateTimeDernierChgt", now), now);
  EXPECT_EQ(stored("DateTimeDernierChgt"), RegistryValue::ofText("09/03/2024 14:05:07"));
}

INSTANTIATE_TEST_SUITE_P(Values, LireDateHeureDefaut,
                         testing::Values(kMissing, kEmptyText, kNumber, kText, kOtherDate),
                         caseName);

TEST_F(ReglagesTest, FirstReadCreatesTheProgramKey) {
  EXPECT_FALSE(registry.hasKey(kCleProgramme));
  EXPECT_TRUE(reglages.LireBooleen("CheckChgtDemarrage", true));
  EXPECT_TRUE(registry.hasKey(kCleProgramme));
}

TEST_F(ReglagesTest, StoredValuesAreReadWithoutWriting) {
  registry.put(kCleProgramme, "RepertoireRacineDuScan", RegistryValue::ofText("/photos/"));
  registry.put(kCleProgramme, "CheckChgtDemarrage", RegistryValue::ofDword(0));
  registry.put(kCleProgramme, "CheckChgtTousLes", RegistryValue::ofDword(2));
  registry.put(kCleProgramme, "EditFreqDuree", RegistryValue::ofDword(0x80000000));
  registry.put(kCleProgramme, "DateTimeDernierChgt", RegistryValue::ofText("01/02/2023"));

  EXPECT_EQ(reglages.LireChaine("repertoireracineduscan", "/images/"), "/photos/");
  EXPECT_FALSE(reglages.LireBooleen("CheckChgtDemarrage", true));
  EXPECT_TRUE(reglages.LireBooleen("CheckChgtTousLes", false));
  EXPECT_EQ(reglages.LireEntier("EditFreqDuree", 30), INT32_MIN);
  EXPECT_EQ(reglages.LireDateHeure("DateTimeDernierChgt", now), sys_days{2023y / February / 1});
  EXPECT_EQ(registry.writeCount(), 0);
}

TEST_F(ReglagesTest, OnlyTheWriteBackOfADefaultCanFail) {
  registry.put(kCleProgramme, "EditFreqDuree", RegistryValue::ofDword(5));
  registry.setWritesFail();
  EXPECT_EQ(reglages.LireEntier("EditFreqDuree", 30), 5);
  EXPECT_EQ(failureOf([&] { reglages.LireChaine("WallPaperActuel", "x"); }), kEchecWallPaperActuel);
  EXPECT_EQ(failureOf([&] { reglages.LireDateHeure("DateTimeDernierChgt", now); }),
            "Echec à la définition des données pour 'DateTimeDernierChgt'");
  EXPECT_EQ(failureOf([&] { reglages.LireBooleen("CheckChgtTousLes", true); }),
            "Echec à la définition des données pour 'CheckChgtTousLes'");
}

TEST_F(ReglagesTest, AnUnopenableKeyReadsAsMissingAndFailsTheWriteBack) {
  registry.put(kCleProgramme, "ComboFreqTemps", RegistryValue::ofDword(2));
  registry.setUnopenable(kCleProgramme);
  EXPECT_EQ(failureOf([&] { reglages.LireEntier("ComboFreqTemps", 1); }),
            "Echec à la définition des données pour 'ComboFreqTemps'");
  EXPECT_EQ(failureOf([&] { reglages.EcrireChaine("WallPaperActuel", "x"); }), kEchecWallPaperActuel);
}

TEST_F(ReglagesTest, WriteRoutinesStoreTheirTypes) {
  registry.put(kCleProgramme, "EditFreqDuree", RegistryValue::ofText("old text"));
  reglages.EcrireChaine("WallPaperActuel", "/a b/c.png");
  reglages.EcrireBooleen("CheckChgtDemarrage", false);
  reglages.EcrireBooleen("CheckChgtTousLes", true);
  reglages.EcrireEntier("EditFreqDuree", -1);
  reglages.EcrireDateHeure("DateTimeDernierChgt", sys_days{2024y / March / 9});
  EXPECT_EQ(stored("WallPaperActuel"), RegistryValue::ofText("/a b/c.png"));
  EXPECT_EQ(stored("CheckChgtDemarrage"), RegistryValue::ofDword(0));
  EXPECT_EQ(stored("CheckChgtTousLes"), RegistryValue::ofDword(1));
  EXPECT_EQ(stored("EditFreqDuree"), RegistryValue::ofDword(0xFFFFFFFF));
  EXPECT_EQ(stored("DateTimeDernierChgt"), RegistryValue::ofText("09/03/2024"));

  registry.setWritesFail();
  EXPECT_EQ(failureOf([&] { reglages.EcrireChaine("WallPaperActuel", "/d.png"); }),
            kEchecWallPaperActuel);
  EXPECT_EQ(stored("WallPaperActuel"), RegistryValue::ofText("/a b/c.png"));
}

TEST_F(ReglagesTest, InscrireDemarrageWritesTheQuotedProgramAndSwitch) {
  registry.createKey(kCleDemarrage);
  registry.put(kCleDemarrage, "verrelune", RegistryValue::ofDword(1));
  reglages.InscrireDemarrage();
  EXPECT_EQ(registry.value(kCleDemarrage, "Verrelune"),
            RegistryValue::ofText("\"/opt/mes programmes/verrelune\" /background"));

  registry.setWritesFail();
  EXPECT_EQ(failureOf([&] { reglages.InscrireDemarrage(); }),
            "Echec à la définition des données pour 'Verrelune'");
}

TEST_F(ReglagesTest, InscrireDemarrageDoesNothingWithoutARunKey) {
  reglages.InscrireDemarrage();
  EXPECT_FALSE(registry.hasKey(kCleDemarrage));
  registry.createKey(kCleDemarrage);
  registry.setUnopenable(kCleDemarrage);
  reglages.InscrireDemarrage();
  EXPECT_EQ(registry.valueNames(kCleDemarrage).size(), 0u);
}

TEST_F(ReglagesTest, LireDossierShellFallsBack) {
  EXPECT_EQ(reglages.LireDossierShell("My Pictures"), "My Pictures");
  registry.createKey(kCleDossiersShell);
  EXPECT_EQ(reglages.LireDossierShell("My Pictures"), "");
  registry.put(kCleDossiersShell, "AppData", RegistryValue::ofText("/home/ana/.local/share"));
  registry.put(kCleDossiersShell, "My Pictures", RegistryValue::ofDword(3));
  EXPECT_EQ(reglages.LireDossierShell("appdata"), "/home/ana/.local/share");
  EXPECT_EQ(reglages.LireDossierShell("My Pictures"), "My Pictures");
  registry.setUnopenable(kCleDossiersShell);
  EXPECT_EQ(reglages.LireDossierShell("AppData"), "AppData");
  // The look-up never writes, so failing writes do not reach it.
  EXPECT_EQ(registry.writeCount(), 0);
}

}  // namespace
