#include "config/Blowfish.h"

#include <gtest/gtest.h>

#include "config/BlowfishTesting.h"
#include "support/Bytes.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/CredentialsKey.h"

namespace spekolar {

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

uint32_t HighFirst(const std::vector<unsigned char>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

std::string BlockHex(uint32_t left, uint32_t right) {
  char text[17];
  std::snprintf(text, sizeof text, "%08X%08X", left, right);
  return text;
}

// Published vectors of the standard algorithm, blocks read highest byte
// first as the reference presents them.
struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

const Vector kPublishedVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
    // Variable key lengths: 1, 4 and 7 bytes (the credentials key is 7) and
    // 24 bytes, whose cycle does not divide the 72 key-schedule bytes.
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1D2C3", "FEDCBA9876543210", "BE1E639408640F05"},
    {"F0E1D2C3B4A596", "FEDCBA9876543210", "8BB77032F960629D"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

TEST(BlowfishTest, PublishedVectorsEncryptAndDecryptBack) {
  BlowfishContext ctx;
  for (const Vector& v : kPublishedVectors) {
    SCOPED_TRACE(std::string("key ") + v.key + " block " + v.plain);
    std::vector<unsigned char> key = FromHex(v.key);
    std::vector<unsigned char> plain = FromHex(v.plain);
    BlowfishSetKey(&ctx, key.data(), key.size());
    uint32_t left = HighFirst(plain, 0);
    uint32_t right = HighFirst(plain, 4);
    BlowfishEncryptBlock(ctx, &left, &right);
    EXPECT_EQ(BlockHex(left, right), v.cipher);
    BlowfishDecryptBlock(ctx, &left, &right);
    EXPECT_EQ(BlockHex(left, right), v.plain);
  }
}

TEST(BlowfishTest, WipeZeroesEveryWord) {
  BlowfishContext ctx;
  const unsigned char key[] = {1, 2, 3};
  BlowfishSetKey(&ctx, key, sizeof key);
  BlowfishWipe(&ctx);
  bool allZero = true;
  for (uint32_t word : ctx.P) allZero = allZero && word == 0;
  for (const auto& box : ctx.S) {
    for (uint32_t word : box) allZero = allZero && word == 0;
  }
  EXPECT_TRUE(allZero);
}

// The hex form: halves lowest byte first. The vector 0123456789ABCDEF ->
// 61F9C3802281B096 under key 0123456789ABCDEF appears with each 4-byte
// group reversed on both sides.
TEST(BlowfishTest, CredentialHexReadsHalvesLowestByteFirst) {
  const std::vector<unsigned char> key = FromHex("0123456789ABCDEF");
  const std::string plain("\x11\x11\x11\x11\x11\x11\x11\x11", 8);
  EXPECT_EQ(EncryptCredentialHex(plain, key.data(), key.size()).str(), "80C3F96196B08122");
  EXPECT_EQ(DecryptCredentialHex("80C3F96196B08122", key.data(), key.size()).str(), plain);
  EXPECT_TRUE(spktest::SharedContextIsZero());
}

TEST(BlowfishTest, CredentialHexPadsAndStripsZeroBytes) {
  const unsigned char key[] = {'k', 'e', 'y', 'k', 'e', 'y', '7'};
  struct Case {
    std::string plain;
    int hexLength;
  };
  const Case cases[] = {
      {"", 0},
      {"a", 16},
      {"12345678", 16},  // an exact block gets no padding block
      {"Hello World", 32},
      {"p\xE4ss;W\xF6rd \xDC" "ber 8 Bytes", 48},  // Windows-1252 bytes pass through
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    CString hex = EncryptCredentialHex(c.plain, key, sizeof key);
    EXPECT_EQ(hex.GetLength(), c.hexLength);
    EXPECT_EQ(hex.str().find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_TRUE(spktest::SharedContextIsZero());
    EXPECT_EQ(DecryptCredentialHex(hex, key, sizeof key).str(), c.plain);
    EXPECT_TRUE(spktest::SharedContextIsZero());
  }
}

// Characters outside 0-9A-F decode as their code minus '0', modulo 256:
// 'G' is 23, so "G0" is 0x70 and "0G" is 0x17; 'a' is 49 ("a0" 0x10, "0a"
// 0x31); '/' is -1 ("/0" 0xF0, "0/" 0xFF, "//" 0xEF); 0xFC is 204 ("\xFC" "0"
// 0xC0, "0\xFC" 0xCC).
TEST(BlowfishTest, CredentialHexDecodesAnyCharacterByItsDistanceFromZero) {
  const unsigned char key[] = {'P', 'Q', 'R', 'S', 'T', 'U', 'V'};
  struct Case {
    const char* odd;
    const char* same;
  };
  const Case cases[] = {
      {"G00G0a0aa0a0FFFF", "701731311010FFFF"},
      {"/00///\xFC" "00\xFC" "123456", "F0FFEFC0CC123456"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.same);
    EXPECT_EQ(DecryptCredentialHex(c.odd, key, sizeof key).str(), DecryptCredentialHex(c.same, key, sizeof key).str());
  }
}

TEST(BlowfishTest, CredentialHexIgnoresIncompleteLastBlock) {
  const unsigned char key[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g'};
  const std::string hex = EncryptCredentialHex("abcdefgh", key, sizeof key).str();
  for (const char* tail : {"", "0", "41", "4142434445464"}) {
    SCOPED_TRACE(tail);
    EXPECT_EQ(DecryptCredentialHex(hex + tail, key, sizeof key).str(), "abcdefgh");
  }
  EXPECT_EQ(DecryptCredentialHex(hex.substr(0, 15), key, sizeof key).str(), "");
}

// Runs an independent Blowfish (Python's cryptography package) on `plain`
// under `key`, with each 4-byte group reversed before and after so that it
// produces the credentials hex form. Empty when no such implementation is
// available.
std::string IndependentCredentialHex(const std::string& key, const std::string& plain) {
  static const char kScript[] =
      "import sys, warnings\n"
      "warnings.simplefilter('ignore')\n"
      "try:\n"
      "    from cryptography.hazmat.decrepit.ciphers.algorithms import Blowfish\n"
      "except ImportError:\n"
      "    from cryptography.hazmat.primitives.ciphers.algorithms import Blowfish\n"
      "from cryptography.hazmat.primitives.ciphers import Cipher, modes\n"
      "key, data = bytes.fromhex(sys.argv[1]), bytes.fromhex(sys.argv[2])\n"
      "data += bytes(-len(data) % 8)\n"
      "swap = lambda b: b''.join(b[i:i + 4][::-1] for i in range(0, len(b), 4))\n"
      "e = Cipher(Blowfish(key), modes.ECB()).encryptor()\n"
      "print(swap(e.update(swap(data)) + e.finalize()).hex().upper())\n";
  char scriptPath[] = "/tmp/spk_blowfish_XXXXXX";
  int fd = mkstemp(scriptPath);
  if (fd < 0) return "";
  FILE* script = fdopen(fd, "w");
  std::fputs(kScript, script);
  std::fclose(script);

  std::string command = std::string("python3 ") + scriptPath + " " + spktest::ToHex(key) + " " +
                        spktest::ToHex(plain) + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pclose(pipe) != 0) output.clear();
  }
  std::remove(scriptPath);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST(BlowfishTest, MatchesIndependentImplementationWithSevenByteKeys) {
  if (IndependentCredentialHex("1234567", "x").empty()) {
    GTEST_SKIP() << "python3 with the cryptography package is not available";
  }
  struct Case {
    std::string key;
    std::string plain;
  };
  const Case cases[] = {
      {"Pvn2Kor", "ODBC"},
      {std::string("\x00\xFF\x80\x7F\x01\xFE\x10", 7), "SQL Server Native Client"},
      {"abcdefg", "p\xE4\xDF;w\xF6rt\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    const auto* key = reinterpret_cast<const unsigned char*>(c.key.data());
    EXPECT_EQ(EncryptCredentialHex(c.plain, key, c.key.size()).str(), IndependentCredentialHex(c.key, c.plain));
  }
  // The build's own key, built as the program builds it.
  credentials_key::KeyBytes buildKey;
  credentials_key::Build(buildKey);
  const std::string keyText(reinterpret_cast<const char*>(buildKey), credentials_key::kLength);
  EXPECT_EQ(keyText, SPEKOLAR_CREDENTIALS_KEY);
  EXPECT_EQ(EncryptCredentialValue("DATABASE=X;").str(), IndependentCredentialHex(keyText, "DATABASE=X;"));
  EXPECT_TRUE(spktest::SharedContextIsZero());
}

}  // namespace

}  // namespace spekolar
