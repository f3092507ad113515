#include "support/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool WriteAll(int file, const void* data, std::size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(file, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool WriteNewFile(const std::string& path, std::span<const FilePiece> pieces)
{
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) return false;
    bool ok = true;
    for (const FilePiece& piece : pieces)
        if (ok) ok = WriteAll(file, piece.data, piece.size);
    // Flushed before the rename, so that a crash can never leave the new name on missing bytes.
    if (ok) ok = ::fsync(file) == 0;
    if (::close(file) != 0) ok = false;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

bool FlushFileToDisk(const std::string& path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    const bool flushed = ::fsync(file) == 0;
    return ::close(file) == 0 && flushed;
}

bool ReplaceFileWith(const std::string& temporary, const std::string& target)
{
    if (std::rename(temporary.c_str(), target.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}
