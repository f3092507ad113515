#include "support/replace_file.h"

#include <atomic>
#include <cstdio>
#include <system_error>

namespace {

constexpr char temporaryPrefix[] = ".qvtmp-";

// FNV-1a of the target's file name: short, and the same in every build.
std::uint32_t NameHash(const std::string& name)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::string FileNameOf(const std::string& path)
{
    const std::u8string name = PathFromUtf8(path).filename().u8string();
    return std::string(name.begin(), name.end());
}

std::string FolderOf(const std::string& path)
{
    return path.substr(0, path.size() - FileNameOf(path).size());
}

std::string HashPart(const std::string& target)
{
    char part[16];
    std::snprintf(part, sizeof part, "%08x-", static_cast<unsigned>(NameHash(FileNameOf(target))));
    return part;
}

// Removes the temporaries of this target left by writers that no longer run.
void RemoveDeadTemporaries(const std::string& target)
{
    const std::string start = temporaryPrefix + HashPart(target);
    const std::string folder = FolderOf(target);
    std::error_code error;
    std::filesystem::directory_iterator entries(PathFromUtf8(folder.empty() ? "." : folder), error);
    if (error) return;
    for (const auto& entry : entries) {
        const std::u8string utf8 = entry.path().filename().u8string();
        const std::string name(utf8.begin(), utf8.end());
        if (name.compare(0, start.size(), start) != 0) continue;
        unsigned long long process = 0;
        if (std::sscanf(name.c_str() + start.size(), "%llu-", &process) != 1) continue;
        if (process == CurrentProcessNumber() || ProcessIsRunning(process)) continue;
        std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string TemporaryPathFor(const std::string& target, std::uint64_t process, std::uint32_t count)
{
    char tail[48];
    std::snprintf(tail, sizeof tail, "%llu-%x", static_cast<unsigned long long>(process), static_cast<unsigned>(count));
    return FolderOf(target) + temporaryPrefix + HashPart(target) + tail;
}

FileError CheckWritableTarget(const std::string& target)
{
    std::error_code error;
    const auto status = std::filesystem::status(PathFromUtf8(target), error);
    if (status.type() == std::filesystem::file_type::not_found) return FileError::None;
    if (std::filesystem::is_directory(status)) return FileError::Folder;
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return FileError::NotRegularFile;
    using std::filesystem::perms;
    if (std::filesystem::exists(status) &&
        (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none)
        return FileError::WriteProtected;
    return FileError::None;
}

FileError CreateTemporaryBeside(const std::string& target, TemporaryFile& file)
{
    static std::atomic<std::uint32_t> count{0};
    RemoveDeadTemporaries(target);
    return CreateNewFile(TemporaryPathFor(target, CurrentProcessNumber(), count++), file);
}

FileError WriteToTemporary(const TemporaryFile& file, std::span<const FilePiece> pieces)
{
    for (const FilePiece& piece : pieces) {
        const char* at = static_cast<const char*>(piece.data);
        for (std::size_t left = piece.size, written = 0; left > 0; at += written, left -= written)
            if (const FileError error = WriteSome(file, at, left, written); error != FileError::None) return error;
    }
    return FileError::None;
}

FileError WriteWholeFile(const std::string& path, std::span<const FilePiece> pieces)
{
    if (const FileError refused = CheckWritableTarget(path); refused != FileError::None) return refused;
    TemporaryFile file;
    if (const FileError failed = CreateTemporaryBeside(path, file); failed != FileError::None) return failed;
    if (const FileError failed = WriteToTemporary(file, pieces); failed != FileError::None) {
        DiscardTemporary(file);
        return failed;
    }
    return FinishTemporary(file, path);
}

FileError WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    const FilePiece piece{data, size};
    return WriteWholeFile(path, std::span<const FilePiece>(&piece, 1));
}
