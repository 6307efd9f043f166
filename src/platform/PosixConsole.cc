// Console text on Linux: the terminal gets the bytes the caller chose.
#include "platform/Console.h"

namespace spekolar::platform {

bool ConsoleConvertsText() { return false; }

void WriteConsoleText(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace spekolar::platform
