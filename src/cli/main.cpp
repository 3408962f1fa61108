#include "cli/CliApp.h"

int main(int argc, char** argv) { return tw::RunCli(argc, argv); }
