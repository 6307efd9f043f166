// spekolar-encrypt TEXT: prints the encrypted form of TEXT as the product's
// configuration file holds a database access value (upper-case hex under
// the build's credentials key), for writing test and installation files.
#include <cstdio>

#include "config/Blowfish.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: spekolar-encrypt TEXT\n"
               "Prints TEXT encrypted as a database access value of the product's configuration file\n"
               "(lines prefix;KEY;value with KEY one of DB_SYSTEM, DATABASE, LOGIN, PASS, SCHEMA).\n",
               stderr);
    return 2;
  }
  CString hex = EncryptCredentialValue(argv[1]);
  std::fputs(hex.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}
