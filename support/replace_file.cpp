#include "support/replace_file.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>

std::filesystem::path PathFromUtf8(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string TemporaryPathBeside(const std::string& target)
{
    // A random start per process and a counter per call keep simultaneous writes of several
    // processes and threads apart.
    static const std::uint32_t processTag = std::random_device{}();
    static std::atomic<std::uint32_t> counter{0};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%04x.tmp", static_cast<unsigned>(processTag),
                  static_cast<unsigned>(counter.fetch_add(1) & 0xFFFF));
    return target + suffix;
}

bool WriteWholeFile(const std::string& path, std::span<const FilePiece> pieces)
{
    const std::string temporary = TemporaryPathBeside(path);
    return WriteNewFile(temporary, pieces) && ReplaceFileWith(temporary, path);
}

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    const FilePiece piece{data, size};
    return WriteWholeFile(path, std::span<const FilePiece>(&piece, 1));
}
