#include "support/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileError LastError()
{
    return FileErrorFromErrno(errno, true);
}

int Descriptor(const TemporaryFile& file)
{
    return static_cast<int>(file.handle);
}

}  // namespace

FileError CreateNewFile(const std::string& path, TemporaryFile& file)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (descriptor < 0) return LastError();
    file.path = path;
    file.handle = descriptor;
    return FileError::None;
}

FileError WriteSome(const TemporaryFile& file, const char* data, std::size_t size, std::size_t& written)
{
    ssize_t done;
    do {
        done = ::write(Descriptor(file), data, size);
    } while (done < 0 && errno == EINTR);
    if (done < 0) return LastError();
    written = static_cast<std::size_t>(done);
    return done == 0 ? FileError::NoSpace : FileError::None;
}

std::string OpenFileName(const TemporaryFile& file)
{
    const std::string entry = "/proc/self/fd/" + std::to_string(Descriptor(file));
    struct stat byEntry, byDescriptor;
    // Without /proc the name is the only way; the file was at least created exclusively.
    if (::stat(entry.c_str(), &byEntry) != 0 || ::fstat(Descriptor(file), &byDescriptor) != 0 ||
        byEntry.st_ino != byDescriptor.st_ino || byEntry.st_dev != byDescriptor.st_dev)
        return file.path;
    return entry;
}

FileError FinishTemporary(TemporaryFile& file, const std::string& target)
{
    // A private result stays private: the replaced file's owner where we may set it (a change of
    // owner clears the mode's set-id bits, so it goes first), and its permissions.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        [[maybe_unused]] const int owned = ::fchown(Descriptor(file), old.st_uid, old.st_gid);
        ::fchmod(Descriptor(file), old.st_mode & 0777);
    }
    // Flushed before the rename, so that a crash can never leave the new name on missing bytes.
    FileError error = ::fsync(Descriptor(file)) == 0 ? FileError::None : LastError();
    if (::close(Descriptor(file)) != 0 && error == FileError::None) error = LastError();
    file.handle = -1;
    if (error == FileError::None && std::rename(file.path.c_str(), target.c_str()) != 0) error = LastError();
    if (error != FileError::None) ::unlink(file.path.c_str());
    return error;
}

void DiscardTemporary(TemporaryFile& file)
{
    if (file.handle >= 0) ::close(Descriptor(file));
    file.handle = -1;
    ::unlink(file.path.c_str());
}

std::uint64_t CurrentProcessNumber()
{
    return static_cast<std::uint64_t>(::getpid());
}

bool ProcessIsRunning(std::uint64_t process)
{
    // Beyond pid_t a number names no process (and a negative one would name a whole group).
    if (process == 0 || process > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) return false;
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}
