// Writing regedit export files: a whole store in the program's own form, and
// line-preserving edits of an operator's file.
//
// Contract: FormatRegistryExport writes what ParseRegistryExport reads back
// as the same store. The edits (Edited, WithBlockAppended) return the
// file's bytes with only the given lines replaced or added, in the file's
// encoding (byte-order mark included) and line ends; every other byte stays.
// Whether an edit reads back as meant is the caller's check (the hive
// parses it again before it writes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry/ExportParser.h"

namespace spekolar::platform {

// The store in the 8-bit "REGEDIT4" form with CR LF line ends, as a store
// that held nothing before is written: the header, a blank line, then each
// key followed by its values and a blank line. Strings as "text" with '\'
// and '"' escaped, numbers as dword:%08x, binary as hex: with
// comma-separated lower-case pairs wrapped over lines ending in '\';
// whatever these forms cannot hold exactly (a REG_SZ without its terminator
// or with a line break, a REG_DWORD not of 4 bytes) as hex(n):.
std::string FormatRegistryExport(const RegistryStore& store);

namespace registry {

// One value as the lines of an export, without line ends. With
// `unicodeData` (a "5.00" file) the texts of hex(1), hex(2) and hex(7) data
// are UTF-16LE.
std::vector<std::string> FormatValueLines(const RegistryStoreValue& value, bool unicodeData);

// "[HKEY_...\path]".
std::string KeyHeader(RegistryRoot root, const std::string& path);

// The file's lines with `lines` (texts without line ends) put in place of
// lines from..to-1 (to == from inserts).
std::string Edited(const ExportFile& file, size_t from, size_t to,
                   const std::vector<std::string>& lines);

// The file with a block for the key, holding `valueLines`, added at its
// end, after a blank line unless one is there.
std::string WithBlockAppended(const ExportFile& file, RegistryRoot root, const std::string& path,
                              const std::vector<std::string>& valueLines);

}  // namespace registry
}  // namespace spekolar::platform
