#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/registry/ExportEditor.h"
#include "platform/registry/Hive.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar::platform {
namespace {

using std::string_literals::operator""s;

// UTF-16LE with byte-order mark, from code points.
std::string Utf16File(std::u32string_view text) {
  std::string out = "\xFF\xFE";
  auto unit = [&](uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (char32_t c : text) {
    if (c > 0xFFFF) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

const RegistryStoreValue* Find(RegistryStore& store, std::string_view path,
                               std::string_view name) {
  RegistryStoreKey* key = store.FindKey(RegistryRoot::LocalMachine, path);
  if (!key) return nullptr;
  for (const RegistryStoreValue& v : key->values) {
    if (RegistryNamesEqual(v.name, name)) return &v;
  }
  return nullptr;
}

TEST(RegistryParse, Regedit4Forms) {
  RegistryStore store = ParseRegistryExport(
      "REGEDIT4\n"
      "; comment\r\n"
      "# also a comment\r\n"
      "[hkey_local_machine\\Software\\Ko]\r\n"
      "\"Str\"=\"C:\\\\P \\\"q\\\" \\n \xFC\"\r\n"
      "@=\"default\"\r\n"
      "\"Num\"=dword:0000002A\r\n"
      "\"Short\"=dword:7\r\n"
      "\"TooLong\"=dword:123456789\r\n"
      "\"Bin\"=hex:01,02,\\\r\n"
      "  03,ff\r\n"
      "\"Exp\"=hex(2):25,41,25,00\r\n"
      "\"Multi\"=hex(7):61,00,62,00,00\r\n"
      "\"None\"=hex(0):\r\n"
      "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"Gone\"=-\r\n"
      "\"Bad\"=hex:1g\r\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Deleted]\r\n"
      "\"Lost\"=\"y\"\r\n"
      "[HKEY_NOWHERE\\X]\r\n"
      "\"Lost\"=\"y\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KO]\r\n"
      "\"Num\"=dword:0000002b\r\n");
  ASSERT_TRUE(store.parsed);
  ASSERT_EQ(store.keys.size(), 1u) << "deleted and unknown-root keys are dropped, repeats merged";

  struct Case {
    const char* name;
    DWORD type;
    std::string data;
  } cases[] = {
      {"str", REG_SZ, "C:\\P \"q\" \\n \xFC\0"s},
      {"", REG_SZ, "default\0"s},
      {"Num", REG_DWORD, "\x2B\0\0\0"s},
      {"Short", REG_DWORD, "\x07\0\0\0"s},
      {"Bin", REG_BINARY, "\x01\x02\x03\xFF"s},
      {"Exp", REG_EXPAND_SZ, "%A%\0"s},
      {"Multi", REG_MULTI_SZ, "a\0b\0\0"s},
      {"None", REG_NONE, ""s},
      {"Q", 11, "\x01\0\0\0\0\0\0\0"s},
  };
  for (const Case& c : cases) {
    const RegistryStoreValue* v = Find(store, "software\\ko", c.name);
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->type, c.type) << c.name;
    EXPECT_EQ(v->data, c.data) << c.name;
  }
  for (const char* dropped : {"TooLong", "Gone", "Bad", "Lost"}) {
    EXPECT_EQ(Find(store, "Software\\Ko", dropped), nullptr) << dropped;
  }
}

TEST(RegistryParse, Utf16FileBecomesWindows1252) {
  std::u32string text =
      U"Windows Registry Editor Version 5.00\r\n\r\n"
      U"[HKEY_LOCAL_MACHINE\\Software\\K\u00D6]\r\n"
      U"\"Text\"=\"\u00FC\u20AC\u4E2D\U0001F600.\"\r\n"
      U"\"Exp\"=hex(2):25,00,fc,00,ac,20,00,00\r\n"
      U"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,\\\r\n"
      U"    00,00\r\n";
  RegistryStore store = ParseRegistryExport(Utf16File(text));
  ASSERT_TRUE(store.parsed);
  // Key names compare without regard to case, Windows-1252 letters too.
  ASSERT_NE(store.FindKey(RegistryRoot::LocalMachine, "SOFTWARE\\k\xF6"), nullptr);
  const RegistryStoreValue* t = Find(store, "Software\\K\xD6", "Text");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->data, "\xFC\x80??.\0"s);
  EXPECT_EQ(Find(store, "Software\\K\xD6", "Exp")->data, "%\xFC\x80\0"s);
  EXPECT_EQ(Find(store, "Software\\K\xD6", "Multi")->data, "a\0b\0\0"s);
}

TEST(RegistryParse, TextWithoutHeaderHoldsNoKeys) {
  const std::string garbage[] = {
      "[HKEY_LOCAL_MACHINE\\Software]\r\n\"a\"=\"b\"\r\n",
      "REGEDIT5\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n",
      "\xEF\xBB\xBFREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n",
      "\x00\x01\x02\xFF garbage"s,
  };
  for (const std::string& bytes : garbage) {
    RegistryStore store = ParseRegistryExport(bytes);
    EXPECT_FALSE(store.parsed) << bytes;
    EXPECT_TRUE(store.keys.empty()) << bytes;
  }
  RegistryStore blank = ParseRegistryExport(" \r\n\r\n");
  EXPECT_TRUE(blank.parsed);
  EXPECT_TRUE(blank.keys.empty());
}

TEST(RegistryFormat, WritesRegedit4AndReadsBack) {
  RegistryStore store;
  store.keys.push_back(RegistryStoreKey{RegistryRoot::LocalMachine, "Software\\K", {}});
  auto& values = store.keys.back().values;
  values.push_back({"Path", REG_SZ, "C:\\A \"b\"\0"s});
  values.push_back({"", REG_SZ, "d\0"s});
  values.push_back({"N", REG_DWORD, "\xAB\x00\x00\x10"s});
  values.push_back({"Unterminated", REG_SZ, "abc"s});
  values.push_back({"Odd", REG_DWORD, "\x01\x02"s});
  values.push_back({"M", REG_MULTI_SZ, "a\0b\0\0"s});
  values.push_back({"Long", REG_BINARY, std::string(100, '\xC3')});
  const std::vector<RegistryStoreValue> written = values;
  store.keys.push_back(RegistryStoreKey{RegistryRoot::CurrentUser, "X", {}});

  std::string text = FormatRegistryExport(store);
  const std::string head =
            "REGEDIT4\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\K]\r\n"
            "\"Path\"=\"C:\\\\A \\\"b\\\"\"\r\n"
            "@=\"d\"\r\n"
            "\"N\"=dword:100000ab\r\n"
            "\"Unterminated\"=hex(1):61,62,63\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\"Odd\"=hex(4):01,02\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\r\n"), std::string::npos);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    start = end + 2;
  }

  RegistryStore back = ParseRegistryExport(text);
  ASSERT_EQ(back.keys.size(), 2u);
  ASSERT_EQ(back.keys[0].values.size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(back.keys[0].values[i].name, written[i].name);
    EXPECT_EQ(back.keys[0].values[i].type, written[i].type) << written[i].name;
    EXPECT_EQ(back.keys[0].values[i].data, written[i].data) << written[i].name;
  }
}

// The Windows functions over a store file in a fresh folder, on a hive of
// the test's own.
class RegistryFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SPEKOLAR_REGISTRY", store_path().c_str(), 1);
  }
  void TearDown() override { unsetenv("SPEKOLAR_REGISTRY"); }
  std::string store_path() const { return dir_ / "registry.reg"; }
  void WriteStore(const std::string& bytes) { dir_.Write("registry.reg", bytes); }
  std::string ReadStore() const { return dir_.Read("registry.reg"); }
  // Creates the key `path` under HKEY_LOCAL_MACHINE with the rights to query
  // and set values, and checks that it is new; nullptr when that fails.
  static HKEY CreateNewKey(const char* path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    return key;
  }
  // The key's number of values, through RegQueryInfoKeyA, which is to
  // return `result`.
  static DWORD ValueCount(HKEY key, LONG result = ERROR_SUCCESS) {
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                               nullptr, nullptr, nullptr, nullptr),
              result);
    return count;
  }

  spktest::TempDir dir_;
  ScopedRegistryHive hive_;
};

TEST_F(RegistryFunctions, CreateSetEnumerateThroughTheFile) {
  HKEY key = CreateNewKey("Software\\K\\P");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(ReadStore(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\K\\P]\r\n\r\n");
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\x"), 5),
            ERROR_SUCCESS);
  EXPECT_NE(ReadStore().find("\"Path\"=\"C:\\\\x\"\r\n"), std::string::npos);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // Ancestors exist; names ignore case; a missing key is not found.
  HKEY parent = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", 0, KEY_QUERY_VALUE, &parent),
            ERROR_SUCCESS);
  DWORD subKeys = 0, values = 9;
  EXPECT_EQ(RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(values, 0u);
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, "p", 0, KEY_QUERY_VALUE, &sub), ERROR_SUCCESS);
  int somewhere = 0;
  HKEY missing = reinterpret_cast<HKEY>(&somewhere);
  EXPECT_EQ(RegOpenKeyExA(parent, "Q", 0, KEY_QUERY_VALUE, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);

  EXPECT_EQ(ValueCount(sub), 1u);
  char name[8];
  DWORD nameSize = sizeof name, type = 0, dataSize = 8;
  BYTE data[8];
  ASSERT_EQ(RegEnumValueA(sub, 0, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Path");
  EXPECT_EQ(nameSize, 4u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(dataSize, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 5), "C:\\x\0"s);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(sub, 1, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_NO_MORE_ITEMS);
  // The query right alone does not allow writing.
  EXPECT_EQ(RegSetValueExA(sub, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
            ERROR_ACCESS_DENIED);
  RegCloseKey(sub);
  RegCloseKey(parent);
}

TEST_F(RegistryFunctions, TooSmallBuffersAreLeftAlone) {
  WriteStore("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"LongName\"=hex:01,02,03,04,05\r\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  struct Case {
    DWORD nameSize, dataSize;
  } cases[] = {{20, 4}, {8, 16}, {9, 0}};
  for (const Case& c : cases) {
    char name[20];
    BYTE data[16];
    std::memset(name, 'N', sizeof name);
    std::memset(data, 'D', sizeof data);
    DWORD nameSize = c.nameSize, dataSize = c.dataSize, type = 99;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 5u) << "needed size reported";
    EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, 'N'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), sizeof data), std::string(16, 'D'));
    EXPECT_EQ(type, 99u);
  }
  RegCloseKey(key);
}

TEST_F(RegistryFunctions, RefusedWritesAndUnreadableStores) {
  const std::string good = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\r\n";
  WriteStore(good);
  {
    spktest::FaultInjectionEnv env;
    env.SetNotWritable();
    ScopedEnv scoped(&env);
    HKEY key = nullptr;
    for (REGSAM rights : {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_QUERY_VALUE}) {
      EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "New", 0, nullptr, 0, rights, nullptr, &key,
                                nullptr),
                ERROR_ACCESS_DENIED);
      EXPECT_EQ(key, nullptr);
    }
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  EXPECT_EQ(ReadStore(), good);

  // A file that is not an export is not replaced by creating a key, only by
  // an explicit write.
  WriteStore("not a registry");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_BADDB);
  EXPECT_EQ(ReadStore(), "not a registry");
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "V", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>("\x01\0\0\0"), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadStore(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\"V\"=dword:00000001\r\n\r\n");
}

// A UTF-16 file of odd length: its last byte is half a character. The
// bytes "0A 00" straddling two units end no line, and a key added after the
// odd byte must not be written one byte out of step (it could then never be
// opened).
TEST_F(RegistryFunctions, OddLastByteOfAUtf16Store) {
  const std::string header = Utf16File(U"Windows Registry Editor Version 5.00\r\n");
  const std::string key = Utf16File(U"[HKEY_LOCAL_MACHINE\\Software\\P]\r\n").substr(2);
  struct Case {
    const char* name;
    std::string before;
    LONG created;
    std::string after;
  };
  const Case cases[] = {
      {"U+0A20 and a half: no blank line", "\xFF\xFE\x20\x0A\x00"s, ERROR_BADDB, "\xFF\xFE\x20\x0A\x00"s},
      {"odd byte after the header", header + "A", ERROR_SUCCESS,
       header + Utf16File(U"\r\n").substr(2) + key + Utf16File(U"\r\n").substr(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteStore(c.before);
    HKEY opened = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\P", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &opened, nullptr),
              c.created);
    if (opened != nullptr) RegCloseKey(opened);
    EXPECT_EQ(ReadStore(), c.after);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\P", 0, KEY_QUERY_VALUE, &opened),
              c.created == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (opened != nullptr) RegCloseKey(opened);
  }
}

// The operator's own export is edited, not rewritten: creating the product
// key and setting values change only their own lines, in the file's
// encoding and line ends, and a link to the store stays a link.
TEST_F(RegistryFunctions, WritesKeepEveryOtherByte) {
  struct Form {
    const char* name;
    bool utf16;
    const char* eol;
    bool header5;  // the header, not the encoding, decides how hex(7) texts are stored
  };
  const Form forms[] = {{"REGEDIT4 CR LF", false, "\r\n", false},
                        {"REGEDIT4 LF", false, "\n", false},
                        {"5.00 UTF-16", true, "\r\n", true},
                        {"5.00 header in 8 bits", false, "\r\n", true},
                        {"REGEDIT4 header in UTF-16", true, "\r\n", false}};
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    // Encodes lines of text (code points; below 0x100 as in Windows-1252
    // for the 8-bit form) in the form's encoding, each with its line end.
    auto encode = [&](std::initializer_list<std::u32string_view> lines) {
      std::u32string text;
      for (std::u32string_view line : lines) {
        text += line;
        for (const char* e = form.eol; *e; ++e) text += static_cast<char32_t>(*e);
      }
      if (form.utf16) return Utf16File(text).substr(2);
      std::string bytes;
      for (char32_t c : text) bytes += static_cast<char>(c);
      return bytes;
    };
    const std::string bom = form.utf16 ? "\xFF\xFE" : "";
    const std::u32string_view header =
        form.header5 ? U"Windows Registry Editor Version 5.00" : U"REGEDIT4";
    const std::string before =
        bom + encode({header, U"", U"; exported for Spekolar", U"[HKEY_FOO\\Unknown]",
                      U"\"Kept\"=\"x\"", U"", U"[HKEY_LOCAL_MACHINE\\Software\\Other]",
                      U"\"Text\"=\"\u00fc\u4e2d\U0001F600\"", U"this line means nothing",
                      U"# another comment", U""});
    dir_.Write("real/store.reg", before);
    std::filesystem::remove(store_path());
    std::filesystem::create_symlink(dir_ / "real/store.reg", store_path());

    HKEY key = CreateNewKey("Software\\KORVANE\\PELDAVORN");
    ASSERT_NE(key, nullptr);
    const std::string created = before + encode({U"[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]", U""});
    EXPECT_EQ(dir_.Read("real/store.reg"), created);
    EXPECT_TRUE(std::filesystem::is_symlink(store_path()));

    // A new value goes after its key's last line; a changed one replaces
    // its own line; the value of another key goes into that key's block.
    ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\P\xFC"), 6),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\x2a\0\0\0"), 4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "path", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\"), 4),
              ERROR_SUCCESS);
    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\other", 0, KEY_SET_VALUE, &other),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(other, "M", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0\0"), 3),
              ERROR_SUCCESS);
    const std::u32string_view multi = form.header5 ? U"\"M\"=hex(7):61,00,00,00,00,00" : U"\"M\"=hex(7):61,00,00";
    EXPECT_EQ(dir_.Read("real/store.reg"),
              bom + encode({header, U"", U"; exported for Spekolar", U"[HKEY_FOO\\Unknown]",
                            U"\"Kept\"=\"x\"", U"", U"[HKEY_LOCAL_MACHINE\\Software\\Other]",
                            U"\"Text\"=\"\u00fc\u4e2d\U0001F600\"", U"this line means nothing", multi,
                            U"# another comment", U"",
                            U"[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]",
                            U"\"Path\"=\"D:\\\\\"", U"\"N\"=dword:0000002a", U""}));
    EXPECT_TRUE(std::filesystem::is_symlink(store_path()));
    RegCloseKey(other);
    RegCloseKey(key);
  }
}

// A key with thousands of values is read value by value through one open
// handle; the store is read and parsed once for all of them. (Reading it
// once per value made 4,000 values take minutes.)
TEST_F(RegistryFunctions, AKeysValuesAreEnumeratedFromOneRead) {
  std::string store = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";
  const int kValues = 4000;
  for (int i = 0; i < kValues; ++i) store += "\"Value" + std::to_string(i) + "\"=dword:00000001\r\n";
  // The same names again in another case: each replaces its value in place.
  for (int i = 0; i < kValues; ++i) store += "\"VALUE" + std::to_string(i) + "\"=dword:00000002\r\n";
  WriteStore(store);
  spktest::CountingEnv env;
  ScopedEnv scoped(&env);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  const DWORD count = ValueCount(key);
  ASSERT_EQ(count, static_cast<DWORD>(kValues));
  for (DWORD i = 0; i < count; ++i) {
    char name[32];
    DWORD nameSize = sizeof name, type = 0, size = 4;
    BYTE data[4];
    ASSERT_EQ(RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &size), ERROR_SUCCESS);
    ASSERT_EQ(name, "Value" + std::to_string(i));
    ASSERT_EQ(data[0], 2);
  }
  RegCloseKey(key);
  EXPECT_EQ(env.reads, 1);
  // Once the last handle is closed, the next call sees the file anew.
  WriteStore("REGEDIT4\r\n");
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env.reads, 2);
}

// A hive's handles and kept store are its own: another hive refuses the
// handles and reads the file itself; a handle left open on a hive goes with
// it.
TEST_F(RegistryFunctions, HandlesAndTheKeptStoreBelongToTheirHive) {
  WriteStore("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=dword:00000001\r\n");
  HKEY outer = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &outer), ERROR_SUCCESS);
  WriteStore("REGEDIT4\r\n");
  {
    ScopedRegistryHive inner;
    ValueCount(outer, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(outer), ERROR_INVALID_HANDLE);
    HKEY left = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_QUERY_VALUE, &left), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &left),
              ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(ValueCount(outer), 1u) << "kept while the handle is open";
  EXPECT_EQ(RegCloseKey(outer), ERROR_SUCCESS);
}

TEST_F(RegistryFunctions, StoreLocation) {
  EXPECT_EQ(RegistryStorePath(), CString(store_path()));
  unsetenv("SPEKOLAR_REGISTRY");
  EXPECT_EQ(RegistryStorePath(), "/etc/peldavorn/registry.reg");
}

}  // namespace
}  // namespace spekolar::platform
