#include "cli/json_report.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[at], or 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned int value = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, value = lead & 0x07;
    else return 0;
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000)) return 0;
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
    return length;
}

std::string JsonFigure(bool denoised, float figure)
{
    if (!denoised || figure == 0.0f) return "null";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, figure).ptr;
    return std::string(text, end);
}

// The three noise levels as an array, or null.
std::string JsonNoise(const PictureReport& report)
{
    if (!report.noiseMeasured) return "null";
    std::string text = "[";
    for (int k = 0; k < 3; ++k) {
        char figure[32];
        text += std::string(figure, std::to_chars(figure, figure + sizeof figure, report.noise[k]).ptr);
        text += k < 2 ? "," : "]";
    }
    return text;
}

// Figures with two decimals, the same text in every build.
std::string JsonArray(const std::array<float, 3>& figures)
{
    std::string text = "[";
    for (std::size_t k = 0; k < figures.size(); ++k) {
        char figure[32];
        text += std::string(figure,
                            std::to_chars(figure, figure + sizeof figure, figures[k], std::chars_format::fixed, 2).ptr);
        text += k + 1 < figures.size() ? "," : "]";
    }
    return text;
}

// The noise model in brief: the brightness of the darkest, middle and brightest bins, and at each
// the three channels' deviation in the finest and the coarsest level and the correlation of the
// three pairs of channels in the finest and the third level; or null.
std::string JsonNoiseModel(const PictureReport& report)
{
    if (!report.noiseMeasured) return "null";
    const NoiseBrief& brief = report.noiseBrief;
    const auto rowsOf = [](const std::array<std::array<float, 3>, 3>& rows) {
        return "[" + JsonArray(rows[0]) + "," + JsonArray(rows[1]) + "," + JsonArray(rows[2]) + "]";
    };
    return "{\"brightness\":" + JsonArray(brief.brightness) + ",\"finest\":" + rowsOf(brief.finest) +
           ",\"coarsest\":" + rowsOf(brief.coarsest) +
           ",\"correlation\":{\"finest\":" + rowsOf(brief.correlationFinest) +
           ",\"coarse\":" + rowsOf(brief.correlationCoarse) + "}}";
}

std::string JsonBool(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

std::string ShownText(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            // The byte kept recoverable, as a lone low surrogate U+DC80 + (byte - 0x80) (the
            // "surrogateescape" scheme; only bytes from 0x80 up are ever outside UTF-8).
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", 0xDC00u + c);
            json += escaped;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json.append(text, i, length);
        }
        i += length;
    }
    return json + "\"";
}

std::string JsonLine(const PictureReport& report, const QvnOptions& options)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", report.seconds);
    const std::string size = report.width > 0
        ? "{\"width\":" + std::to_string(report.width) + ",\"height\":" + std::to_string(report.height) + "}"
        : "null";
    const std::string view = options.viewMode >= 0 ? JsonString(std::string(1, options.viewKey)) : "null";
    return "{\"input\":" + JsonString(report.input) +
           ",\"output\":" + (report.output.empty() ? "null" : JsonString(report.output)) +
           ",\"size\":" + size +
           ",\"settings\":{\"strength\":" + std::to_string(options.strength) +
           ",\"tone\":" + JsonString(toneNames[options.tone]) +
           ",\"brightness_correction\":" + JsonBool(options.brightnessCorrection) +
           ",\"rgb_correction\":" + JsonBool(options.rgbCorrection) +
           ",\"view\":" + view +
           ",\"method\":" + JsonString(MethodName(options.method)) + "}" +
           ",\"luma_snr\":" + JsonFigure(report.denoised, report.lumaSnr) +
           ",\"chroma_snr\":" + JsonFigure(report.denoised, report.chromaSnr) +
           ",\"noise\":" + JsonNoise(report) +
           ",\"noise_model\":" + JsonNoiseModel(report) +
           ",\"seconds\":" + seconds +
           ",\"error\":" + (report.error.empty() ? "null" : JsonString(report.error)) + "}";
}
