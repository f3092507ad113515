#include "cli/picture_job.h"

#include <chrono>
#include <system_error>

#include "cli/interruption.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "colour/colour_settings.h"
#include "colour/view_transform.h"
#include "engine/denoise.h"
#include "engine/fine_denoise.h"
#include "engine/parallel_for.h"
#include "engine/quality.h"
#include "engine/result_text.h"
#include "engine/settings.h"
#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "support/front_end.h"
#include "support/replace_file.h"

namespace {

// The result text the engine shows at the end of a run (caption " PSNR"), kept for the report
// instead of a message box.
thread_local std::string resultMessage;

void CatchMessage(const char* text, const char* caption)
{
    if (std::string(caption) == resultTexts[captionText]) resultMessage = text;
}

void UseWorkerSettings(const QvnOptions& options)
{
    filterStrength = static_cast<std::int8_t>(options.strength);
    toneMode = static_cast<std::int8_t>(options.tone);
    brightnessCorrection = options.brightnessCorrection ? 1 : 0;
    rgbCorrection = options.rgbCorrection ? 1 : 0;
    frontEnd = FrontEnd{};
    frontEnd.showProgress = ShowBatchProgress;  // no pauses: nobody needs to see a window
    frontEnd.showMessage = CatchMessage;
    resultMessage.clear();
}

std::string MiB(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

std::string ReadFailure(FileError error)
{
    std::string text = std::string("cannot read: ") + FileErrorText(error);
    if (error == FileError::NeedsConverter) text += std::string(" ") + ConverterModuleName() + " beside qvn";
    return text;
}

void ShowFineProgress(int percent)
{
    ShowBatchProgress(2, percent);
}

// The adaptive run, scored and reported like the classic one.
bool RunFine(const QvnOptions& options, Image& image)
{
    const auto started = std::chrono::steady_clock::now();
    FineSettings settings;
    settings.strength = options.strength;
    settings.threads = engineThreads;
    settings.progress = ShowFineProgress;
    ShowBatchProgress(1, 0);
    const bool done = FineDenoiseImage(settings, image.header, image.bits, image.rows.get()).done;
    ShowBatchProgress(0, 0);
    if (!done) return false;
    MeasureQuality(image.header, image.bits, image.rows.get());
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    resultMessage = FormatResultText(lumaSnr, chromaSnr, static_cast<int>(seconds));
    return true;
}

// The whole-picture run, as the desktop program's full-processing button starts it, or the
// adaptive one.
bool Denoise(const QvnOptions& options, Image& image, MemoryGate& gate, PictureReport& report)
{
    const std::int32_t width = image.header->biWidth, height = image.header->biHeight;
    const bool fine = options.method == Method::Fine;
    const std::uint64_t need = static_cast<std::uint64_t>(
        fine ? FineDenoiseMemoryNeed(width, height, engineThreads) : DenoiseMemoryNeed(width, height));
    if (need > gate.budget) {
        report.error = "too large for the memory: processing needs " + MiB(need) + ", there are " + MiB(gate.budget);
        return false;
    }
    ReserveMemory(gate, need);
    bool done = false;
    if (fine) {
        done = RunFine(options, image);
    } else {
        progressEnabled = true;
        done = DenoiseImage(image.header, image.bits, image.rows.get());
        progressEnabled = false;
    }
    ReleaseMemory(gate, need);
    if (!done) {
        report.error = "too large for the memory: processing needs " + MiB(need) + ", which could not be had";
        return false;
    }
    report.denoised = true;
    report.lumaSnr = lumaSnr;
    report.chromaSnr = chromaSnr;
    report.resultText = resultMessage;
    return true;
}

bool Write(const Image& image, const PictureJob& job, PictureReport& report)
{
    if (!BeginWrite()) {
        report.error = "interrupted before writing";
        return false;
    }
    const FileError error = job.png ? SavePngFile(image, job.output) : SaveBmpFile(image, job.output);
    EndWrite();
    if (error != FileError::None) {
        report.error = "cannot write " + job.output + ": " + FileErrorText(error) + " (nothing was left behind)";
        return false;
    }
    report.output = job.output;
    return true;
}

void Run(const PictureJob& job, const QvnOptions& options, MemoryGate& gate, PictureReport& report)
{
    Image image;
    if (const FileError error = LoadImageFile(job.input, image); error != FileError::None) {
        report.error = ReadFailure(error);
        return;
    }
    report.width = image.header->biWidth;
    report.height = image.header->biHeight;
    const bool denoise = options.viewMode < 0 || options.viewMode == kViewDifference;
    if (denoise && !Denoise(options, image, gate, report)) return;
    if (options.viewMode >= 0)
        ApplyViewTransform(static_cast<std::int8_t>(options.viewMode), image.header, image.bits, image.rows.get());
    Write(image, job, report);
}

}  // namespace

PictureReport RunPictureJob(const PictureJob& job, const QvnOptions& options, MemoryGate& gate)
{
    const auto started = std::chrono::steady_clock::now();
    PictureReport report;
    report.input = job.input;
    report.error = job.error;
    if (report.error.empty()) {
        UseWorkerSettings(options);
        Run(job, options, gate, report);
    }
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}
