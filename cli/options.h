#pragma once
#include <string>
#include <vector>

#include "engine/settings.h"

// What one qvn command asks for. The processing settings mirror the desktop program's preview
// dialog, so the same values give the same pictures.
enum class OutputFormat { Automatic, Png, Bmp, Jpeg };

struct QvnOptions {
    Method method = Method::Classic;  // classic: the desktop program's denoising, byte for byte
    int strength = 50;               // filterStrength, 1 ... 99
    int tone = 0;                    // toneMode: none, bright, natural, dark
    bool brightnessCorrection = true;
    bool rgbCorrection = true;
    int viewMode = -1;               // -1 denoises; otherwise the view written instead
    char viewKey = 0;                // the view's key letter, for the reports
    std::string output;              // -o: only with one picture
    OutputFormat format = OutputFormat::Automatic;
    int quality = 92;                // JPEG results, 1 ... 100
    bool keepOrientation = false;    // photographs as stored, not turned by their orientation tag
    bool strip = false;              // results without the pictures' profile and EXIF data
    int jobs = 0;                    // 0: as many as the cores and the memory allow
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> pictures;
};

// Reads the arguments after the program name in the GNU manner: short options may be bundled
// (-qj2) and take their value attached or as the next argument, long options take it after "="
// or as the next argument and may be shortened to any unambiguous prefix, "--" ends the options.
// False with a one-line message naming the bad option or value and what is accepted.
bool ParseOptions(const std::vector<std::string>& args, QvnOptions& options, std::string& error);

// The accepted names, in the order of the desktop program's tone list.
extern const char* const toneNames[4];

// The --help text.
std::string UsageText();
