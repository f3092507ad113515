#include "support/file_error.h"

#include <cerrno>

const char* FileErrorText(FileError error)
{
    switch (error) {
    case FileError::None: return "no error";
    case FileError::NotFound: return "no such file";
    case FileError::Folder: return "it is a folder";
    case FileError::NotRegularFile: return "not a regular file (a device, a pipe or a socket)";
    case FileError::NoPermission: return "no permission";
    case FileError::ReadFailed: return "the system could not read it (input/output error)";
    case FileError::NotAPicture: return "not a picture that is read here (24-bit BMP, JPEG, PNG)";
    case FileError::NeedsConverter: return "JPEG and PNG pictures need the converter module";
    case FileError::BmpDepth: return "a BMP of a colour depth other than 24 bits, which is not read";
    case FileError::BmpCompression: return "a compressed BMP, which is not read (only uncompressed 24-bit)";
    case FileError::Truncated: return "truncated: the file ends before its picture does";
    case FileError::Damaged: return "damaged: its data is corrupt";
    case FileError::ChecksumMismatch: return "damaged: a checksum does not match its data";
    case FileError::TooLarge: return "too large: the picture and the memory to process it cannot be had";
    case FileError::OutOfMemory: return "out of memory";
    case FileError::ConverterRefused: return "the converter module could not read it";
    case FileError::NameNotPassable: return "its name has no form the converter module can open";
    case FileError::FolderMissing: return "its folder does not exist";
    case FileError::ReadOnlyFileSystem: return "the file system is read-only";
    case FileError::NoSpace: return "no space left on the disk";
    case FileError::NameTooLong: return "the name is too long";
    case FileError::CannotWrite: return "the system refused the write";
    case FileError::TooLargeForJpeg: return "too large for JPEG, which allows at most 65,500 pixels a side";
    case FileError::WriteProtected: return "the file there is write-protected";
    }
    return "unknown error";
}

FileError FileErrorFromErrno(int number, bool writing)
{
    switch (number) {
    case ENOENT: return writing ? FileError::FolderMissing : FileError::NotFound;
    case ENOTDIR: return writing ? FileError::FolderMissing : FileError::NotFound;
    case EISDIR: return FileError::Folder;
    case EACCES:
    case EPERM: return FileError::NoPermission;
    case EROFS: return FileError::ReadOnlyFileSystem;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileError::NoSpace;
    case ENAMETOOLONG: return FileError::NameTooLong;
    case ENOMEM: return FileError::OutOfMemory;
    case EFBIG: return FileError::TooLarge;
    default: return writing ? FileError::CannotWrite : FileError::ReadFailed;
    }
}
