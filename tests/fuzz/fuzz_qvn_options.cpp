// The input is an argument list separated by NUL bytes. Parsing must never fault, must give one
// line on refusal, and whatever it accepts must lie within the ranges the engine is given.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "cli/options.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

// A JSON string literal holds no raw control bytes and no bytes that are not UTF-8.
void CheckJsonString(const std::string& json)
{
    Require(json.size() >= 2 && json.front() == '"' && json.back() == '"');
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(json[i]);
        Require(c >= 0x20 && c != 0x7F);
        if (c == '"') Require(json[i - 1] == '\\');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(bytes.substr(start, end - start));
    args.push_back(bytes.substr(start));

    QvnOptions options;
    std::string error;
    if (ParseOptions(args, options, error)) {
        Require(options.strength >= 1 && options.strength <= 99);
        Require(options.tone >= 0 && options.tone <= 3);
        Require(options.viewMode == -1 || (options.viewMode >= 0 && options.viewMode <= 13 && options.viewMode != 2));
        Require(options.jobs >= 0);
        Require(options.help || options.version || !options.pictures.empty());
        Require(options.output.empty() || options.pictures.size() <= 1 || options.help || options.version);
    } else {
        Require(!error.empty() && error.find('\n') == std::string::npos);
    }
    CheckJsonString(JsonString(bytes));
    return 0;
}
