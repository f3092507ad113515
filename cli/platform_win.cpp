#include "cli/platform.h"

#include <windows.h>
#include <io.h>

namespace {

std::string Utf8FromWide(const wchar_t* text, int length)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8FromWide(argv[i], static_cast<int>(wcslen(argv[i]))));
    return args;
}

std::string ProgramFolder()
{
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768) return {};
    std::string folder = Utf8FromWide(path, static_cast<int>(length));
    const std::size_t separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? std::string{} : folder.substr(0, separator + 1);
}

const char* ConverterModuleName()
{
    return "zentile.dll";
}

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void PrepareConsole()
{
    SetConsoleOutputCP(CP_UTF8);
}
