#include "config/MonitorSettings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace spekolar {

namespace {

// Each key once, found whatever its case; a key that fills one field as
// written names it (Typ and ID fill several); only numbers carry a unit;
// every key but Typ is content.
TEST(MonitorSettingsTest, SchemaRows) {
  std::set<unsigned> bits;
  for (const SettingKey& key : kMonitorSettingsKeys) {
    SCOPED_TRACE(key.name);
    EXPECT_TRUE(bits.insert(key.bit).second);
    std::string lower = key.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindSettingKey(lower), &key);
    EXPECT_EQ(key.field == nullptr, key.parse == SettingParse::kTyp || key.parse == SettingParse::kIds);
    EXPECT_EQ(key.unit != nullptr, key.parse == SettingParse::kNumber || key.parse == SettingParse::kMegabytes);
    EXPECT_EQ(key.content, key.parse != SettingParse::kTyp);
  }
  EXPECT_EQ(FindSettingKey("Dateien"), nullptr);
}

}  // namespace

}  // namespace spekolar
