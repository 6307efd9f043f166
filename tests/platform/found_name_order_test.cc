#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace spekolar::platform {
namespace {

// Search results come in the order NTFS lists a folder, on every system:
// letters compared in upper case, so the characters between 'Z' and 'a'
// ("[\]^_`") sort after all letters; names equal without regard to case by
// their bytes.
TEST(FoundNameOrderTest, AsNtfsListsAFolder) {
  std::vector<std::string> names = {"_a.log", "b.log", "Za.log", "`x", "A.log", "a.log",
                                    "a",      "[1]",   "ab",     "\xC4.log", "9.log"};
  std::sort(names.begin(), names.end(),
            [](const std::string& x, const std::string& y) { return FoundNameLess(x, y); });
  EXPECT_EQ(names, (std::vector<std::string>{"9.log", "a", "A.log", "a.log", "ab", "b.log",
                                             "Za.log", "[1]", "_a.log", "`x", "\xC4.log"}));
  EXPECT_FALSE(FoundNameLess("a.log", "a.log"));
}

}  // namespace
}  // namespace spekolar::platform
