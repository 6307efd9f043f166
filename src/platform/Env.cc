// The parts of the Env interface that do not depend on the system: the Env
// in force, and the order of search results. DefaultEnv() is defined by the
// system's implementation (PosixEnv.cc or WindowsEnv.cc).
#include "platform/Env.h"

#include <algorithm>

namespace platform {

namespace {

Env* g_current = nullptr;

unsigned char UpperAscii(char c) {
  return static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
}

}  // namespace

bool FoundNameLess(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = UpperAscii(a[i]);
    unsigned char cb = UpperAscii(b[i]);
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

Env* GetEnv() { return g_current != nullptr ? g_current : DefaultEnv(); }

ScopedEnv::ScopedEnv(Env* env) : previous_(g_current) { g_current = env; }

ScopedEnv::~ScopedEnv() { g_current = previous_; }

}  // namespace platform
