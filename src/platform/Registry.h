// The registry, kept in a text file in regedit's export format.
//
// There is no registry on this platform, so the product's settings live in a
// file that an operator can export with regedit on Windows and copy over:
// either the UTF-16LE file with byte-order mark that regedit writes
// ("Windows Registry Editor Version 5.00") or the 8-bit "REGEDIT4" form in
// Windows-1252. The file is /etc/peldavorn/registry.reg unless the
// environment variable SPEKOLAR_REGISTRY names another one. Files are
// reached only through GetEnv().
//
// This header is what callers use: stand-ins for the Windows registry
// functions the program calls, with Windows' result codes, access rights and
// value types. They live in namespace platform under their Windows names
// (callers write platform::RegOpenKeyExA, platform::HKEY_LOCAL_MACHINE), so
// nothing of them leaks into the global namespace. Behind them, in
// platform/registry/, stand the parts of the store, each with its contract
// in its header:
// - Decoding.h: Windows-1252 and UTF-16LE texts, the registry's case folding;
// - ExportParser.h: the lossless parser of export files and the plain store
//   model (RegistryStore, ParseRegistryExport);
// - ExportEditor.h: the program's own export form (FormatRegistryExport) and
//   the line-preserving edits of an operator's file;
// - Hive.h: the store as the process sees it (kept contents, open handles,
//   the latest read), one object a test can replace (ScopedRegistryHive);
// - Functions.cc: the functions below, over the current hive.
//
// On Windows none of this stands in: the registry functions, their types and
// the root keys in namespace platform are the system's own
// (platform/WindowsRegistry.h); only the constants below, RegistryNamesEqual
// and RegistryFoldedName are shared, and the store file is not used
// (RegistryStorePath is empty, LastRegistryStoreRead always kOk).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Env.h"
#include "text/CString.h"

#ifdef _WIN32
#include "platform/WindowsRegistry.h"
#endif

namespace spekolar::platform {

// ---------------------------------------------------------------------------
// Windows types, result codes and constants.

#ifndef _WIN32

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef unsigned char BYTE;
typedef DWORD REGSAM;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;

// Accepted and ignored; keys carry no security descriptors here.
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// A key handle. Opaque: callers only pass it back and compare it with null.
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
#endif  // !_WIN32

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// A result code as its Windows name ("ERROR_ACCESS_DENIED (5)"), for
// messages to an operator.
inline std::string RegistryErrorName(LONG code) {
  const char* name = code == ERROR_SUCCESS             ? "ERROR_SUCCESS"
                     : code == ERROR_FILE_NOT_FOUND    ? "ERROR_FILE_NOT_FOUND"
                     : code == ERROR_ACCESS_DENIED     ? "ERROR_ACCESS_DENIED"
                     : code == ERROR_INVALID_HANDLE    ? "ERROR_INVALID_HANDLE"
                     : code == ERROR_WRITE_FAULT       ? "ERROR_WRITE_FAULT"
                     : code == ERROR_INVALID_PARAMETER ? "ERROR_INVALID_PARAMETER"
                     : code == ERROR_BADDB             ? "ERROR_BADDB"
                     : code == ERROR_KEY_DELETED       ? "ERROR_KEY_DELETED"
                                                       : "error";
  return std::string(name) + " (" + std::to_string(static_cast<long>(code)) + ")";
}

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

#ifndef _WIN32
// The root keys. Each predefined handle is the address of a static object of
// registry/Functions.cc, so the constants are usable during static initialisation of
// other program-wide objects.
namespace registry_roots {
extern HKEY__ ClassesRoot;
extern HKEY__ CurrentUser;
extern HKEY__ LocalMachine;
extern HKEY__ Users;
extern HKEY__ CurrentConfig;
}  // namespace registry_roots

inline constexpr HKEY HKEY_CLASSES_ROOT = &registry_roots::ClassesRoot;
inline constexpr HKEY HKEY_CURRENT_USER = &registry_roots::CurrentUser;
inline constexpr HKEY HKEY_LOCAL_MACHINE = &registry_roots::LocalMachine;
inline constexpr HKEY HKEY_USERS = &registry_roots::Users;
inline constexpr HKEY HKEY_CURRENT_CONFIG = &registry_roots::CurrentConfig;

// ---------------------------------------------------------------------------
// The Windows functions.
//
// Common to all: ERROR_INVALID_HANDLE for a null, closed or unknown handle.
// Sub-key paths are relative to the handle's key, with '\' between the
// parts; empty parts (a leading, trailing or doubled '\') are dropped, and a
// null or empty sub-key names the handle's own key. Names compare without
// regard to case (Windows-1252 letters included). Asking for KEY_SET_VALUE
// or KEY_CREATE_SUB_KEY fails with ERROR_ACCESS_DENIED when the store file
// (or, for a missing file, its folder) is not writable: the process has no
// right to change the registry.

// Opens the key, creating it (and its missing ancestors) when missing; a
// created key is written to the store at once. *lpdwDisposition (optional)
// receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Class, options
// and security attributes are ignored.
// Failures: ERROR_ACCESS_DENIED (rights above, or a missing key in a store
// that may not be written), ERROR_INVALID_PARAMETER (a path with a line
// break, which an export cannot hold), ERROR_BADDB (the key is missing and the store
// file exists but cannot be parsed: it is never overwritten by an implicit
// key creation), ERROR_INVALID_PARAMETER (phkResult null), or the write
// failure (ERROR_ACCESS_DENIED / ERROR_WRITE_FAULT). *phkResult is null on
// failure.
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                     PHKEY phkResult, LPDWORD lpdwDisposition);

// Opens an existing key. A key exists when the store lists it or one of its
// descendants, and a root key always exists. Failures: ERROR_FILE_NOT_FOUND,
// ERROR_ACCESS_DENIED (rights above), ERROR_INVALID_PARAMETER (phkResult
// null). *phkResult is null on failure.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);

// Facts about the key; every out-pointer may be null. Sub-key and value
// counts, the longest sub-key and value name (characters, without
// terminator) and the longest value data (bytes). Keys have no class
// (empty, length 0), no security descriptor (0) and a zero write time.
// Failures: ERROR_ACCESS_DENIED (handle without KEY_QUERY_VALUE),
// ERROR_KEY_DELETED (the key vanished from the store since it was opened),
// ERROR_MORE_DATA (class buffer of size 0).
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

// The value at dwIndex, in store order. In: *lpcchValueName is the name
// buffer's size in characters with the terminator, *lpcbData the data
// buffer's size in bytes. Out: the name's length without terminator, the
// data's size, the type. lpType, lpData and lpcbData may be null (with
// lpData null and lpcbData set, only the size is reported).
// Failures: ERROR_NO_MORE_ITEMS (index past the last value),
// ERROR_MORE_DATA (name or data does not fit: nothing is copied into either
// buffer, *lpcbData receives the needed data size), ERROR_INVALID_PARAMETER
// (name buffer or its size null, or lpData without lpcbData),
// ERROR_ACCESS_DENIED (handle without KEY_QUERY_VALUE), ERROR_KEY_DELETED.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Stores the value (replacing one of the same name, else appended) and
// writes the store file at once, changing only the value's lines. A null
// name is the key's default value. The bytes are kept as given: a REG_SZ
// written without its terminator is stored without it. An explicit write
// replaces even a store file that could not be parsed (it held no keys).
// Failures: ERROR_ACCESS_DENIED (handle without KEY_SET_VALUE, or the file
// refused the write), ERROR_KEY_DELETED, ERROR_INVALID_PARAMETER (lpData
// null with cbData > 0, or a name with a line break, which an export cannot
// hold), ERROR_WRITE_FAULT (the write failed, or the edited file would not
// read back as the store with the value: nothing is written then).
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);

// Releases a handle from RegCreateKeyExA / RegOpenKeyExA. Closing a root key
// succeeds and does nothing. ERROR_INVALID_HANDLE for any other handle.
LONG RegCloseKey(HKEY hKey);
#endif  // !_WIN32

// ---------------------------------------------------------------------------
// The store's location and names.

// The store file: the value of SPEKOLAR_REGISTRY when it is set and not
// empty, otherwise /etc/peldavorn/registry.reg.
CString RegistryStorePath();

// The result of the latest read of the store file: kOk, kNotFound for a
// missing file (which holds no keys), or why it could not be read
// (kTooLarge, kNotAFile, ...: such a store holds no keys either). kOk
// before the first read. Kept by the current hive (registry/Hive.h).
Status LastRegistryStoreRead();

// Name comparison of the registry: equal without regard to case, ASCII and
// the Windows-1252 letters.
bool RegistryNamesEqual(std::string_view a, std::string_view b);
// A name in one case: two names are RegistryNamesEqual exactly when their
// folded forms are the same bytes (for lookup tables).
std::string RegistryFoldedName(std::string_view name);

}  // namespace spekolar::platform
