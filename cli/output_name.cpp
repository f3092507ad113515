#include "cli/output_name.h"

#include <filesystem>
#include <system_error>

#include "imagefile/image_file.h"
#include "support/replace_file.h"

namespace {

bool IsSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

bool SaveNameFor(const std::string& input, const char* ending, std::string& output)
{
    const std::string stem = SaveNameStem(input);
    int characters = 0;
    for (std::size_t i = stem.size(); i < input.size(); ++i) {
        if (IsSeparator(input[i])) return false;
        if (!IsContinuationByte(input[i])) ++characters;
    }
    if (characters < 4) return false;
    output = stem + ending;
    return true;
}

bool SameFile(const std::string& first, const std::string& second)
{
    if (first == second) return true;
    std::error_code error;
    return std::filesystem::equivalent(PathFromUtf8(first), PathFromUtf8(second), error) && !error;
}
