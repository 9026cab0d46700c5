#include "platform/win32/Win32Registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <random>

#include "app/Reglages.h"
#include "platform/win32/Win32Locale.h"

namespace {

using platform::win32::Win32Registry;

// The real HKEY_CURRENT_USER of the test's (wine) prefix; the program's own key is put aside
// while the settings store is tested on it, and put back after.
class RegistreReel : public ::testing::Test {
 protected:
  void SetUp() override {
    cle_ = "SOFTWARE\\Verrelune tests\\" + std::to_string(std::random_device{}());
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, cle_.c_str()); }

  std::string cle_;
  Win32Registry registre;
};

TEST_F(RegistreReel, ValuesKeepTheirTypeAndAMistypedValueReadsAsMissing) {
  EXPECT_EQ(registre.openKey(cle_, false), nullptr);
  auto cle = registre.openKey(cle_, true);
  ASSERT_NE(cle, nullptr);
  cle->writeText("Dossier", "C:\\Images\\caf\xc3\xa9\\");
  cle->writeDword("Duree", 30);
  EXPECT_EQ(cle->readText("dossier"), "C:\\Images\\caf\xc3\xa9\\");
  EXPECT_EQ(cle->readDword("DUREE"), 30u);
  EXPECT_EQ(cle->readDword("Dossier"), std::nullopt);
  EXPECT_EQ(cle->readText("Duree"), std::nullopt);
  EXPECT_EQ(cle->readText("Absente"), std::nullopt);
  // A write replaces the value whatever its type.
  cle->writeText("Duree", "trente");
  EXPECT_EQ(cle->readDword("Duree"), std::nullopt);
  EXPECT_EQ(cle->readText("Duree"), "trente");
}

TEST_F(RegistreReel, TheStoreRepairsAMistypedSettingWithItsDefault) {
  // The program's key of this prefix, saved and restored around the test.
  const std::string programme = platform::kCleProgramme;
  HKEY sauvegarde = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, (cle_ + "\\sauvegarde").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &sauvegarde, nullptr);
  const bool existait = RegCopyTreeA(HKEY_CURRENT_USER, programme.c_str(), sauvegarde) == ERROR_SUCCESS;
  platform::win32::Win32Locale locale;
  Reglages reglages(registre, locale, "C:\\Verrelune\\verrelune.exe");
  registre.openKey(programme, true)->writeText("EditFreqDuree", "30 minutes");
  EXPECT_EQ(reglages.LireEntier("EditFreqDuree", 30), 30);
  EXPECT_EQ(registre.openKey(programme, false)->readDword("EditFreqDuree"), 30u);

  RegDeleteTreeA(HKEY_CURRENT_USER, programme.c_str());
  if (existait) {
    HKEY cle = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, programme.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &cle, nullptr);
    RegCopyTreeA(sauvegarde, nullptr, cle);
    RegCloseKey(cle);
  }
  RegCloseKey(sauvegarde);
}

TEST(LocaleReelle, ADateWrittenInTheUsersFormatReadsBackToTheSecond) {
  platform::win32::Win32Locale locale;
  for (const auto quand : {std::chrono::sys_days{std::chrono::year{2026} / 12 / 8} + std::chrono::hours{19} +
                               std::chrono::minutes{40} + std::chrono::seconds{44},
                           std::chrono::sys_days{std::chrono::year{2024} / 2 / 29} + std::chrono::hours{0} +
                               std::chrono::minutes{0} + std::chrono::seconds{0}}) {
    const platform::DateTime moment{quand};
    const std::string texte = locale.formatDateTime(moment);
    ASSERT_FALSE(texte.empty());
    const auto relu = locale.parseDateTime(texte);
    ASSERT_TRUE(relu) << texte;
    EXPECT_EQ(*relu, moment) << texte;
  }
}

}  // namespace
