#include "app/SectionCatalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "config/MonitorSettings.h"

namespace spekolar {

namespace {

// Every row can be dispatched and checked: a unique upper-case key found as
// a whole, its texts, a handler or monitors (not both, Typ read only with
// monitors), and only keys the settings schema knows, Meldungstyp among them.
TEST(SectionCatalogueTest, EveryRowIsComplete) {
  unsigned schemaBits = 0;
  for (const SettingKey& key : kMonitorSettingsKeys) schemaBits |= key.bit;
  std::set<std::string> keys;
  for (const SectionRow& row : SectionCatalogue()) {
    SCOPED_TRACE(row.key);
    CString upper(row.key);
    upper.MakeUpper();
    EXPECT_EQ(upper, row.key);
    EXPECT_TRUE(keys.insert(row.key).second);
    EXPECT_EQ(FindSection(row.key), &row);
    EXPECT_TRUE(*row.protocolName && *row.monitorName && *row.errorTitle);
    const bool monitors = row.type1 != nullptr || row.type2 != nullptr;
    EXPECT_NE(row.handler != nullptr, monitors);
    EXPECT_EQ((row.keys & kKeyTyp) != 0, monitors);
    EXPECT_EQ(row.keys & ~schemaBits, 0u);
    EXPECT_NE(row.keys & kKeyMeldungstyp, 0u);
  }
  EXPECT_EQ(keys.size(), 11u);
  EXPECT_EQ(FindSection("TERMINAL DOWNLOAD"), &SectionCatalogue()[3]);
  EXPECT_EQ(FindSection("GRUPPE4"), &SectionCatalogue()[10]);
  for (const char* other : {"Terminal Download", "GRUPPE 1", "NOPE"}) EXPECT_EQ(FindSection(other), nullptr);
}

TEST(SectionCatalogueTest, SharedTexts) {
  const SectionRow& down = *FindSection("TERMINAL DOWNLOAD");
  const SectionRow& up = *FindSection("TERMINAL UPLOAD");
  EXPECT_STREQ(down.monitorName, "Terminal Manager");
  EXPECT_STREQ(up.monitorName, "Terminal Manager");
  EXPECT_STREQ(down.errorTitle, "Terminal-Download-Fehler");
  EXPECT_STREQ(up.errorTitle, "Terminal-Upload-Fehler");
  EXPECT_STREQ(FindSection("LUG")->monitorName, "Lohn und Gehalt");
  EXPECT_STREQ(FindSection("LUG")->errorTitle, "LuG-Fehler");
}

}  // namespace

}  // namespace spekolar
