#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/MemoryEnv.h"

namespace spekolar::platform {
namespace {

std::vector<std::string> SectionNames(const ProfileData& data) {
  std::vector<std::string> names;
  for (const ProfileSection& s : data.sections) names.push_back(s.name);
  return names;
}

// "<missing>" when the key is not found.
std::string Value(const ProfileData& data, const char* section, const char* key) {
  std::string value;
  return data.GetValue(section, key, &value) ? value : "<missing>";
}

TEST(ParseProfileTest, WindowsRulesForLinesKeysAndValues) {
  const std::string text =
      "Typ=before any section\r\n"
      "[ Tagesabschluss ]\r\n"
      "  Typ \t=\t 1,2  \r\n"
      "Datei=C:\\log\\TA*.log ; not a comment\r\n"
      "; Datei=commented out\r\n"
      "  ;MinLaufzeit=also commented\r\n"
      "#MaxLaufzeit=9\r\n"
      "Meldungstyp=\"  E-MAIL \"\r\n"
      "Q1='single'\r\n"
      "Q2=\"mixed'\r\n"
      "Q3=\"inner\" and \"outer\"\r\n"
      "Q4=\"\r\n"
      "no equals sign\r\n"
      "Typ=second wins not\r\n"
      "Empty=\r\n"
      "\r\n"
      "[LAUFWERK] trailing text\n"
      "ID=C,D\n"
      "[broken header\r"
      "Key=cr only\r"
      "[tagesabschluss]\n"
      "Extra=only in the second occurrence\n";
  ProfileData data = ParseProfile(text);
  EXPECT_EQ(SectionNames(data), (std::vector<std::string>{"Tagesabschluss", "LAUFWERK",
                                                          "broken header", "tagesabschluss"}));
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"TAGESABSCHLUSS", "typ", "1,2"},
      {"Tagesabschluss", "Datei", "C:\\log\\TA*.log ; not a comment"},
      {"Tagesabschluss", "#MaxLaufzeit", "9"},
      {"Tagesabschluss", "MinLaufzeit", "<missing>"},
      {"Tagesabschluss", "Meldungstyp", "  E-MAIL "},
      {"Tagesabschluss", "Q1", "single"},
      {"Tagesabschluss", "Q2", "\"mixed'"},
      {"Tagesabschluss", "Q3", "inner\" and \"outer"},
      {"Tagesabschluss", "Q4", "\""},
      {"Tagesabschluss", "no equals sign", "<missing>"},
      {"Tagesabschluss", "Empty", ""},
      {"Tagesabschluss", "Extra", "<missing>"},  // only the first occurrence counts
      {"laufwerk", "id", "C,D"},
      {"BROKEN HEADER", "key", "cr only"},
      {"nosuch", "Typ", "<missing>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Value(data, c.section, c.key), c.value) << c.section << "/" << c.key;
  }
}

TEST(ParseProfileTest, FileWithoutSectionsAndEncodings) {
  EXPECT_TRUE(ParseProfile("a=1\nb=2\n").sections.empty());
  EXPECT_TRUE(ParseProfile("").sections.empty());

  // UTF-16LE with its byte-order mark: "[S\xFC]\r\nk=\x20AC\x4E2D\r\n".
  const std::string utf16("\xFF\xFE[\0S\0\xFC\0]\0\r\0\n\0k\0=\0\xAC\x20\x2D\x4E\r\0\n\0", 26);
  ProfileData wide = ParseProfile(utf16);
  EXPECT_EQ(SectionNames(wide), (std::vector<std::string>{"S\xFC"}));
  EXPECT_EQ(Value(wide, "s\xFC", "K"), "\x80?");

  // A UTF-8 byte-order mark at the start is skipped; anywhere else its
  // bytes are text.
  ProfileData utf8 = ParseProfile("\xEF\xBB\xBF[A]\nk=1\n[B]\nk=\xEF\xBB\xBF\n");
  EXPECT_EQ(SectionNames(utf8), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Value(utf8, "b", "k"), "\xEF\xBB\xBF");
}

class ProfileCallsTest : public ::testing::Test {
 protected:
  ProfileCallsTest() : scoped_(&env_) {
    env_.files["x.ini"] = "[Spekolar]\nE-Mail=value\n[A]\n[BB]\n[A]\n[]\n";
  }
  std::string Buf(uint32_t n) const { return std::string(buf_, n); }

  spktest::MemoryEnv env_;
  ScopedEnv scoped_;
  char buf_[80];
};

TEST_F(ProfileCallsTest, ValueCutToTheBufferAsOnWindows) {
  struct Case {
    const char* key;
    const char* def;
    uint32_t size;
    uint32_t result;
    const char* text;
  };
  const Case cases[] = {
      {"e-mail", "d", 64, 5, "value"},
      {"E-Mail", "d", 6, 5, "value"},
      {"E-Mail", "d", 5, 4, "valu"},
      {"E-Mail", "d", 4, 3, "val"},
      {"E-Mail", "d", 1, 0, ""},
      {"missing", "default  ", 64, 7, "default"},  // trailing blanks of a default go
      {"missing", "default", 4, 3, "def"},
      {"missing", nullptr, 64, 0, ""},
  };
  for (const Case& c : cases) {
    std::fill(std::begin(buf_), std::end(buf_), '#');
    EXPECT_EQ(GetPrivateProfileStringA("SPEKOLAR", c.key, c.def, buf_, c.size, "x.ini"),
              c.result)
        << c.key << " size " << c.size;
    EXPECT_STREQ(buf_, c.text) << c.key << " size " << c.size;
  }
  EXPECT_EQ(GetPrivateProfileStringA("SPEKOLAR", "E-Mail", "d", buf_, 64, "missing.ini"), 1u);
  EXPECT_STREQ(buf_, "d");
  buf_[0] = '#';
  EXPECT_EQ(GetPrivateProfileStringA("SPEKOLAR", "E-Mail", "d", buf_, 0, "x.ini"), 0u);
  EXPECT_EQ(buf_[0], '#');
}

TEST_F(ProfileCallsTest, SectionNameListEndsWithTwoNulsWhenCut) {
  // The whole list "Spekolar\0A\0BB\0A\0\0" is 17 bytes; a repeated section
  // is listed each time, an empty name not at all.
  const std::string whole("Spekolar\0A\0BB\0A\0\0", 17);
  struct Case {
    uint32_t size;
    uint32_t result;
    std::string bytes;  // the first `size` bytes of the buffer
  };
  const Case cases[] = {
      {64, 16, whole},
      {18, 16, whole},
      {17, 15, whole},  // an exact fit counts as too small
      {12, 10, std::string("Spekolar\0A\0\0", 12)},
      {11, 9, std::string("Spekolar\0\0\0", 11)},  // "A" cut to nothing: two NULs
      {5, 3, std::string("Spe\0\0", 5)},
      {2, 0, std::string("\0\0", 2)},
      {1, 0, std::string("\0", 1)},
  };
  for (const Case& c : cases) {
    std::fill(std::begin(buf_), std::end(buf_), '#');
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buf_, c.size, "x.ini"), c.result) << c.size;
    EXPECT_EQ(Buf(static_cast<uint32_t>(c.bytes.size())), c.bytes) << c.size;
    EXPECT_EQ(buf_[c.size], '#') << c.size;  // nothing beyond the buffer
  }
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buf_, 64, "missing.ini"), 0u);
  EXPECT_EQ(buf_[0], '\0');
  // A null section gives the same list.
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, "k", "d", buf_, 64, "x.ini"), 16u);
  EXPECT_EQ(Buf(17), whole);
}

}  // namespace
}  // namespace spekolar::platform
