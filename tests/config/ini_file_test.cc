#include "config/IniFile.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar {

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

// Special files (a pipe, a device, a file past the size cap) are made with
// POSIX calls; the Windows build tests its own special files in
// windows_env_test.cc.
#ifndef _WIN32
// Tells a file that is missing from one that is there but cannot be read;
// neither is ever waited for, and both hold nothing.
TEST_F(IniFileTest, LoadSaysWhetherTheFileCouldBeRead) {
  ASSERT_EQ(mkfifo((dir_ / "fifo.ini").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", dir_ / "zero.ini");
  std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "dangling.ini");
  dir_.Write("big.ini", "[S]\nk=v\n");
  ASSERT_EQ(truncate((dir_ / "big.ini").c_str(), platform::kMaxWholeFileBytes + 1), 0);
  dir_.Write("folder.ini/x", "");
  dir_.Write("good.ini", "\xEF\xBB\xBF[S]\nk=v\n");
  struct Case {
    const char* name;
    platform::Status status;
  };
  const Case cases[] = {
      {"good.ini", platform::Status::kOk},          {"missing.ini", platform::Status::kNotFound},
      {"dangling.ini", platform::Status::kNotFound}, {"folder.ini", platform::Status::kIsDirectory},
      {"fifo.ini", platform::Status::kNotAFile},     {"zero.ini", platform::Status::kNotAFile},
      {"big.ini", platform::Status::kTooLarge},
  };
  for (const Case& c : cases) {
    ini_.SetPath((dir_ / c.name).c_str());
    EXPECT_EQ(ini_.Load(), c.status) << c.name;
    EXPECT_EQ(ini_.GetString("S", "k", "-"), c.status == platform::Status::kOk ? "v" : "-") << c.name;
  }
}
#endif  // _WIN32

// What a pass asks of a large configuration costs one read and one parse:
// each lookup is one step, and a long value is copied a few times, not once
// per 512 bytes. (Reading the file per lookup made 5,000 sections take over
// a minute, and a 1 MB value half a minute.)
TEST_F(IniFileTest, AWholePassReadsTheFileOnce) {
  const int kSections = 5000;
  std::string content = "[SPEKOLAR]\nE-Mail=a@b\n";
  for (int i = 0; i < kSections; ++i) {
    content += "[GRUPPE" + std::to_string(i) + "]\nTyp=1,2\nDatei=x" + std::to_string(i) + ".log\n";
  }
  const std::string big(1 << 20, 'v');
  content += "[BIG]\nDatei=" + big + "\n";
  Use(content);
  spktest::CountingEnv env;
  platform::ScopedEnv scoped(&env);
  std::vector<CString> names;
  ini_.GetSectionNames(names);
  ASSERT_EQ(names.size(), static_cast<size_t>(kSections + 2));
  for (const CString& name : names) {
    for (const char* key : {"Typ", "Datei", "Meldungstyp", "MinLaufzeit", "MaxLaufzeit",
                            "MinGroesse", "ID"}) {
      ini_.GetString(name.c_str(), key, "");
    }
  }
  EXPECT_EQ(ini_.GetString("gruppe4999", "datei", "").str(), "x4999.log");
  EXPECT_EQ(ini_.GetString("BIG", "Datei", "").str(), big);
  EXPECT_EQ(env.reads, 1);
}

}  // namespace

}  // namespace spekolar
