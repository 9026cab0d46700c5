#include "platform/MemoryRegistry.h"

#include <gtest/gtest.h>

using platform::ERegistryException;
using platform::MemoryRegistry;
using platform::RegistryValue;

namespace {

TEST(MemoryRegistry, KeysAndNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  MemoryRegistry registry;
  EXPECT_FALSE(registry.openKey("SOFTWARE\\Verrelune", false));
  auto key = registry.openKey("SOFTWARE\\Verrelune", true);
  ASSERT_TRUE(key);
  key->writeText("WallPaperActuel", "/a.png");
  registry.openKey("software\\VERRELUNE", false)->writeDword("wallpaperactuel", 7);

  EXPECT_EQ(registry.storedName("Software\\Verrelune", "WALLPAPERACTUEL"), "WallPaperActuel");
  EXPECT_EQ(key->readDword("WallPaperActuel"), 7u);
  EXPECT_EQ(key->readText("WallPaperActuel"), std::nullopt);
  EXPECT_EQ(registry.valueNames("SOFTWARE\\Verrelune").size(), 1u);
}

TEST(MemoryRegistry, SwitchesMakeKeysUnopenableAndWritesFail) {
  MemoryRegistry registry;
  registry.put("K", "V", RegistryValue::ofText("before"));
  auto key = registry.openKey("K", false);

  registry.setUnopenable("k");
  EXPECT_FALSE(registry.openKey("K", true));
  registry.setUnopenable("k", false);
  EXPECT_TRUE(registry.openKey("K", false));

  registry.setWritesFail();
  try {
    key->writeDword("V", 1);
    FAIL() << "the write did not fail";
  } catch (const ERegistryException& error) {
    EXPECT_STREQ(error.what(), "Echec à la définition des données pour 'V'");
  }
  EXPECT_THROW(key->writeText("New", "x"), ERegistryException);
  EXPECT_EQ(registry.value("K", "V"), RegistryValue::ofText("before"));
  EXPECT_EQ(registry.value("K", "New"), std::nullopt);
  EXPECT_EQ(registry.writeCount(), 0);
}

}  // namespace
