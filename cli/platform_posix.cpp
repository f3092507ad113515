#include "cli/platform.h"

#include <unistd.h>

#include <climits>

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string folder(path, static_cast<std::size_t>(length));
    return folder.substr(0, folder.rfind('/') + 1);
}

const char* ConverterModuleName()
{
    return "libzentile.so";
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

void PrepareConsole()
{
}
