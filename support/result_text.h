#pragma once
#include <string>

// The texts of the box that reports a whole-picture run, UTF-8. The Windows front end converts them
// for display; the command-line tool prints them.
enum ResultTextId { captionText, brightnessLabel, tintLabel, notMeasurableText, timeLabel };
extern const char* const resultTexts[5];  // " PSNR", "明るさ", "色味", "測定不可", "所要時間"

// The report of one run: the two measurements (0 stands for not measurable and is shown as
// "測定不可") with six decimals and the whole seconds, as three lines separated by blank lines.
std::string FormatResultText(float lumaSnr, float chromaSnr, int seconds);
