#pragma once
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

// Writing a file without ever leaving a damaged one: the bytes go to a new file beside the target,
// which replaces the target only once it is completely written and flushed to the disk. A failed
// write (disk full, no permission, missing folder) leaves any existing file as it was and leaves
// no partial file behind. Paths are UTF-8.

// One stretch of bytes of a file written in pieces (header, then pixels), so that large pictures
// are written straight from memory without a second copy.
struct FilePiece {
    const void* data;
    std::size_t size;
};

// The path as the platform's file functions want it (the wide form on Windows).
std::filesystem::path PathFromUtf8(const std::string& path);

// A path in the target's folder (so that renaming stays within one volume) that no other write is
// using: the target's name with a unique suffix.
std::string TemporaryPathBeside(const std::string& target);

// Creates the file, which must not exist yet, writes the pieces and flushes them to the disk.
// On failure the file is removed again.
bool WriteNewFile(const std::string& path, std::span<const FilePiece> pieces);

// Flushes a file that something else wrote (such as the converter module) to the disk, so that
// renaming it over an old file cannot leave a name on missing bytes after a crash.
bool FlushFileToDisk(const std::string& path);

// Renames temporary over target, replacing an existing target in one step. On failure the target
// is untouched and the temporary file is removed.
bool ReplaceFileWith(const std::string& temporary, const std::string& target);

// Writes a whole file safely through a temporary file beside it.
bool WriteWholeFile(const std::string& path, std::span<const FilePiece> pieces);
bool WriteWholeFile(const std::string& path, const void* data, std::size_t size);
