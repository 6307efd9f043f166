// Entry point: the command line, then one pass in the mode it asks for.
#include "cli/Program.h"

using namespace spekolar;

int main(int argc, char** argv) { return cli::RunProgram(argc, argv); }
