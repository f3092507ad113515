#include "support/replace_file.h"

#include <windows.h>

bool WriteNewFile(const std::string& path, std::span<const FilePiece> pieces)
{
    const std::wstring wide = PathFromUtf8(path).wstring();
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (const FilePiece& piece : pieces) {
        const char* at = static_cast<const char*>(piece.data);
        std::size_t left = piece.size;
        while (ok && left > 0) {
            const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
            DWORD written = 0;
            ok = WriteFile(file, at, chunk, &written, nullptr) && written == chunk;
            at += chunk;
            left -= chunk;
        }
    }
    // Flushed before the rename, so that a crash can never leave the new name on missing bytes.
    if (ok) ok = FlushFileBuffers(file) != 0;
    if (!CloseHandle(file)) ok = false;
    if (!ok) DeleteFileW(wide.c_str());
    return ok;
}

bool FlushFileToDisk(const std::string& path)
{
    const HANDLE file = CreateFileW(PathFromUtf8(path).wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    return CloseHandle(file) && flushed;
}

bool ReplaceFileWith(const std::string& temporary, const std::string& target)
{
    // A plain rename refuses an existing target on Windows; this replaces it in one step.
    const std::wstring from = PathFromUtf8(temporary).wstring();
    const std::wstring to = PathFromUtf8(target).wstring();
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileW(from.c_str());
    return false;
}
