// A small wrapper around one registry key: opens it, reads all its values
// into memory, hands them out by name and writes changed values back.
//
// The key owns its RegistryValue objects; they keep the order in which they
// were first met. Registry failures are results (false, an empty text),
// never exceptions, and failed writes are ignored.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"
#include "text/CString.h"

namespace spekolar {

class RegistryKey;

class RegistryValue {
 public:
  // Longest name kept; longer names are cut.
  static constexpr int kMaxNameLength = 2047;
  // Size of the text buffer, terminator included.
  static constexpr int kBufferSize = 2048;

  RegistryValue(RegistryKey& key, const CString& name);
  virtual ~RegistryValue() = default;
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;

  // Each setter keeps the value in its type and, unless the key is loading,
  // writes it to the registry (RegSetValueExA, result ignored) when the key
  // is open or, with OpenOnDemand, can be opened with the set-value right
  // (and is closed again afterwards). Then the value counts as set.

  // At most 2047 characters (up to an inner zero byte) are kept; written
  // with its terminator as REG_SZ.
  void SetString(const CString& text);
  // Written as 4 bytes, REG_DWORD.
  void SetDword(platform::DWORD number);
  // A count of 0 changes nothing and writes nothing.
  void SetBinary(const platform::BYTE* data, platform::DWORD count);
  // Texts separated by zero bytes, an empty text (a double zero) ending the
  // list; written unchanged as REG_MULTI_SZ.
  void SetMultiString(const platform::BYTE* data, platform::DWORD count);

  // The value as text. With ReloadOnRead (and not while loading) the key's
  // values are read again first. A string as kept; binary bytes up to the
  // first zero byte; a number as "%lu"; a multi-string its first text; a
  // value never set gives the empty text.
  CString AsString();

  bool HasValue() const { return hasValue_; }
  // REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, or REG_NONE when never set.
  platform::DWORD Type() const { return type_; }
  const CString& Name() const { return name_; }

 private:
  char* Buffer();
  void WriteBack(const platform::BYTE* data, platform::DWORD size);

  RegistryKey& key_;
  CString name_;
  platform::DWORD type_ = platform::REG_NONE;
  bool hasValue_ = false;
  platform::DWORD number_ = 0;
  std::vector<platform::BYTE> bytes_;
  std::vector<CString> texts_;
  std::unique_ptr<char[]> buffer_;  // kBufferSize bytes, created on first use
};

class RegistryKey {
 public:
  // Mode flags, fixed at construction (Loading is set only while LoadValues
  // runs).
  enum Mode : unsigned {
    CreateIfMissing = 1,  // OpenKey creates the key when it does not exist
    OpenOnDemand = 2,     // keep the key closed; open it for each read / write
    ReloadOnRead = 4,     // AsString reads all values again first
    Loading = 8,
  };

  explicit RegistryKey(unsigned mode);
  // Closes the key and destroys its values.
  virtual ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens (with CreateIfMissing: creates when missing) `path` below `root`.
  // Unless `reopen`: a path other than the kept one (compared without
  // regard to case) drops all values, and all values of the key are read.
  // Rights: with OpenOnDemand and not reopening, query-value and
  // create-subkey; otherwise `access`, plus create-subkey with
  // CreateIfMissing. True when the key was opened and (unless reopening)
  // its values were read.
  bool OpenKey(const CString& path, platform::HKEY root, platform::REGSAM access, bool reopen);
  // Reads every value of the key into the list; a value that cannot be
  // read (data over 2048 bytes, name over 259 characters) and values of
  // other types (REG_EXPAND_SZ included) are skipped. False when the key is
  // not open (and, with OpenOnDemand, cannot be opened) or cannot be asked
  // for its value count.
  bool LoadValues();
  // The value of that name, compared without regard to case from the last
  // entry backwards (in one step, through an index of the names); a new
  // value object without a value is appended when there is none, so this
  // always gives an object.
  RegistryValue& Value(const CString& name);
  void CloseKey();

  bool IsOpen() const { return handle_ != nullptr; }
  // The result of the latest open or create call of OpenKey (ERROR_SUCCESS
  // before the first).
  platform::LONG LastOpenResult() const { return lastOpenResult_; }
  unsigned ModeFlags() const { return mode_; }
  const CString& Path() const { return path_; }
  size_t ValueCount() const { return values_.size(); }

 private:
  friend class RegistryValue;

  // Opens the kept key again with the given rights (OpenOnDemand).
  bool OpenOnDemandWith(platform::REGSAM access);

  platform::HKEY handle_ = nullptr;
  platform::LONG lastOpenResult_ = platform::ERROR_SUCCESS;
  unsigned mode_;
  platform::HKEY root_ = nullptr;
  CString path_;
  bool hasPath_ = false;
  std::vector<std::unique_ptr<RegistryValue>> values_;
  // Folded name -> index of the last value of that name.
  std::unordered_map<std::string, size_t> valueIndex_;
};

}  // namespace spekolar
