#include "config/CredentialsFile.h"

#include <gtest/gtest.h>

#include "config/BlowfishTesting.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <filesystem>
#include <string>

#include "config/Blowfish.h"
#include "support/TempDir.h"

namespace spekolar {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Enc(const char* plain) { return EncryptCredentialValue(plain).str(); }

class CredentialsFileTest : public ::testing::Test {
 protected:
  // Writes the file and points a fresh object at it.
  void UseFile(const std::string& content) {
    dir_.Write("peldavorn.ini", content);
    ASSERT_TRUE(credentials_.SetFile(Path()));
  }
  CString Path() const { return CString(dir_ / "peldavorn.ini"); }

  spktest::TempDir dir_;
  CredentialsFile credentials_;
};

TEST_F(CredentialsFileTest, SetFileKeepsOnlyPathsThatAreFound) {
  EXPECT_FALSE(credentials_.SetFile(CString(dir_ / "missing.ini")));
  EXPECT_TRUE(credentials_.Path().IsEmpty());
  EXPECT_EQ(credentials_.GetValue("PASS"), "");  // no path: nothing to open

  dir_.Write("peldavorn.ini", "p;PASS;AB\n");
  EXPECT_TRUE(credentials_.SetFile(Path()));
  EXPECT_EQ(credentials_.Path(), Path());
  EXPECT_FALSE(credentials_.SetFile(CString(dir_ / "other.ini")));
  EXPECT_EQ(credentials_.Path(), Path());
  EXPECT_EQ(credentials_.GetValue("PASS"), "AB");

  // A folder is found by the search but cannot be read.
  dir_.Write("folder/inner.txt", "");
  EXPECT_TRUE(credentials_.SetFile(CString(dir_ / "folder")));
  EXPECT_EQ(credentials_.GetValue("PASS"), "");
}

// Raw lookups over the line rules: trimming, upper-casing of the whole
// line, X lines, the two delimiting semicolons, exact keys, first match.
TEST_F(CredentialsFileTest, GetValueFollowsTheLineRules) {
  struct Case {
    const char* name;
    std::string content;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"plain", "a;LOGIN;0011\n", "LOGIN", "0011"},
      {"no line end at the end of file", "a;LOGIN;0011", "LOGIN", "0011"},
      {"lower case key and value upper-cased", "a;login;00aa\n", "LOGIN", "00AA"},
      {"requested key is not upper-cased", "a;login;00aa\n", "login", ""},
      {"trimmed at both ends, CR LF", "  \t a;LOGIN;00 11 \t\r\n", "LOGIN", "00 11"},
      {"x line skipped", "x;LOGIN;01\na;LOGIN;02\n", "LOGIN", "02"},
      {"X line skipped", "X;LOGIN;01\n", "LOGIN", ""},
      {"x after leading blanks skipped", "   xyz;LOGIN;01\n", "LOGIN", ""},
      {"one semicolon skipped", "a;LOGIN\nLOGIN;01\na;LOGIN;02\n", "LOGIN", "02"},
      {"value keeps further semicolons", "a;LOGIN;01;02;;\n", "LOGIN", "01;02;;"},
      {"empty value", "a;LOGIN;\na;LOGIN;02\n", "LOGIN", ""},
      {"first of two lines wins", "a;LOGIN;01\na;LOGIN;02\n", "LOGIN", "01"},
      {"blanks around the key make it differ", "a; LOGIN;01\na;LOGIN ;02\n", "LOGIN", ""},
      {"empty prefix", ";LOGIN;03\n", "LOGIN", "03"},
      {"other lines and keys ignored", "[section]\nname=value\na;PASS;01\na;LOGINX;02\n", "LOGIN", ""},
      {"empty key never looked up", "a;;01\n", "", ""},
      {"empty file", "", "LOGIN", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.content);
    EXPECT_EQ(credentials_.GetValue(c.key).str(), c.value);
  }
}

// Reads take at most 399 characters; the rest of a longer line is a line
// of its own.
TEST_F(CredentialsFileTest, LongLinesAreReadInPiecesOf399) {
  const std::string valueOf391(391, 'A');
  const std::string keyPart = "a;LOGIN;";  // 8 characters: 8 + 391 = 399

  UseFile(keyPart + valueOf391 + "\n");
  EXPECT_EQ(credentials_.GetValue("LOGIN").str(), valueOf391);

  UseFile(keyPart + valueOf391 + "BC\n");
  EXPECT_EQ(credentials_.GetValue("LOGIN").str(), valueOf391);

  // The second piece of a long line is matched on its own.
  const std::string filler = "q;OTHER;" + std::string(391, '0');
  UseFile(filler + "z;PASS;0123\n");
  EXPECT_EQ(credentials_.GetValue("PASS").str(), "0123");

  // A key cut by the piece boundary is found in neither piece.
  UseFile(std::string(396, ' ') + "q;PASS;0123\n");
  EXPECT_EQ(credentials_.GetValue("PASS").str(), "");
}

TEST_F(CredentialsFileTest, GettersDecryptTheirKeys) {
  UseFile("db;db_system;" + Lower(Enc("MSSQL")) + "\n" +
          "db;DATABASE;" + Enc("PELDAVORN_DSN") + "\n" +
          "x;LOGIN;" + Enc("wrong") + "\n" +
          "db;LOGIN;" + Enc("sa") + "\n" +
          "db;PASS;" + Enc("Pa\xDF;w\xF6rt!") + "\n" +
          "db;SCHEMA;" + Enc("qrvystem") + "\n" +
          "db;SCHEMA;" + Enc("second") + "\n");
  EXPECT_EQ(credentials_.GetDbSystem(), "MSSQL");
  EXPECT_EQ(credentials_.GetDatabase(), "PELDAVORN_DSN");
  EXPECT_EQ(credentials_.GetLogin(), "sa");  // decrypted text keeps its case
  EXPECT_EQ(credentials_.GetPassword(), "Pa\xDF;w\xF6rt!");
  EXPECT_EQ(credentials_.GetSchema(), "qrvystem");
  EXPECT_TRUE(spktest::SharedContextIsZero());
}

TEST_F(CredentialsFileTest, EmptyOrAbsentValuesGiveEmptyText) {
  UseFile("db;DB_SYSTEM;\ndb;LOGIN;" + Enc("sa") + "\n");
  EXPECT_EQ(credentials_.GetDbSystem(), "");
  EXPECT_EQ(credentials_.GetPassword(), "");
  EXPECT_EQ(credentials_.GetLogin(), "sa");
}

TEST_F(CredentialsFileTest, EveryLookupReadsTheFileAgain) {
  UseFile("db;LOGIN;" + Enc("first") + "\n");
  EXPECT_EQ(credentials_.GetLogin(), "first");
  dir_.Write("peldavorn.ini", "db;LOGIN;" + Enc("second") + "\n");
  EXPECT_EQ(credentials_.GetLogin(), "second");
}

// Special files (a pipe, a device, a file past the size cap) are made with
// POSIX calls; the Windows build tests its own special files in
// windows_env_test.cc.
#ifndef _WIN32
// A FIFO or /dev/zero given as the credentials file is found by the search
// but never read (reading either would never end); nor is a file over the
// cap. Each holds no values, and Probe says why.
TEST_F(CredentialsFileTest, SpecialOrHugeFilesHoldNoValues) {
  ASSERT_EQ(mkfifo((dir_ / "fifo.ini").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", dir_ / "zero.ini");
  dir_.Write("huge.ini", "db;LOGIN;" + Enc("sa") + "\n");
  ASSERT_EQ(truncate((dir_ / "huge.ini").c_str(), platform::kMaxWholeFileBytes + 1), 0);
  struct Case {
    const char* name;
    platform::Status status;
  };
  for (const Case& c : {Case{"fifo.ini", platform::Status::kNotAFile},
                        Case{"zero.ini", platform::Status::kNotAFile},
                        Case{"huge.ini", platform::Status::kTooLarge}}) {
    ASSERT_TRUE(credentials_.SetFile(CString(dir_ / c.name))) << c.name;
    EXPECT_EQ(credentials_.Probe(), c.status) << c.name;
    EXPECT_EQ(credentials_.GetLogin(), "") << c.name;
  }
  UseFile("db;LOGIN;" + Enc("sa") + "\n");
  EXPECT_EQ(credentials_.Probe(), platform::Status::kOk);
}
#endif  // _WIN32

TEST(CredentialsDecryptTest, RoundTripsAndDropsPadding) {
  CredentialsFile credentials;
  const std::string plains[] = {"", "x", "Hello World", "exactly8", "sixteen bytes!!!",
                                "\xC4\xD6\xDC\xE4\xF6\xFC\xDF \x80 1252", std::string(300, '#')};
  for (const std::string& plain : plains) {
    SCOPED_TRACE(plain);
    CString hex = EncryptCredentialValue(plain);
    EXPECT_EQ(hex.GetLength(), static_cast<int>((plain.size() + 7) / 8 * 16));
    EXPECT_EQ(credentials.DecryptValue(hex).str(), plain);
    EXPECT_TRUE(spktest::SharedContextIsZero());
  }
  // 32 hex characters of an 11-character plaintext: the five padding zero
  // bytes are dropped.
  CString hex = EncryptCredentialValue("Hello World");
  ASSERT_EQ(hex.GetLength(), 32);
  EXPECT_EQ(credentials.DecryptValue(hex).GetLength(), 11);
}

TEST(CredentialsDecryptTest, IncompleteLastBlockIsIgnored) {
  CredentialsFile credentials;
  const std::string full = EncryptCredentialValue("twelve chars").str();  // two blocks
  const std::string first = credentials.DecryptValue(full.substr(0, 16)).str();
  ASSERT_EQ(first, "twelve c");
  for (size_t cut = 17; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(credentials.DecryptValue(full.substr(0, cut)).str(), first);
  }
  EXPECT_EQ(credentials.DecryptValue(full.substr(0, 15)).str(), "");
  EXPECT_EQ(credentials.DecryptValue(full + "F").str(), "twelve chars");
}

}  // namespace

}  // namespace spekolar
