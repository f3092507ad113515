#pragma once
#include <cstdint>
#include <string>

#include "imagefile/image.h"
#include "support/file_error.h"

// The library slot: the one optional converter module (JPEG and PNG), loaded by path. A module
// that lacks any of its three operations is treated as absent, so that nothing ever calls through
// a missing export. Its optional fourth, LastConversionError, tells why a decoding failed. Its later
// operations (upright pictures with their metadata, JPEG writing) are used where it has them.
// Calls are serialised: the module keeps one result block per operation, which a second thread's
// call would free under the first one's feet.

bool LoadConverterLibrary(const std::string& path);
void FreeConverterLibrary();
bool ConverterLibraryLoaded();

// Names the module to load when it is first needed, by ConverterLibraryLoaded or an operation
// below, rather than now: a batch of BMP files into BMP results never loads it, and under Wine
// loading it takes longer than starting the rest of qvn.
void OfferConverterLibrary(const std::string& path);

enum class ConvertedKind { Jpeg, Png };

// Decodes the file through the module into image, with its metadata, turned upright by its
// orientation tag unless keepOrientation. Refused, with image released, without the module, when
// the module refuses the file (with the module's reason where it gives one) or returns a block
// that is not the packed 24-bit bitmap it promises or is smaller than its header claims.
FileError ConvertFileToImage(ConvertedKind kind, const std::string& path, bool keepOrientation, Image& image);

// Writes the working picture as PNG, or as JPEG of quality 1 ... 100, through the module with the
// picture's metadata, via a temporary file beside path that replaces path only on success, and
// only when path is a regular file or a new name. JPEG needs a module that writes it.
FileError SavePngFile(const Image& image, const std::string& path);
FileError SaveJpegFile(const Image& image, const std::string& path, int quality);

// A JPEG's sides end here: a larger picture is refused as TooLargeForJpeg before anything is written
// (and qvn refuses it before it runs).
constexpr std::uint32_t largestJpegSide = 65500;

// Copies a converter result of size bytes into image after checking it against its own header.
FileError AdoptConvertedBitmap(const std::uint8_t* block, std::int32_t size, Image& image);
