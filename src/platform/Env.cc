// The parts of the Env interface that do not depend on the system: the Env
// in force, the order of search results, files held in memory and the
// capped whole-file read. DefaultEnv() is defined by the system's
// implementation (PosixEnv.cc or WindowsEnv.cc).
#include "platform/Env.h"

#include <algorithm>
#include <cstring>

#include "text/Ascii.h"

namespace spekolar::platform {

namespace {

Env* g_current = nullptr;

unsigned char UpperAscii(char c) { return static_cast<unsigned char>(ascii::Upper(c)); }

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

long BytesFile::Read(char* buf, size_t n) {
  const size_t count = std::min(n, bytes_.size() - at_);
  std::memcpy(buf, bytes_.data() + at_, count);
  at_ += count;
  return static_cast<long>(count);
}

Status ReadAllCapped(ReadableFile& file, int64_t expectedSize, std::string* out) {
  std::string data;
  data.reserve(static_cast<size_t>(std::clamp<int64_t>(expectedSize, 0, kMaxWholeFileBytes)));
  char buf[65536];
  for (;;) {
    long got = file.Read(buf, sizeof buf);
    if (got < 0) return Status::kIoError;
    if (got == 0) break;
    if (static_cast<int64_t>(data.size()) + got > kMaxWholeFileBytes) return Status::kTooLarge;
    data.append(buf, static_cast<size_t>(got));
  }
  *out = std::move(data);
  return Status::kOk;
}

Env* GetEnv() { return g_current != nullptr ? g_current : DefaultEnv(); }

ScopedEnv::ScopedEnv(Env* env) : previous_(g_current) { g_current = env; }

ScopedEnv::~ScopedEnv() { g_current = previous_; }

}  // namespace spekolar::platform
