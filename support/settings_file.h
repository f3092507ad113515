#pragma once
#include <cstdint>
#include <string>

#include "support/system_probe.h"

// The settings file: where the main window stood when the program last closed and the denoising
// method the preview dialog was left with, plus three diagnostic lines about the machine that are
// written at exit and never read back.
//
//   Res=<system>,<GDI>,<USER>;       free resources in percent (0 without the resource meter)
//   Mem=<total>,<available>,<load>;  physical memory in units of 1,045,504 bytes, load in percent
//   Viw=<width>,<height>,<bits>;     the display the main window was on
//   Pos=<top>,<left>;                the main window's position (top first)
//   Mth=<name>;                      the method, by its name ("classic", "fine")
//
// Statements end in ";"; blanks and line breaks anywhere are ignored, so a statement may span
// lines. "Pos" and "Mth" are interpreted when reading (each by its first three characters); the
// method comes last, so a program that knows only the first four statements reads the file as
// before.

inline constexpr const char* settingsFileName = "./Quorva.ini";

// The remembered main-window position. Process-wide: read at start-up, written at exit.
extern std::int32_t windowX;
extern std::int32_t windowY;

// The remembered method's name, as the file holds it (at most 16 characters; empty when the file
// names none). Read at start-up, written at exit when not empty; the program decides what a name
// it does not know means.
extern std::string rememberedMethod;

// The display figures of the main window's device context (HORZRES, VERTRES, BITSPIXEL).
struct DisplayFigures {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

// Reads the remembered position into windowX and windowY and the method into rememberedMethod.
// False only when the file cannot be opened; the values then stay as they were. Negative values
// are kept: the start-up code decides what a position off the screen means.
bool ReadSettings(const char* path = settingsFileName);

// Records the window's left and top edge in windowX and windowY and rewrites the file with the
// four lines and the remembered method. The new file replaces the old one only once it is completely written, so a full
// disk or a crash at exit leaves the previous file intact. A file that cannot be written is
// skipped silently (false): losing a window position is not worth a message at exit.
bool WriteSettings(std::int32_t windowLeft, std::int32_t windowTop, const DisplayFigures& display,
                   const SystemFigures& system, const char* path = settingsFileName);
