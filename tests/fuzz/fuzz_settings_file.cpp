// Any settings file is read without reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "support/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = [] {
        std::atexit([] { std::remove(("/tmp/qv-fuzz-settings-" + std::to_string(getpid()) + ".ini").c_str()); });
        return "/tmp/qv-fuzz-settings-" + std::to_string(getpid()) + ".ini";
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    ReadSettings(path.c_str());
    return 0;
}
