#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What qvn asks of the operating system; one file per platform.

// The command's arguments after the program name, in UTF-8. On Windows the program starts at
// wmain, whose arguments the C runtime reads from the command line as UTF-16, so that any file
// name arrives whole, whatever the system's code page.
#ifdef _WIN32
using ArgumentChar = wchar_t;
#else
using ArgumentChar = char;
#endif
std::vector<std::string> ProgramArguments(int argc, ArgumentChar** argv);

// The folder holding the running program (UTF-8), with a trailing separator; empty when unknown.
std::string ProgramFolder();

// The converter module's file name on this platform.
const char* ConverterModuleName();

bool IsTerminal(std::FILE* stream);

// Makes the console show the UTF-8 texts (the Japanese labels) as they are.
void PrepareConsole();
