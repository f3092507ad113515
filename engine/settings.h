#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "colour/colour_settings.h"
#include "support/quality_figures.h"

// The two ways the engine removes noise. classic: the wavelet pipeline in engine/classic/, whose
// bytes are fixed for good; fine: the adaptive denoiser in engine/fine/, which measures the noise
// on the picture itself.
enum class Method { Classic, Fine };

// The methods' names in qvn's options and reports and in the desktop program's settings file.
inline const char* MethodName(Method method)
{
    return method == Method::Fine ? "fine" : "classic";
}

// The method a name stands for; nothing for a name no method has.
inline std::optional<Method> MethodNamed(std::string_view name)
{
    if (name == "classic") return Method::Classic;
    if (name == "fine") return Method::Fine;
    return std::nullopt;
}

// What the adaptive method measured on a picture. Its content belongs to engine/fine/; everyone
// else only holds it and hands it back.
struct NoiseLevels;

// Everything one run of the engine is told: the caller builds it and hands it in, so helper
// threads and pictures running at once never share a setting.
struct DenoiseSettings {
    Method method = Method::Classic;
    std::int8_t filterStrength = 50;  // 1 ... 99
    // The threads one call uses: 0 means one per processor, otherwise this many (at most
    // maxEngineThreads). The bits of a result never depend on it.
    int threads = 0;
    // The classic method's own choices; the adaptive method takes none of them.
    std::uint8_t brightnessCorrection = 1;  // 0 or 1
    ColourSettings colour;
    // The adaptive method: the noise an earlier run measured on this same picture (its outcome's
    // noise), so that a preview need not measure the whole picture again; null to measure it.
    std::shared_ptr<const NoiseLevels> noise;
};

// A rectangle of a picture: columns left ... left + width - 1 of the source rows top ... top +
// height - 1 (rows counted as the picture stores them, bottom row first).
struct PictureArea {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Where a run stands, for a progress display: Starting before anything is allocated (percent 0),
// then Working with 1 ... 100. The engine never ends the display; its caller does, once the run
// has returned.
enum class ProgressPhase { Starting, Working };

// What a caller may plug into one run; either hook may stay empty. Both are called on the
// caller's thread.
struct DenoiseHooks {
    std::function<void(ProgressPhase phase, int percent)> progress;
    // The result's pixels are final: a run calls this once, when it can no longer fail, and from
    // then on only reads them to measure them. A caller may save them meanwhile.
    std::function<void()> resultReady;
};

// The adaptive method's measured noise in brief, for reports: at the darkest, the middle and the
// brightest of its brightness bins (the mean of R, G and B there), each channel's deviation in the
// finest and in the coarsest level it shrinks, the mean of the three orientations.
struct NoiseBrief {
    std::array<float, 3> brightness{};
    std::array<std::array<float, 3>, 3> finest{};  // [bin][channel]
    std::array<std::array<float, 3>, 3> coarsest{};
    // The correlation of the channels' noise, [bin][pair] (brightness and red-blue, brightness and
    // green-magenta, the two colours), in the finest and the third level's diagonal detail.
    std::array<std::array<float, 3>, 3> correlationFinest{};
    std::array<std::array<float, 3>, 3> correlationCoarse{};
};

// What a run found.
struct DenoiseOutcome {
    bool done = false;       // false: the size is not positive or the memory could not be had, and the
                             // working pixels are untouched
    QualityFigures figures;  // the result against its source; 0 means not measurable
    // The adaptive method: the noise it measured (or was given), to hand back in the settings of
    // the next run on the same picture; null for the classic method.
    std::shared_ptr<const NoiseLevels> noise;
    // The same noise as one standard deviation per channel (brightness, red-blue, green-magenta) in
    // 8-bit levels, for reports; zero for the classic method.
    std::array<float, 3> noiseSigma{};
    NoiseBrief noiseBrief;  // zero for the classic method
};
