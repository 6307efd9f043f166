// config_bench: the configuration inputs that used to take minutes, timed.
//
// Writes into a temporary folder and times what a pass does with each:
//   - a monitor configuration with 5,000 sections, read as RunMonitors reads
//     it (the section names, then seven keys of every section);
//   - a configuration whose one value is 1 MB;
//   - a registry store whose product key holds 2,000 and then 4,000 values,
//     read as the program's start reads it (InstallationPath), and one of
//     16,000 to show how it grows.
// Prints one line per input: what, seconds.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/InstallationPath.h"

namespace spekolar {

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void TimeIni(const char* what, const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  IniFile ini;
  ini.SetPath(path.c_str());
  std::vector<CString> names;
  ini.GetSectionNames(names);
  size_t bytes = 0;
  for (const CString& name : names) {
    for (const char* key : {"Typ", "Datei", "Meldungstyp", "MinLaufzeit", "MaxLaufzeit", "MinGroesse", "ID"}) {
      bytes += static_cast<size_t>(ini.GetString(name.c_str(), key, "").GetLength());
    }
  }
  std::printf("%-40s %8.3f s  (%zu sections, %zu value bytes)\n", what, Seconds(start), names.size(), bytes);
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

int main() {
  char pattern[] = "/tmp/spk-config-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return 1;
  const std::string root = dir;

  std::string ini = "[SPEKOLAR]\nE-Mail=a@b\n";
  for (int i = 0; i < 5000; ++i) {
    ini += "[GRUPPE" + std::to_string(i) + "]\nTyp=1,2\nDatei=C:\\log\\x" + std::to_string(i) +
           ".log\nMeldungstyp=FENSTER\n";
  }
  Write(root + "/sections.ini", ini);
  TimeIni("INI, 5,000 sections", root + "/sections.ini");
  Write(root + "/value.ini", "[GRUPPE1]\nDatei=" + std::string(1 << 20, 'v') + "\n");
  TimeIni("INI, one 1 MB value", root + "/value.ini");

  for (int values : {2000, 4000, 16000}) {
    std::string store = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n";
    for (int i = 0; i < values; ++i) store += "\"Value" + std::to_string(i) + "\"=\"x\"\r\n";
    store += "\"Path\"=\"/opt/p\"\r\n";
    Write(root + "/registry.reg", store);
    setenv("SPEKOLAR_REGISTRY", (root + "/registry.reg").c_str(), 1);
    auto start = std::chrono::steady_clock::now();
    InstallationPath installation;
    std::printf("%-40s %8.3f s  (Path %s)\n",
                (std::string("registry key, ") + std::to_string(values) + " values").c_str(),
                Seconds(start), installation.Directory().c_str());
  }
  std::system(("rm -rf '" + root + "'").c_str());
  return 0;
}
