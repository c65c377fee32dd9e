// norrvik-cli: the command-line front end (see cli/Cli.h).
#include "cli/Cli.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define NORRVIK_ISATTY _isatty
#define NORRVIK_FILENO _fileno
#else
#include <unistd.h>
#define NORRVIK_ISATTY isatty
#define NORRVIK_FILENO fileno
#endif

int main(int argc, char** argv)
{
    norrvik::TCliOptions options;
    options.drawProgress = NORRVIK_ISATTY(NORRVIK_FILENO(stderr)) != 0;
    return norrvik::RunCli(argc, argv, std::cout, std::cerr, options);
}
