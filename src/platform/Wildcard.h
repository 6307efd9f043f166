// The wildcard rule of a Windows file search, for code that matches names
// itself (the POSIX file search, and checks of a Datei pattern against the
// names the pass writes).
#pragma once

#include <string_view>

namespace spekolar::platform {

// Whether `name` matches the wildcard `pattern` as a Windows file search
// matches a file name: ASCII letters without regard to case; '*' any run of
// characters; '?' any one character except '.', or nothing just before a
// '.' or at the end of the name; '*' before a '.' does not swallow the
// name's last dot; a '.' before '*', '?' or at the end of the pattern
// matches a '.' or the end of the name. So "*.*" matches every name, "*."
// the names without a dot, "a.*" also "a", "a?.txt" also "a.txt".
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace spekolar::platform
