#include "config/IniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  // Writes the file and points the IniFile at it in the program's form.
  void Use(const std::string& content) {
    dir_.Write("Spekolar.ini", content);
    std::string path = dir_ / "Spekolar.ini";
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    ini_.SetPath(path.c_str());
  }
  std::vector<std::string> Names() {
    std::vector<CString> names = {CString("stale")};
    ini_.GetSectionNames(names);
    std::vector<std::string> out;
    for (const CString& n : names) out.push_back(n.str());
    return out;
  }

  spktest::TempDir dir_;
  IniFile ini_;
};

TEST_F(IniFileTest, ReadsValuesAndSectionsOfTheFile) {
  Use("[SPEKOLAR]\r\nE-Mail = admin@example.org\r\n[Tagesabschluss]\r\nTyp=1,2\r\n"
      "[LAUFWERK]\r\n[tagesabschluss]\r\nTyp=9\r\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"SPEKOLAR", "Tagesabschluss", "LAUFWERK",
                                               "tagesabschluss"}));
  EXPECT_EQ(ini_.GetString("spekolar", "e-mail", "support"), "admin@example.org");
  EXPECT_EQ(ini_.GetString("TAGESABSCHLUSS", "Typ", ""), "1,2");
  EXPECT_EQ(ini_.GetString("LAUFWERK", "Typ", "none"), "none");
  EXPECT_EQ(ini_.GetString("LAUFWERK", "Typ"), "");
  EXPECT_EQ(ini_.GetString(CString("Tagesabschluss"), CString("Typ")), "1,2");
  // Null names give the default without a look at the file.
  EXPECT_EQ(ini_.GetString(nullptr, "Typ", "d"), "d");
  EXPECT_EQ(ini_.GetString("SPEKOLAR", nullptr), "");
}

TEST_F(IniFileTest, LongValuesAndLongNameListsComeBackWhole) {
  // Around the 512-byte steps of the growing buffers, and well beyond.
  for (size_t length : {510u, 511u, 512u, 513u, 1023u, 1024u, 5000u}) {
    std::string value(length, 'v');
    value[0] = 'A';
    value[length - 1] = 'Z';
    Use("[S]\nDatei=" + value + "\n");
    EXPECT_EQ(ini_.GetString("S", "Datei", "").str(), value) << length;
  }
  for (size_t count : {1u, 56u, 57u, 200u}) {
    // Names of 9 bytes each with their terminator: the list crosses 512.
    std::string content;
    std::vector<std::string> expected;
    for (size_t i = 0; i < count; ++i) {
      std::string name = "SECT" + std::to_string(10000 + i).substr(1);
      expected.push_back(name);
      content += "[" + name + "]\nk=v\n";
    }
    Use(content);
    EXPECT_EQ(Names(), expected) << count;
  }
}

TEST_F(IniFileTest, MissingFileOrNoSectionsGiveDefaultsAndNoNames) {
  Use("E-Mail=x\n");
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(ini_.GetString("SPEKOLAR", "E-Mail", "support"), "support");

  ini_.SetPath((dir_ / "missing.ini").c_str());
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(ini_.GetString("SPEKOLAR", "E-Mail", "support"), "support");

  IniFile noPath;
  std::vector<CString> names;
  noPath.GetSectionNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(noPath.GetString("SPEKOLAR", "E-Mail", "support"), "support");
  noPath.SetPath(nullptr);
  EXPECT_EQ(noPath.GetString("SPEKOLAR", "E-Mail"), "");
}

}  // namespace
