#include "config/RegistryKey.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/registry/ExportParser.h"
#include "platform/registry/Hive.h"
#include "support/TempDir.h"

namespace spekolar {

namespace {

using platform::BYTE;
using platform::HKEY_LOCAL_MACHINE;
using std::string_literals::operator""s;

constexpr platform::REGSAM kQuerySet = platform::KEY_QUERY_VALUE | platform::KEY_SET_VALUE;

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SPEKOLAR_REGISTRY", (dir_ / "registry.reg").c_str(), 1); }
  void TearDown() override { unsetenv("SPEKOLAR_REGISTRY"); }
  void WriteStore(const std::string& values) {
    dir_.Write("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\K]\r\n" + values);
  }
  // The values of Software\K as the store file now holds them.
  std::vector<platform::RegistryStoreValue> StoredValues() {
    platform::RegistryStore store = platform::ParseRegistryExport(dir_.Read("registry.reg"));
    platform::RegistryStoreKey* key = store.FindKey(platform::RegistryRoot::LocalMachine,
                                                    "Software\\K");
    return key ? key->values : std::vector<platform::RegistryStoreValue>();
  }

  spktest::TempDir dir_;
  platform::ScopedRegistryHive hive_;
};

TEST_F(RegistryKeyTest, LoadsEachTypeAsText) {
  WriteStore(
      "\"Str\"=\"C:\\\\Pel\"\r\n"
      "\"Num\"=dword:0000002a\r\n"
      "\"Max\"=dword:ffffffff\r\n"
      "\"Bin\"=hex:41,42,00,43\r\n"
      "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\r\n"
      "\"Unterminated\"=hex(1):78,79\r\n"
      "\"Exp\"=hex(2):25,41,25,00\r\n"
      "\"None\"=hex(0):01\r\n"
      "\"Huge\"=\"" + std::string(2048, 'h') + "\"\r\n"
      "\"Edge\"=\"" + std::string(2047, 'e') + "\"\r\n");
  RegistryKey key(0);
  ASSERT_TRUE(key.OpenKey("software\\k", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));

  struct Case {
    const char* name;
    bool hasValue;
    std::string text;
  } cases[] = {
      {"STR", true, "C:\\Pel"},
      {"Num", true, "42"},
      {"Max", true, "4294967295"},
      {"Bin", true, "AB"},
      {"Multi", true, "one"},
      {"Unterminated", true, "xy"},
      {"Exp", false, ""},
      {"None", false, ""},
      {"Huge", false, ""},  // 2049 bytes with the terminator: over the data buffer
      {"Edge", true, std::string(2047, 'e')},
      {"Missing", false, ""},
  };
  for (const Case& c : cases) {
    RegistryValue& value = key.Value(c.name);
    EXPECT_EQ(value.HasValue(), c.hasValue) << c.name;
    EXPECT_EQ(value.AsString().str(), c.text) << c.name;
  }
  // Names in another case give the same object; a missing name is added once.
  EXPECT_EQ(&key.Value("num"), &key.Value("NUM"));
  EXPECT_EQ(&key.Value("missing"), &key.Value("Missing"));
}

TEST_F(RegistryKeyTest, SettersWriteBackUnlessLoading) {
  RegistryKey key(RegistryKey::CreateIfMissing);
  ASSERT_TRUE(key.OpenKey("Software\\K", HKEY_LOCAL_MACHINE, kQuerySet, false));
  key.Value("S").SetString(std::string(3000, 's'));
  key.Value("D").SetDword(0x01020304);
  key.Value("B").SetBinary(reinterpret_cast<const BYTE*>("\x00\x01"), 2);
  key.Value("Empty").SetBinary(reinterpret_cast<const BYTE*>("x"), 0);
  key.Value("M").SetMultiString(reinterpret_cast<const BYTE*>("a\0bc\0\0"), 6);
  EXPECT_FALSE(key.Value("Empty").HasValue());
  EXPECT_EQ(key.Value("S").AsString().GetLength(), 2047);
  EXPECT_EQ(key.Value("M").AsString(), "a");

  std::vector<platform::RegistryStoreValue> stored = StoredValues();
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].data, std::string(2047, 's') + '\0');
  EXPECT_EQ(stored[1].type, platform::REG_DWORD);
  EXPECT_EQ(stored[1].data, "\x04\x03\x02\x01"s);
  EXPECT_EQ(stored[2].data, "\x00\x01"s);
  EXPECT_EQ(stored[3].type, platform::REG_MULTI_SZ);
  EXPECT_EQ(stored[3].data, "a\0bc\0\0"s);

  // Opening reads the values back without writing them again.
  RegistryKey reader(RegistryKey::CreateIfMissing);
  ASSERT_TRUE(reader.OpenKey("Software\\K", HKEY_LOCAL_MACHINE, kQuerySet, false));
  EXPECT_EQ(reader.ValueCount(), 4u);
  EXPECT_EQ(reader.Value("d").AsString(), "16909060");
  EXPECT_EQ(StoredValues().size(), 4u);
}

TEST_F(RegistryKeyTest, OpenOnDemandAndReloadOnRead) {
  WriteStore("\"V\"=\"old\"\r\n");
  RegistryKey key(RegistryKey::OpenOnDemand | RegistryKey::ReloadOnRead);
  ASSERT_TRUE(key.OpenKey("Software\\K", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));
  EXPECT_FALSE(key.IsOpen()) << "closed again after loading";
  EXPECT_EQ(key.ModeFlags() & RegistryKey::Loading, 0u);

  key.Value("W").SetString("new");
  EXPECT_FALSE(key.IsOpen());
  ASSERT_EQ(StoredValues().size(), 2u);
  EXPECT_EQ(StoredValues()[1].data, "new\0"s);

  // Another writer changes the store; the next read sees it.
  WriteStore("\"V\"=\"changed\"\r\n");
  EXPECT_EQ(key.Value("v").AsString(), "changed");
}

TEST_F(RegistryKeyTest, OpeningAnotherKeyDropsTheValues) {
  WriteStore("\"V\"=\"x\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n");
  RegistryKey key(0);
  ASSERT_TRUE(key.OpenKey("Software\\K", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));
  ASSERT_TRUE(key.OpenKey("SOFTWARE\\k", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));
  EXPECT_EQ(key.ValueCount(), 1u);
  ASSERT_TRUE(key.OpenKey("Software\\Other", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));
  EXPECT_EQ(key.ValueCount(), 0u);
  EXPECT_FALSE(key.OpenKey("Software\\Absent", HKEY_LOCAL_MACHINE, platform::KEY_QUERY_VALUE, false));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(key.LoadValues());
}

}  // namespace

}  // namespace spekolar
