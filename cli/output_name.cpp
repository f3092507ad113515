#include "cli/output_name.h"

#include <filesystem>
#include <system_error>

#include "cli/utf8_path.h"

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

bool SaveNameFor(const std::string& input, bool png, std::string& output)
{
    std::size_t cut = input.size();
    for (int characters = 0; characters < 4; ++characters) {
        if (cut == 0 || IsSeparator(input[cut - 1])) return false;
        --cut;
        while (cut > 0 && IsContinuationByte(input[cut])) --cut;
    }
    output = input.substr(0, cut) + (png ? "'.png" : "'.bmp");
    return true;
}

bool SameFile(const std::string& first, const std::string& second)
{
    if (first == second) return true;
    std::error_code error;
    return std::filesystem::equivalent(Utf8Path(first), Utf8Path(second), error) && !error;
}
