// Reading of INI ("private profile") files, standing in for the Windows
// profile calls, with the Windows rules that real configuration files rely
// on:
// - Sections keep file order. Section and key names match without regard
//   to ASCII case; values keep their case.
// - Lines end in CR LF, LF or CR. Blank lines are skipped. Blanks and tabs
//   around keys and values, and around a section name inside its brackets,
//   are dropped.
// - Only a line whose first non-blank character is ';' is a comment; a ';'
//   inside a value belongs to it, and '#' has no meaning.
// - "[name]" opens a section; the name ends at the first ']' (the rest of
//   the line is ignored), or at the end of the line when there is none.
// - "key=value" lines before the first section and lines without '=' are
//   ignored. The first of two equal keys in a section wins.
// - One matching pair of '"' or '\'' around a whole value is removed.
// - A section that appears twice is listed twice by the name call; key
//   lookups see only its first occurrence.
// - A UTF-16LE file with its byte-order mark is read too; other files are
//   taken as 8-bit text. A UTF-8 byte-order mark at the start is skipped:
//   editors put it there unasked, and Windows, which does not understand
//   it, loses the file's first section to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Env.h"

namespace spekolar::platform {

struct ProfileSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;  // key, value
  // Lower-cased key -> index of its first entry; filled by ParseProfile.
  std::unordered_map<std::string, size_t> keyIndex;
};

struct ProfileData {
  std::vector<ProfileSection> sections;  // file order, repeats included
  // Lower-cased name -> index of its first section; filled by ParseProfile.
  std::unordered_map<std::string, size_t> sectionIndex;
#ifdef _WIN32
  // The Windows build leaves sections empty: the system's profile calls
  // read this file (absolute; empty when LoadProfile could not read it)
  // themselves at each lookup.
  std::string systemPath;
#endif

  // The first section of that name (without regard to case), or null.
  const ProfileSection* FindSection(std::string_view name) const;
  // The value of the first such key in the first such section; false when
  // either is missing.
  bool GetValue(std::string_view section, std::string_view key, std::string* value) const;
};

// Parses the text of a whole file (any of the encodings above) and builds
// the lookup indexes, so that each lookup costs one step, however many
// sections and keys the file holds.
ProfileData ParseProfile(std::string_view text);

// Reads and parses the file at `path` (null: no file). Whatever the result,
// *data is what the profile calls make of the file: a file that cannot be
// read (missing, unreadable, not a regular file, over kMaxWholeFileBytes)
// holds nothing. Returns the read's status: kOk, kNotFound, ...
Status LoadProfile(const char* path, ProfileData* data);

// The two profile calls below over a file read and parsed before (one read
// for a whole pass instead of one per lookup), with the same results.
uint32_t ProfileString(const ProfileData& data, const char* section, const char* key,
                       const char* def, char* buf, uint32_t size);
uint32_t ProfileSectionNames(const ProfileData& data, char* buf, uint32_t size);

// GetPrivateProfileStringA: copies the value of `key` in `section` of the
// file at `path` into buf, or `def` (null reads as "", trailing blanks
// dropped as Windows does) when the key is missing. A missing or unreadable
// file (or a null path) reads as an empty file. A value that does not fit
// is cut to size-1 characters. Returns the count of characters copied
// without the terminator; 0 (and nothing written) for size 0.
// A null section lists the section names, a null key the keys of the
// section, as zero-terminated names ended by an empty one, with the list
// rule of GetPrivateProfileSectionNamesA.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* buf, uint32_t size, const char* path);

// GetPrivateProfileSectionNamesA: the section names in file order, each
// zero-terminated, the list ended by an empty name. Returns the count of
// characters without the final terminator. A list that, final terminator
// included, needs more than size-1 bytes (so an exact fit counts as too
// small) is cut, ends with two NULs and gives size-2. Sizes below 2 give
// 0. A section with an empty name ("[]") is not listed.
uint32_t GetPrivateProfileSectionNamesA(char* buf, uint32_t size, const char* path);

}  // namespace spekolar::platform
