#include "wallpaper/Chemins.h"

#include <gtest/gtest.h>

#include "support/Paths.h"
#include "wallpaper/Conversions.h"

namespace {

using testsupport::Natif;

TEST(Chemins, TrailingSeparatorIsAddedOnceAndRemovedOnce) {
  EXPECT_EQ(AjouterSeparateurFinal(Natif("/home/a/Pictures")), Natif("/home/a/Pictures/"));
  EXPECT_EQ(AjouterSeparateurFinal(Natif("/home/a/Pictures/")), Natif("/home/a/Pictures/"));
  EXPECT_EQ(AjouterSeparateurFinal(""), Natif("/"));
  EXPECT_EQ(RetirerSeparateurFinal(Natif("/home/a/")), Natif("/home/a"));
  EXPECT_EQ(RetirerSeparateurFinal(Natif("/home/a")), Natif("/home/a"));
}

struct CasNom {
  const char* chemin;
  const char* racine;
  const char* nom;
  const char* sousDossier;
};

class NomEtSousDossier : public ::testing::TestWithParam<CasNom> {};

TEST_P(NomEtSousDossier, NameWithoutExtensionAndFolderRelativeToTheRoot) {
  const CasNom& c = GetParam();
  EXPECT_EQ(NomAffiche(Natif(c.chemin)), c.nom);
  EXPECT_EQ(SousDossier(Natif(c.chemin), Natif(c.racine)), Natif(c.sousDossier));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NomEtSousDossier,
    ::testing::Values(CasNom{"/p/beach.jpg", "/p/", "beach", ""},
                      CasNom{"/p/Holidays/2019/sea.jpeg", "/p/", "sea", "Holidays/2019"},
                      CasNom{"/p/Holidays/2019/sea.jpeg", "/p", "sea", "Holidays/2019"},
                      // The root and the name are matched without regard to case.
                      CasNom{"/P/Sub/a.b.GIF", "/p/", "a.b", "Sub"},
                      CasNom{"/p/noextension", "/p/", "noextension", ""},
                      CasNom{"/p/x/&name.png", "/p/", "&name", "x"}));

TEST(Chemins, RemovalIgnoresCaseAndTakesEveryOccurrence) {
  EXPECT_EQ(RetirerSansCasse("abcABCabd", "abc"), "abd");
  EXPECT_EQ(RetirerSansCasse("aaa", ""), "aaa");
}

TEST(StrToInt, ReadsSigned32BitDecimalNumbers) {
  EXPECT_EQ(StrToInt("30"), 30);
  EXPECT_EQ(StrToInt("+5"), 5);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
}

TEST(StrToInt, RejectsEverythingElseWithTheConversionMessage) {
  for (const char* texte : {"", "2147483648", "12a", "a", " 1", "+", "+-1", "0x10"}) {
    try {
      StrToInt(texte);
      ADD_FAILURE() << texte;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("'") + texte + "' n'est pas une valeur entière correcte");
    }
  }
}

}  // namespace
