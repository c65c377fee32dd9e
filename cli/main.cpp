// norrvik-cli: the command-line front end (see cli/Cli.h). The arguments
// come as UTF-8 from the platform layer, which also makes the console show
// UTF-8.
#include "cli/Cli.h"

#include "common/Platform.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    norrvik::UseUtf8Console();
    const std::vector<std::string> arguments = norrvik::CommandLineArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    norrvik::TCliOptions options;
    options.DrawProgress = norrvik::IsTerminal(stderr);
    return norrvik::RunCli(static_cast<int>(arguments.size()), pointers.data(), std::cout, std::cerr, options);
}
