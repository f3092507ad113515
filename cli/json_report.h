#pragma once
#include <string>

#include "cli/options.h"
#include "engine/settings.h"

// What became of one picture, for the printed lines and the --json objects.
struct PictureReport {
    std::string input;
    std::string output;         // empty when nothing was written
    int width = 0;              // 0 until the picture was read
    int height = 0;
    bool denoised = false;      // the figures below come from a noise-reduction run
    float lumaSnr = 0.0f;       // 0 means not measurable
    float chromaSnr = 0.0f;
    bool noiseMeasured = false; // the fine method measured the noise below
    float noise[3] = {};        // its standard deviation: brightness, red-blue, green-magenta
    NoiseBrief noiseBrief;      // and in brief by brightness and level
    double seconds = 0.0;       // reading, processing and writing
    std::string resultText;     // the engine's three lines of figures, when denoised
    std::string error;          // empty when the picture was written
};

// Text from the command line or the file system as a printed line shows it: control characters
// (a line break in a file name, an escape sequence) become "?", so that each report stays one
// line and cannot drive the terminal.
std::string ShownText(const std::string& text);

// A JSON string literal that always parses. A byte that is not part of well-formed UTF-8 (a file
// name may hold any bytes) becomes the escape of the lone surrogate U+DC80 + (byte - 0x80), so the
// name's bytes can be recovered (Python: os.fsencode of the parsed string).
std::string JsonString(const std::string& text);

// One line holding one JSON object: input, output, size, settings, the two figures (null when
// not measurable or not denoised), the measured noise and its model in brief (null but for the
// fine method), seconds, and the error (null on success).
std::string JsonLine(const PictureReport& report, const QvnOptions& options);
