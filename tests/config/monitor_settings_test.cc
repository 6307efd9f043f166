#include "config/MonitorSettings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <utility>

namespace {

// Each key once, found whatever its case; the keys that fill one field as
// written name it, Typ and ID fill several; only numbers carry a unit.
TEST(MonitorSettingsTest, SchemaRows) {
  std::set<unsigned> bits;
  for (const SettingKey& key : kMonitorSettingsKeys) {
    SCOPED_TRACE(key.name);
    EXPECT_TRUE(bits.insert(key.bit).second);
    std::string lower = key.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindSettingKey(lower), &key);
    const bool several = key.parse == SettingParse::kTyp || key.parse == SettingParse::kIds;
    EXPECT_EQ(key.field == nullptr, several);
    const bool number = key.parse == SettingParse::kNumber || key.parse == SettingParse::kMegabytes;
    EXPECT_EQ(key.unit != nullptr, number);
    EXPECT_EQ(key.content, key.parse != SettingParse::kTyp);
  }
  EXPECT_EQ(FindSettingKey("Dateien"), nullptr);
}

TEST(MonitorSettingsTest, MegabytesEndAtTheFirstM) {
  const std::pair<const char*, const char*> cases[] = {
      {"500", "500"}, {"500MB", "500"}, {"500 MB", "500 "}, {"5M0M", "5"}, {"mb", "mb"}, {"", ""}};
  for (const auto& [value, megabytes] : cases) EXPECT_EQ(MegabytesOf(value), megabytes) << value;
}

}  // namespace
