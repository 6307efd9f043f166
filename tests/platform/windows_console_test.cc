// The console writer against the real system (under Wine in CI): the
// program's Windows-1252 text in the code pages a Windows console uses, and
// a redirected stream getting bytes in the console's code page.
#include "platform/Console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/WindowsHeaders.h"

namespace spekolar::platform {
namespace {

TEST(WindowsConsoleTest, Windows1252TextInTheConsoleCodePages) {
  // "Überwachung geprüft €\n": 0xDC, 0xFC and the euro sign 0x80, one of the
  // characters in 0x80..0x9F where 1252 and Latin-1 part ways.
  const std::string text = "\xDC" "berwachung gepr\xFC" "ft \x80\n";
  struct Case {
    unsigned codePage;
    std::string expected;
  };
  for (const Case& c : {
           Case{437, "\x9A" "berwachung gepr\x81" "ft ?\n"},
           Case{850, "\x9A" "berwachung gepr\x81" "ft ?\n"},
           Case{1252, text},
           Case{65001, "\xC3\x9C" "berwachung gepr\xC3\xBC" "ft \xE2\x82\xAC\n"},
       }) {
    EXPECT_EQ(Windows1252ToCodePage(text, c.codePage), c.expected) << c.codePage;
  }
  EXPECT_EQ(Windows1252ToCodePage(std::string("a\0b", 3), 437), std::string("a\0b", 3));
  EXPECT_EQ(Windows1252ToCodePage("", 437), "");
}

// A file is no console: the bytes are the console's output code page, or
// the OEM code page for a process without a console (the tests run
// without one); 437 and 850, the Western European ones, agree on these.
TEST(WindowsConsoleTest, ARedirectedStreamGetsTheConsoleCodePage) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("vorher ", file);
  WriteConsoleText(file, "\xDC" "berwachung gepr\xFC" "ft\n");
  std::rewind(file);
  char buffer[64] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  const UINT codePage = ::GetConsoleOutputCP() != 0 ? ::GetConsoleOutputCP() : ::GetOEMCP();
  ASSERT_TRUE(codePage == 437 || codePage == 850) << codePage;
  // tmpfile() is binary: the LF stays as it is.
  EXPECT_EQ(std::string(buffer, n), "vorher \x9A" "berwachung gepr\x81" "ft\n");
  EXPECT_TRUE(ConsoleConvertsText());
}

}  // namespace
}  // namespace spekolar::platform
