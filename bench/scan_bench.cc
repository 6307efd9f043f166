// scan_bench FILE [NEEDLE] [--next | --fgets] [--block BYTES]
//
// Reads FILE as the protocol monitors do and reports the time:
//   default   LineReader::NextContaining(NEEDLE) over the whole file, the way
//             the protocol scan skips the lines of other days; NEEDLE is
//             today's date key "dd.mm.yyyy" unless given;
//   --next    LineReader::Next over every piece (no needle);
//   --fgets   fgets into a 1000-byte buffer and strstr, the plain approach,
//             for comparison.
// Prints one line: mode, pieces handed out, bytes, seconds, MB/s, peak RSS.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/Env.h"
#include "platform/LineReader.h"

using namespace spekolar;

int main(int argc, char** argv) {
  std::string path;
  std::string needle;
  std::string mode = "contains";
  size_t block = platform::LineReader::kDefaultBlockSize;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--next") mode = "next";
    else if (arg == "--block" && i + 1 < argc) block = std::strtoul(argv[++i], nullptr, 10);
    else if (arg == "--fgets") mode = "fgets";
    else if (path.empty()) path = arg;
    else needle = arg;
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: scan_bench FILE [NEEDLE] [--next | --fgets] [--block BYTES]\n");
    return 2;
  }
  if (needle.empty()) {
    platform::LocalTime t = platform::GetEnv()->Now();
    char key[16];
    std::snprintf(key, sizeof key, "%02d.%02d.%04d", t.day, t.month, t.year);
    needle = key;
  }

  auto begin = std::chrono::steady_clock::now();
  unsigned long long pieces = 0;
  unsigned long long pieceBytes = 0;
  if (mode == "fgets") {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    char line[1000];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::strstr(line, needle.c_str()) != nullptr) {
        ++pieces;
        pieceBytes += std::strlen(line);
      }
    }
    std::fclose(f);
  } else {
    std::unique_ptr<platform::ReadableFile> file;
    if (platform::GetEnv()->OpenForRead(CString(path.c_str()), &file) != platform::Status::kOk) {
      std::fprintf(stderr, "scan_bench: cannot open %s\n", path.c_str());
      return 1;
    }
    platform::LineReader reader(std::move(file), block);
    std::string_view piece;
    if (mode == "next") {
      while (reader.Next(&piece)) {
        ++pieces;
        pieceBytes += piece.size();
      }
    } else {
      while (reader.NextContaining(needle, &piece)) {
        ++pieces;
        pieceBytes += piece.size();
      }
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

  std::FILE* f = std::fopen(path.c_str(), "rb");
  long long size = 0;
  if (f != nullptr) {
    std::fseek(f, 0, SEEK_END);
    size = std::ftell(f);
    std::fclose(f);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("mode=%s needle=%s pieces=%llu piece_bytes=%llu bytes=%lld seconds=%.4f MB/s=%.0f maxrss_kib=%ld\n",
              mode.c_str(), mode == "next" ? "-" : needle.c_str(), pieces, pieceBytes, size, seconds,
              seconds > 0 ? size / 1e6 / seconds : 0.0, usage.ru_maxrss);
  return 0;
}
