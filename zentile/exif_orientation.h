#pragma once
#include <cstddef>
#include <cstdint>

// The orientation tag (274) of EXIF data: how the stored picture must be turned to be seen upright.
// Only the first directory (IFD0), where the tag lives, is walked, with every offset checked
// against the data's size.

// The tag's value, 1 to 8; 0 when the data holds no such tag or a broken one.
int ExifOrientation(const std::uint8_t* exif, std::size_t size);

// For a picture that has been turned upright: sets the tag to 1 and unlinks the second directory
// (IFD1, the thumbnail), which still shows the picture as stored. False, with nothing changed,
// when the data holds no valid tag.
bool MarkExifUpright(std::uint8_t* exif, std::size_t size);
