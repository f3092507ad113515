#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "support/file_error.h"

// Writing a file without ever leaving a damaged one: the bytes go to a new file beside the target,
// which replaces the target only once it is completely written and flushed to the disk. A failed
// write (disk full, no permission, missing folder) leaves any existing file as it was and leaves
// no partial file behind. Paths are UTF-8.
//
// The temporary file's name is short and fixed in form, ".qvtmp-HHHHHHHH-PID-N": HHHHHHHH names the
// target (a hash of its file name), PID the writing process, N counts its writes. It never makes a
// long name longer, and a temporary left by a run that was killed is known by its name: the next
// write of the same target removes it once its process has gone.

// One stretch of bytes of a file written in pieces (header, then pixels), so that large pictures
// are written straight from memory without a second copy.
struct FilePiece {
    const void* data;
    std::size_t size;
};

// A temporary file created beside its target and still open for writing.
struct TemporaryFile {
    std::string path;
    std::intptr_t handle = -1;  // the descriptor, or the Windows handle
};

// The path as the platform's file functions want it (the wide form on Windows).
std::filesystem::path PathFromUtf8(const std::string& path);

// The temporary name for a target, in the target's folder, given the writer's process number and
// its count of writes.
std::string TemporaryPathFor(const std::string& target, std::uint64_t process, std::uint32_t count);

// None when a result may be written to target: nothing has that name yet, or a regular file does
// that someone may write. Folders, devices, pipes and sockets are refused, so that a write never
// replaces them, and so is a write-protected file (as cp refuses it without -f).
FileError CheckWritableTarget(const std::string& target);

// Creates a new temporary file beside target, first removing the ones of dead writers.
FileError CreateTemporaryBeside(const std::string& target, TemporaryFile& file);

// Appends the pieces to the open temporary file.
FileError WriteToTemporary(const TemporaryFile& file, std::span<const FilePiece> pieces);

// A name under which another writer (the converter module) reaches exactly this open file, never a
// file swapped in under its name: on Linux the descriptor's entry in /proc.
std::string OpenFileName(const TemporaryFile& file);

// Flushes the temporary file to the disk, closes it and renames it over target in one step; a
// file it replaces passes on its permissions (and, where the system lets it, its owner).
// On failure the target is untouched and the temporary file is removed.
FileError FinishTemporary(TemporaryFile& file, const std::string& target);

// Closes and removes the temporary file.
void DiscardTemporary(TemporaryFile& file);

// Writes a whole file safely through a temporary file beside it.
FileError WriteWholeFile(const std::string& path, std::span<const FilePiece> pieces);
FileError WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// Platform parts used by the portable ones. CreateNewFile refuses a name that exists, whatever it is;
// WriteSome writes what it can of size bytes, at least one.
FileError CreateNewFile(const std::string& path, TemporaryFile& file);
FileError WriteSome(const TemporaryFile& file, const char* data, std::size_t size, std::size_t& written);
std::uint64_t CurrentProcessNumber();
bool ProcessIsRunning(std::uint64_t process);
