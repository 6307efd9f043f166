// The credentials file: any bytes are scanned by the line rules, and any
// value text, hexadecimal or not, of any length, decrypts without reading
// or writing past its ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/CredentialsFile.h"
#include "fuzz/Fail.h"
#include "support/MemoryEnv.h"

namespace spekolar {

using spkfuzz::Fail;

}  // namespace spekolar

using namespace spekolar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  spktest::MemoryEnv env;
  env.files["C:\\pv\\peldavorn.ini"] = text;
  platform::ScopedEnv scoped(&env);

  CredentialsFile credentials;
  if (!credentials.SetFile("C:\\pv\\peldavorn.ini")) Fail("the file is not found");
  // Every key is looked up; the first value found is decrypted (the key
  // schedule costs more than the scan).
  bool decrypted = false;
  for (const char* key : {"DB_SYSTEM", "DATABASE", "LOGIN", "PASS", "SCHEMA"}) {
    CString raw = credentials.GetValue(key);
    // A value is the rest of a line of at most 399 characters.
    if (raw.GetLength() > 399) Fail("a value longer than a line");
    if (raw.IsEmpty() || decrypted) continue;
    decrypted = true;
    CString plain = credentials.DecryptValue(raw);
    if (plain.GetLength() > (raw.GetLength() / 16) * 8) Fail("more plain text than cipher blocks");
  }
  // The whole input as a value: any length, any characters.
  CString plain = credentials.DecryptValue(CString(text));
  if (plain.GetLength() > (static_cast<int>(size) / 16) * 8) Fail("more plain text than cipher blocks");
  return 0;
}
