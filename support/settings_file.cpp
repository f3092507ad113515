#include "support/settings_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "support/replace_file.h"

std::int32_t windowX = 0;
std::int32_t windowY = 0;
std::string rememberedMethod;

namespace {

// Statements are collected in a buffer of this many characters. A longer statement wraps around
// to the buffer's start without clearing it, so only a bounded part of it is ever kept.
constexpr std::size_t statementCapacity = 512;

// Memory figures are written in units of 0xFF400 bytes, as the file has always held them.
constexpr std::uint64_t memoryUnit = 0xFF400;

// A method's name is short; a longer value names no method.
constexpr std::size_t methodNameLength = 16;

struct StatementReader {
    char buffer[statementCapacity] = {};
    std::size_t next = 0;
};

// The decimal integer at the start of text, read like atoi (optional sign, then digits, stopping
// at anything else; 0 when there are no digits), but saturating instead of overflowing.
std::int32_t LeadingInteger(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) {
            value = std::int64_t{INT32_MAX} + 1;  // enough to saturate either sign
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}

// "Mth" (only the first three characters count): the name after the first "=". Without an "="
// the statement says nothing.
void TakeMethod(std::string_view statement)
{
    const std::size_t equals = statement.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    rememberedMethod = statement.substr(equals + 1, methodNameLength);
}

// "Pos" (only the first three characters count): x after the last ",", and y after the last "="
// of what stands before the first ",". Without a "," or an "=" the statement says nothing.
void TakeStatement(std::string_view statement)
{
    if (statement.substr(0, 3) == "Mth") {
        TakeMethod(statement);
        return;
    }
    if (statement.substr(0, 3) != "Pos") {
        return;
    }
    const std::size_t lastComma = statement.rfind(',');
    const std::string_view head = statement.substr(0, statement.find(','));
    const std::size_t lastEquals = head.rfind('=');
    if (lastComma == std::string_view::npos || lastEquals == std::string_view::npos) {
        return;
    }
    windowX = LeadingInteger(statement.substr(lastComma + 1));
    windowY = LeadingInteger(head.substr(lastEquals + 1));
}

void TakeCharacter(StatementReader& reader, unsigned char c)
{
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        return;
    }
    if (c == ';') {
        // The buffer holds no terminator when a statement filled it, hence the bounded length.
        TakeStatement(std::string_view(reader.buffer, strnlen(reader.buffer, statementCapacity)));
        reader = StatementReader{};
        return;
    }
    if (c < 0x21 || c > 0x7E) {
        return;  // not printable: dropped
    }
    reader.buffer[reader.next] = static_cast<char>(c);
    reader.next = (reader.next + 1) % statementCapacity;
}

}  // namespace

bool ReadSettings(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    rememberedMethod.clear();  // the file names the method, or none
    StatementReader reader;
    unsigned char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            TakeCharacter(reader, chunk[i]);
        }
    }
    std::fclose(file);
    return true;  // text after the last ";" is an unfinished statement and is ignored
}

bool WriteSettings(std::int32_t windowLeft, std::int32_t windowTop, const DisplayFigures& display,
                   const SystemFigures& system, const char* path)
{
    windowX = windowLeft;
    windowY = windowTop;
    char text[statementCapacity];
    const int length = std::snprintf(
        text, sizeof text,
        "Res=%d,%d,%d;\n"
        "Mem=%" PRIu64 ",%" PRIu64 ",%" PRIu32 ";\n"
        "Viw=%d,%d,%d;\n"
        "Pos=%" PRId32 ",%" PRId32 ";\n",
        system.freeResources[0], system.freeResources[1], system.freeResources[2],
        system.totalPhysical / memoryUnit, system.availablePhysical / memoryUnit, system.memoryLoad,
        display.width, display.height, display.bitsPerPixel, windowY, windowX);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
        return false;
    }
    std::string whole(text, static_cast<std::size_t>(length));
    if (!rememberedMethod.empty()) {
        whole += "Mth=" + rememberedMethod.substr(0, methodNameLength) + ";\n";
    }
    return WriteWholeFile(path, whole.data(), whole.size()) == FileError::None;
}
