#pragma once
// The desktop program's whole-picture run: the engine with the progress window, its pauses and the
// result box around it.
#include "engine/settings.h"
#include "imagefile/image.h"

// The methods as the dialog's list and the result box name them, in the order of Method.
inline constexpr const char* methodLabels[] = {"標準処理", "適応型処理"};

// Denoises the whole picture with the settings: the progress window runs along, and at the end,
// between two short pauses, it goes and the result box shows the figures, the whole seconds the
// run took (pauses included) and the method. Not done, with the picture as it was, when the
// picture is too large to process.
DenoiseOutcome DenoiseWholePicture(const DenoiseSettings& settings, Image& picture);
