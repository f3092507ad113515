#pragma once
#include <cstdint>

// Why reading or writing a picture failed, carried from where the system or a decoder tells it to
// the front end that words it. One text per value (FileErrorText); None means success.
//
// The numbers travel between the program and the converter module (its LastConversionError), so a
// value keeps its number: new reasons go at the end.
enum class FileError : std::int32_t {
    None = 0,
    NotFound,            // the name leads nowhere
    Folder,              // a folder, not a file
    NotRegularFile,      // a device, a pipe or a socket: never opened
    NoPermission,
    ReadFailed,          // the system reported an input/output error
    NotAPicture,         // none of the kinds read here
    NeedsConverter,      // JPEG or PNG without the converter module
    BmpDepth,            // a BMP of another colour depth than 24 bits
    BmpCompression,      // a compressed BMP
    Truncated,           // the file ends before its picture does
    Damaged,             // the data contradicts itself
    ChecksumMismatch,    // a stored checksum does not match its data
    TooLarge,            // more pixels than can be processed here
    OutOfMemory,
    ConverterRefused,    // the converter module failed without saying why
    NameNotPassable,     // the name has no form the converter module can open
    FolderMissing,       // the result's folder does not exist
    ReadOnlyFileSystem,
    NoSpace,
    NameTooLong,
    CannotWrite,         // any other write failure
    TooLargeForJpeg,     // a side beyond the 65,500 pixels JPEG allows
    WriteProtected,      // the file to be replaced allows nobody to write it
};

// The reason in a few words (English, UTF-8), e.g. "no such file".
const char* FileErrorText(FileError error);

// The reason for a system error number (errno) met while reading or writing.
FileError FileErrorFromErrno(int number, bool writing);
