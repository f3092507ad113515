#include "support/replace_file.h"

#include <windows.h>

namespace {

FileError LastError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileError::FolderMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return FileError::NoPermission;
    case ERROR_WRITE_PROTECT: return FileError::ReadOnlyFileSystem;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileError::NoSpace;
    case ERROR_FILENAME_EXCED_RANGE: return FileError::NameTooLong;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return FileError::OutOfMemory;
    default: return FileError::CannotWrite;
    }
}

HANDLE Handle(const TemporaryFile& file)
{
    return reinterpret_cast<HANDLE>(file.handle);
}

}  // namespace

FileError CreateNewFile(const std::string& path, TemporaryFile& file)
{
    // Shared for reading and writing, so that the converter module can write it by name, but not
    // for deleting: while it is open, nobody can rename it away or swap another file in its place.
    const HANDLE handle = CreateFileW(PathFromUtf8(path).wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    file.path = path;
    file.handle = reinterpret_cast<std::intptr_t>(handle);
    return FileError::None;
}

FileError WriteSome(const TemporaryFile& file, const char* data, std::size_t size, std::size_t& written)
{
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(Handle(file), data, chunk, &done, nullptr)) return LastError();
    written = done;
    return done == 0 ? FileError::NoSpace : FileError::None;
}

std::string OpenFileName(const TemporaryFile& file)
{
    // The open handle keeps the name on this file (see CreateNewFile).
    return file.path;
}

FileError FinishTemporary(TemporaryFile& file, const std::string& target)
{
    // Flushed before the rename, so that a crash can never leave the new name on missing bytes.
    FileError error = FlushFileBuffers(Handle(file)) ? FileError::None : LastError();
    if (!CloseHandle(Handle(file)) && error == FileError::None) error = LastError();
    file.handle = -1;
    // A plain rename refuses an existing target on Windows; this replaces it in one step.
    const std::wstring from = PathFromUtf8(file.path).wstring();
    if (error == FileError::None &&
        !MoveFileExW(from.c_str(), PathFromUtf8(target).wstring().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastError();
    if (error != FileError::None) DeleteFileW(from.c_str());
    return error;
}

void DiscardTemporary(TemporaryFile& file)
{
    if (file.handle != -1) CloseHandle(Handle(file));
    file.handle = -1;
    DeleteFileW(PathFromUtf8(file.path).wstring().c_str());
}

std::uint64_t CurrentProcessNumber()
{
    return GetCurrentProcessId();
}

bool ProcessIsRunning(std::uint64_t process)
{
    const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process));
    if (!handle) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return running;
}
