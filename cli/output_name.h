#pragma once
#include <string>

// Where the desktop program's double click saves a picture: the input path less its last
// 4 characters, plus the ending ("'.png", "'.bmp", "'.jpg"). Characters are counted as UTF-8 code points, so a
// name is never cut inside one. False when the file name itself has fewer than 4 characters:
// cutting further would leave its folder, and the result would land somewhere else.
bool SaveNameFor(const std::string& input, const char* ending, std::string& output);

// True when both paths name one file: the same text, or an existing file reached two ways
// (another spelling, a link).
bool SameFile(const std::string& first, const std::string& second);
