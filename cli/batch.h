#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The world one qvn command runs in; main fills it from the real process, tests with their own.
struct QvnConsole {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errorIsTerminal = false;
    std::uint64_t memoryBytes = 0;  // what the pictures processed at once may use; 0: unknown
    int cores = 1;
};

// Runs one qvn command on its arguments (without the program name) and returns its exit code:
// 0 when every picture was written, 1 when any failed, 2 for bad usage.
int RunQvn(const std::vector<std::string>& args, const QvnConsole& console);
