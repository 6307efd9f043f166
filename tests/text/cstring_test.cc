#include "text/CString.h"

#include <gtest/gtest.h>

#include <string>

namespace spekolar {

namespace {

TEST(CStringTest, CutsClampToTheText) {
  const CString s("2024-03-05");
  struct Case {
    CString got;
    const char* want;
  } cases[] = {
      {s.Left(4), "2024"},        {s.Left(0), ""},          {s.Left(-3), ""},
      {s.Left(99), "2024-03-05"}, {s.Right(2), "05"},       {s.Right(99), "2024-03-05"},
      {s.Right(-1), ""},          {s.Mid(5, 2), "03"},      {s.Mid(8, 10), "05"},
      {s.Mid(10, 1), ""},         {s.Mid(50, 2), ""},       {s.Mid(-2, 4), "2024"},
      {s.Mid(3, 0), ""},          {s.Mid(3, -1), ""},       {s.Mid(21), ""},
      {s.Mid(5), "03-05"},        {CString().Mid(0, 5), ""}, {CString("ab").Mid(1), "b"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got.str(), std::string(c.want));
}

TEST(CStringTest, FindGivesFirstOccurrenceOrMinusOne) {
  const CString s("Fehler; Fehler");
  EXPECT_EQ(s.Find("Fehler"), 0);
  EXPECT_EQ(s.Find("Fehler", 1), 8);
  EXPECT_EQ(s.Find(';'), 6);
  EXPECT_EQ(s.Find("fehler"), -1);  // case-sensitive
  EXPECT_EQ(s.Find('x'), -1);
  EXPECT_EQ(s.Find("F", 99), -1);
  EXPECT_EQ(s.Find('F', -1), -1);
  EXPECT_EQ(CString().Find("a"), -1);
}

TEST(CStringTest, TextMayHoldAnyByte) {
  CString s(std::string("a\0b\xFC", 4));
  EXPECT_EQ(s.GetLength(), 4);
  EXPECT_EQ(s.Find('b'), 2);
  EXPECT_EQ(s.Mid(3).str(), "\xFC");
}

TEST(CStringTest, TrimRemovesBlanksTabsAndLineEndsAtTheEnds) {
  CString s(" \t a b \r\n");
  s.Trim();
  EXPECT_EQ(s.str(), "a b");
  CString left("\n x ");
  EXPECT_EQ(left.TrimLeft().str(), "x ");
  CString right(" x \t\r\n");
  EXPECT_EQ(right.TrimRight().str(), " x");
  CString blank(" \r\n\t ");
  EXPECT_TRUE(blank.Trim().IsEmpty());
  CString inner("a\nb");
  EXPECT_EQ(inner.Trim().str(), "a\nb");
}

// Trimmed gives what Trim leaves, as a view into its argument: every text
// of up to four bytes from white space, NUL, 0xA0 (no white space in
// Windows-1252 for Trim) and a letter.
TEST(CStringTest, TrimmedViewIsWhatTrimLeaves) {
  const std::string bytes(" \t\r\n\v\f\0\xA0" "a", 9);
  for (int length = 0; length <= 4; ++length) {
    int combinations = 1;
    for (int i = 0; i < length; ++i) combinations *= static_cast<int>(bytes.size());
    for (int n = 0; n < combinations; ++n) {
      std::string text;
      for (int i = 0, rest = n; i < length; ++i, rest /= static_cast<int>(bytes.size())) {
        text += bytes[static_cast<size_t>(rest) % bytes.size()];
      }
      CString trimmed(text);
      trimmed.Trim();
      std::string_view view = CString::Trimmed(text);
      ASSERT_EQ(view, trimmed.view()) << "text " << n << " of length " << length;
      ASSERT_TRUE(view.empty() || (view.data() >= text.data() &&
                                   view.data() + view.size() <= text.data() + text.size()));
    }
  }
}

TEST(CStringTest, UpperCasingTouchesOnlyAsciiLetters) {
  CString s("e-mail fenster \xFC\xE4 z{");
  s.MakeUpper();
  EXPECT_EQ(s.str(), "E-MAIL FENSTER \xFC\xE4 Z{");
}

TEST(CStringTest, ReplaceAllNonOverlapping) {
  CString s("a;b;;c");
  EXPECT_EQ(s.Replace(";", "\";\""), 3);
  EXPECT_EQ(s.str(), "a\";\"b\";\"\";\"c");
  CString t("aaa");
  EXPECT_EQ(t.Replace("aa", "b"), 1);
  EXPECT_EQ(t.str(), "ba");
  CString u("abc");
  EXPECT_EQ(u.Replace("", "x"), 0);
  EXPECT_EQ(u.str(), "abc");
}

TEST(CStringTest, FormatHasNoLengthLimit) {
  std::string big(5000, 'x');
  CString s;
  s.Format("%s|%d|%ld", big.c_str(), 42, -1L);
  EXPECT_EQ(s.str(), big + "|42|-1");
  s.AppendFormat("%02d", 7);
  EXPECT_EQ(s.Right(5).str(), "|-107");
  EXPECT_EQ(CString::Formatted("%02d.%02d.%04d", 3, 3, 2024).str(), "03.03.2024");
}

}  // namespace

}  // namespace spekolar
