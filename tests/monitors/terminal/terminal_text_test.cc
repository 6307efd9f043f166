#include "monitors/terminal/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace spekolar {

namespace {

// The double-quote rule: from the first quote on, a part two characters
// shorter than the whole text, or up to its end.
TEST(TerminalNameTest, QuoteRule) {
  struct Case {
    const char* line;
    int column;
    const char* name;
  };
  const Case cases[] = {
      {"Term      : \"T01\"", 12, "T01"},
      {"Term      : \"T01\"  \t", 12, "T01"},
      {"Term      : T01 Halle 2  ", 12, "T01 Halle 2"},
      {"Term      : \"T 1\" (Tor)", 12, "T 1\" (Tor"},  // cut by length, not at the quote
      {"Term      : Tor \"7\"", 12, "7\""},             // the text ends first
      {"Term      : \"T01", 12, "T0"},
      {"Term      : \"", 12, ""},
      {"Term      :", 12, ""},
      {"Terminal: \"T02\"", 10, "T02"},
      {"  Term      : T05", 12, ": T05"},  // the column counts from the line's own start
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(TerminalName(c.line, c.column), c.name);
  }
}

}  // namespace

}  // namespace spekolar
