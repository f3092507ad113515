#include "support/result_text.h"

#include <cstdio>

const char* const resultTexts[5] = {" PSNR", "明るさ", "色味", "測定不可", "所要時間"};

std::string FormatResultText(float lumaSnr, float chromaSnr, int seconds)
{
    const char* const brightness = resultTexts[brightnessLabel];
    const char* const tint = resultTexts[tintLabel];
    const char* const none = resultTexts[notMeasurableText];
    const char* const time = resultTexts[timeLabel];
    // The messages of the program are formatted into 512-byte buffers; these texts need far less.
    char text[512] = {};
    if (lumaSnr == 0.0f && chromaSnr == 0.0f)
        std::snprintf(text, sizeof text, "%s\t : %s\n\n%s\t : %s\n\n%s\t : %d秒\n\n",
                      brightness, none, tint, none, time, seconds);
    else if (lumaSnr == 0.0f)
        std::snprintf(text, sizeof text, "%s\t : %s\n\n%s\t : %f\n\n%s\t : %d秒\n\n",
                      brightness, none, tint, static_cast<double>(chromaSnr), time, seconds);
    else if (chromaSnr == 0.0f)
        std::snprintf(text, sizeof text, "%s\t : %f\n\n%s\t : %s\n\n%s\t : %d秒\n\n",
                      brightness, static_cast<double>(lumaSnr), tint, none, time, seconds);
    else
        std::snprintf(text, sizeof text, "%s\t : %f\n\n%s\t : %f\n\n%s\t : %d秒\n\n", brightness,
                      static_cast<double>(lumaSnr), tint, static_cast<double>(chromaSnr), time,
                      seconds);
    return text;
}
