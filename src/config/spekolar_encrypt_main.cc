// spekolar-encrypt TEXT: prints the encrypted form of TEXT as the product's
// configuration file holds a database access value (upper-case hex under
// the build's credentials key), for writing test and installation files.
//
// --help and --version are the tool's own; any other argument that starts
// with '-' is refused rather than encrypted, so that a mistyped option never
// ends up in a configuration file as a password. "--" ends the options: the
// argument after it is encrypted whatever it looks like ("-- --help").
#include <cstdio>
#include <cstring>

#include "config/Blowfish.h"
#include "config/CredentialsFile.h"
#include "text/NameList.h"

#ifndef SPEKOLAR_VERSION
#define SPEKOLAR_VERSION "unknown"
#endif

namespace spekolar {

namespace {

const char kUsage[] = "usage: spekolar-encrypt [--help | --version | [--] TEXT]\n";

const char kHelpHead[] =
    "Prints TEXT encrypted as a database access value of the product's configuration file\n"
    "(peldavorn.ini), one line of upper-case hexadecimal under the key this program was\n"
    "built with. The configuration file holds one line per value:\n"
    "    PELDAVORN;DB_SYSTEM;<hex>     ";
// kHelpHead, the database systems, then this.
const char kHelp[] =
    ", exactly so (upper case)\n"
    "    PELDAVORN;DATABASE;<hex>      the ODBC data source's name\n"
    "    PELDAVORN;LOGIN;<hex>\n"
    "    PELDAVORN;PASS;<hex>\n"
    "    PELDAVORN;SCHEMA;<hex>\n"
    "where <hex> is what this program prints for the value.\n"
    "\n"
    "Options:\n"
    "  -h, --help   Print this help and exit\n"
    "  --version    Print the version and exit\n"
    "  --           The next argument is TEXT even when it starts with '-'\n"
    "\n"
    "Exit codes: 0 printed; 2 no TEXT, or an unknown option (the usage goes to standard\n"
    "error).\n";

int Usage() {
  std::fputs(kUsage, stderr);
  std::fputs("Run with --help for more information.\n", stderr);
  return 2;
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

int main(int argc, char** argv) {
  int at = 1;
  if (at < argc && std::strcmp(argv[at], "--") != 0 && argv[at][0] == '-' && argv[at][1] != '\0') {
    const char* option = argv[at];
    if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs(kHelpHead, stdout);
      std::fputs(JoinNames(kDbSystems, "or").c_str(), stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(option, "--version") == 0) {
      std::fputs("spekolar-encrypt " SPEKOLAR_VERSION "\n", stdout);
      return 0;
    }
    std::fprintf(stderr, "spekolar-encrypt: unknown option '%s' (put -- before a text that starts with '-')\n",
                 option);
    return Usage();
  }
  if (at < argc && std::strcmp(argv[at], "--") == 0) ++at;
  if (at >= argc) return Usage();
  CString hex = EncryptCredentialValue(argv[at]);
  std::fputs(hex.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}
