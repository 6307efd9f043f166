#include "config/CredentialsFile.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "config/Blowfish.h"
#include "config/CredentialsKey.h"
#include "platform/Env.h"
#include "platform/LineReader.h"

namespace spekolar {

namespace {

// fgets into a 400-byte buffer: at most 399 characters a read.
constexpr size_t kMaxLine = 399;
// The file is in memory already: small blocks spare the reader a large
// buffer.
constexpr size_t kBlock = 4096;

}  // namespace

bool CredentialsFile::SetFile(CString path) {
  if (platform::GetEnv()->FindFiles(path).empty()) return false;
  path_ = path;
  return true;
}

CString CredentialsFile::GetValue(CString key) const {
  if (key.IsEmpty()) return CString();

  std::string bytes;
  if (path_.IsEmpty() || platform::GetEnv()->ReadWholeFile(path_, &bytes) != platform::Status::kOk) {
    return CString();
  }
  platform::LineReader reader(std::make_unique<platform::BytesFile>(std::move(bytes)),
                              kBlock, kMaxLine);
  std::string_view piece;
  while (reader.Next(&piece)) {
    CString line(piece);
    line.Trim();
    line.MakeUpper();
    if (line.GetAt(0) == 'X') continue;
    int first = line.Find(';');
    if (first < 0) continue;
    int second = line.Find(';', first + 1);
    if (second < 0) continue;
    if (line.Mid(first + 1, second - first - 1) == key) return line.Mid(second + 1);
  }
  return CString();
}

platform::Status CredentialsFile::Probe() const {
  if (path_.IsEmpty()) return platform::Status::kNotFound;
  std::string bytes;
  return platform::GetEnv()->ReadWholeFile(path_, &bytes);
}

CString CredentialsFile::DecryptValue(CString hexText) const {
  credentials_key::KeyBytes key;
  credentials_key::Build(key);
  CString plain = DecryptCredentialHex(hexText, key, credentials_key::kLength);
  credentials_key::Wipe(key);
  return plain;
}

CString CredentialsFile::GetDecrypted(const char* key) const {
  CString raw = GetValue(key);
  if (raw.IsEmpty()) return CString();
  return DecryptValue(raw);
}

bool IsKnownDbSystem(const CString& value) {
  for (const char* system : kDbSystems) {
    if (value == system) return true;
  }
  return false;
}

CString CredentialsFile::GetDbSystem() const { return GetDecrypted("DB_SYSTEM"); }
CString CredentialsFile::GetDatabase() const { return GetDecrypted("DATABASE"); }
CString CredentialsFile::GetLogin() const { return GetDecrypted("LOGIN"); }
CString CredentialsFile::GetPassword() const { return GetDecrypted("PASS"); }
CString CredentialsFile::GetSchema() const { return GetDecrypted("SCHEMA"); }

}  // namespace spekolar
