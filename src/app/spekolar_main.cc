// Entry point: builds the program-wide installation path, then runs one pass.
#include "app/RunSequence.h"
#include "config/InstallationPath.h"

int main(int argc, char** argv) {
  static InstallationPath installation;
  return RunSpekolar(argc, argv, installation);
}
