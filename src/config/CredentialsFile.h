// Encrypted database access values in the product's configuration file.
//
// Lines of the form prefix;KEY;hexvalue. Each lookup reads and scans the file
// from the start (no cache): a regular file of at most kMaxWholeFileBytes,
// read whole (a FIFO, a device or a larger file is not read and holds no
// values); lines as reads of at most 399 characters, each trimmed
// and upper-cased as a whole; lines starting with X are skipped; the key
// stands between the first two semicolons and must match exactly; the value
// is the rest of the line; the first match wins. Values are Blowfish
// ciphertext in hex and are decrypted with the build's 7-character key.
#pragma once

#include "platform/Env.h"
#include "text/CString.h"

namespace spekolar {

// The database systems DB_SYSTEM may name, exactly so (upper case).
inline constexpr const char* kDbSystems[] = {"ORACLE", "MSSQL", "MYSQL"};

// True when `value` is one of kDbSystems, in exactly that case.
bool IsKnownDbSystem(const CString& value);

class CredentialsFile {
 public:
  CredentialsFile() = default;
  virtual ~CredentialsFile() = default;

  // Keeps the path when a file search finds it (true); otherwise false and
  // the old path stays.
  bool SetFile(CString path);
  // Raw value text of `key`, or empty (empty key, file not readable, no
  // matching line).
  CString GetValue(CString key) const;
  // Decrypts hex text (upper-case, as GetValue returns it) with the build's
  // 7-character key, built just before and wiped right after; the shared
  // Blowfish context is zeroed afterwards. The result ends at the first zero
  // byte. An incomplete last block (fewer than 16 hex characters) is
  // ignored; no character is rejected (see DecryptCredentialHex).
  CString DecryptValue(CString hexText) const;

  CString GetDbSystem() const;
  CString GetDatabase() const;
  CString GetLogin() const;
  CString GetPassword() const;
  CString GetSchema() const;

  // How a read of the file goes now: kOk, kNotFound (also without a path),
  // or why it cannot be read (kTooLarge, kNotAFile, kAccessDenied, ...).
  platform::Status Probe() const;

  const CString& Path() const { return path_; }
  void Reset() { path_.Empty(); }

 private:
  CString GetDecrypted(const char* key) const;

  CString path_;
};

}  // namespace spekolar
