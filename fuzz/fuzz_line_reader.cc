// The line reader against a plain model of the C runtime's fgets on a
// text-mode file: CR LF reads as LF, a lone CR stays, one read gives at
// most buffer - 1 characters. For every input, block size and read size:
// LineReader's pieces (1000-byte buffer) and its searches, and its pieces
// with any other buffer, are the model's.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/Fail.h"
#include "platform/LineReader.h"
#include "support/ChunkedFile.h"
#include "text/NeedleSet.h"

namespace spekolar {

using platform::LineReader;
using spkfuzz::Fail;
using spktest::ChunkedFile;
using spktest::FgetsPieces;

namespace {

// A needle of up to 4 bytes from the input, without CR and LF.
std::string Needle(const uint8_t* bytes, size_t n) {
  std::string needle;
  for (size_t i = 0; i < n; ++i) {
    char c = static_cast<char>(bytes[i]);
    needle += (c == '\r' || c == '\n') ? 'x' : c;
  }
  return needle;
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 8) return 0;
  static const size_t kBlocks[] = {1, 2, 3, 7, 64, 998, 999, 1000, 1001, 2048, 4096};
  const size_t block = kBlocks[bytes[0] % std::size(kBlocks)];
  const size_t chunk = 1 + bytes[1] % 64 * (bytes[1] & 0x80 ? 1000 : 1);
  const std::string first = Needle(bytes + 3, 1 + bytes[2] % 4);
  const std::string second = Needle(bytes + 6, 1 + (bytes[2] >> 2) % 2);
  const size_t textLimit = 1 + bytes[2] % 500;
  const std::string data(reinterpret_cast<const char*>(bytes + 8), size - 8);
  const std::vector<std::string> model = FgetsPieces(data, LineReader::kMaxPiece);

  // Every piece, in order.
  {
    LineReader reader(std::make_unique<ChunkedFile>(data, chunk), block);
    std::string_view piece;
    size_t i = 0;
    for (; reader.Next(&piece); ++i) {
      if (i >= model.size() || piece != model[i]) Fail("Next differs from fgets");
    }
    if (i != model.size()) Fail("Next ends early");
  }

  // The pieces holding a needle (one needle, then a set of two), with the
  // last piece passed over before each.
  for (int pass = 0; pass < 2; ++pass) {
    NeedleSet set({first, second});
    LineReader reader(std::make_unique<ChunkedFile>(data, chunk), block);
    auto holds = [&](const std::string& p) {
      return p.find(first) != std::string::npos ||
             (pass == 1 && p.find(second) != std::string::npos);
    };
    size_t at = 0;
    std::string_view piece;
    for (;;) {
      bool got = pass == 0 ? reader.NextContaining(first, &piece) : reader.NextContainingAny(set, &piece);
      size_t hit = at;
      while (hit < model.size() && !holds(model[hit])) ++hit;
      std::string_view skipped;
      bool skippedAny = reader.LastSkipped(&skipped);
      if (skippedAny != (hit > at) || (skippedAny && skipped != model[hit - 1])) {
        Fail("LastSkipped differs from the model");
      }
      if (!got) {
        if (hit != model.size()) Fail("a search missed a piece");
        break;
      }
      if (hit == model.size() || piece != model[hit]) Fail("a search found another piece");
      at = hit + 1;
    }
  }

  // Any other buffer size (the credentials file's is 400).
  {
    const std::vector<std::string> lines = FgetsPieces(data, textLimit);
    LineReader reader(std::make_unique<ChunkedFile>(data, chunk), block, textLimit);
    std::string_view piece;
    size_t i = 0;
    for (; reader.Next(&piece); ++i) {
      if (i >= lines.size() || piece != lines[i]) Fail("Next with another buffer differs from fgets");
    }
    if (i != lines.size()) Fail("Next with another buffer ends early");
  }
  return 0;
}
