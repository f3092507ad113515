#include "cli/picture_job.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <system_error>

#include "cli/interruption.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "colour/view_transform.h"
#include "engine/denoise.h"
#include "engine/picture_memory.h"
#include "engine/settings.h"
#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "imagefile/picture_header.h"
#include "support/replace_file.h"
#include "support/result_text.h"

namespace {

ColourSettings ColourSettingsOf(const QvnOptions& options)
{
    ColourSettings colour;
    colour.toneMode = static_cast<std::int8_t>(options.tone);
    colour.rgbCorrection = options.rgbCorrection ? 1 : 0;
    return colour;
}

DenoiseSettings SettingsOf(const QvnOptions& options, int engineThreads)
{
    DenoiseSettings settings;
    settings.method = options.method;
    settings.filterStrength = static_cast<std::int8_t>(options.strength);
    settings.brightnessCorrection = options.brightnessCorrection ? 1 : 0;
    settings.colour = ColourSettingsOf(options);
    settings.threads = engineThreads;
    return settings;
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

// Called when the result's pixels are final and only read afterwards; may be empty.
using ResultReady = std::function<void()>;

// What the job needs at its peak: the picture, and its run's planes when it is denoised.
std::uint64_t JobMemoryNeed(const PictureHeader& header, const QvnOptions& options, int engineThreads, bool denoise)
{
    const std::uint64_t planes =
        denoise ? DenoiseMemoryNeed(SettingsOf(options, engineThreads), header.width, header.height) : 0;
    return JobMemoryNeed(header, planes, engineThreads);
}

// Holds a share of the memory gate for the length of one job.
struct Reservation {
    MemoryGate& gate;
    std::uint64_t bytes = 0;
    ~Reservation()
    {
        if (bytes > 0) ReleaseMemory(gate, bytes);
    }
};

// Reserves what the job needs, waiting while other pictures hold too much; a picture that needs
// more than the whole budget is refused at once, and one that fits alone always runs in the end.
bool Reserve(std::uint64_t need, Reservation& reservation, PictureReport& report)
{
    if (need > reservation.gate.budget) {
        report.error = "too large for the memory: processing needs " + MiB(need) + ", there are " + MiB(reservation.gate.budget);
        return false;
    }
    ReserveMemory(reservation.gate, need);
    reservation.bytes = need;
    return true;
}

// The whole-picture run, as the desktop program's full-processing button starts it, timed from its
// start to its figures.
bool Denoise(const QvnOptions& options, int engineThreads, const ProgressPlace& place, const ResultReady& resultReady,
             Image& image, PictureReport& report)
{
    const auto started = std::chrono::steady_clock::now();
    const DenoiseSettings settings = SettingsOf(options, engineThreads);
    DenoiseHooks hooks;
    hooks.progress = [&place](ProgressPhase phase, int percent) { ShowBatchProgress(place, phase, percent); };
    hooks.resultReady = resultReady;
    const DenoiseOutcome outcome = DenoiseImage(settings, hooks, image.header, image.bits, image.rows.get());
    EndBatchProgress(place);
    if (!outcome.done) {
        const std::uint64_t need = DenoiseMemoryNeed(settings, static_cast<std::uint32_t>(image.header->biWidth),
                                                     static_cast<std::uint32_t>(image.header->biHeight));
        report.error = "too large for the memory: processing needs " + MiB(need) + ", which could not be had";
        return false;
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report.denoised = true;
    report.lumaSnr = outcome.figures.lumaSnr;
    report.chromaSnr = outcome.figures.chromaSnr;
    report.noiseMeasured = outcome.noise != nullptr;
    std::copy(outcome.noiseSigma.begin(), outcome.noiseSigma.end(), report.noise);
    report.noiseBrief = outcome.noiseBrief;
    report.resultText = FormatResultText(outcome.figures.lumaSnr, outcome.figures.chromaSnr, static_cast<int>(seconds));
    return true;
}

std::string WriteFailure(const PictureJob& job, FileError error)
{
    return "cannot write " + job.output + ": " + FileErrorText(error) + " (nothing was left behind)";
}

// Writes the result file; nothing, or why it was not written.
std::string Write(const Image& image, const PictureJob& job, int quality)
{
    if (!BeginWrite()) return "interrupted before writing";
    const FileError error = job.jpeg ? SaveJpegFile(image, job.output, quality)
                            : job.png ? SavePngFile(image, job.output)
                                      : SaveBmpFile(image, job.output);
    EndWrite();
    return error != FileError::None ? WriteFailure(job, error) : std::string();
}

void ReportWrite(const std::string& failure, const PictureJob& job, PictureReport& report)
{
    if (failure.empty())
        report.output = job.output;
    else
        report.error = failure;
}

void Run(const PictureJob& job, const QvnOptions& options, int engineThreads, int progressSlot, MemoryGate& gate,
         PictureReport& report)
{
    const bool denoise = options.viewMode < 0 || options.viewMode == kViewDifference;
    Reservation reservation{gate};
    // Decided from the header, before anything is decoded. A header not made out here is left to
    // the loader, which gives the reason, and the reservation then follows the loading.
    // A JPEG result beyond JPEG's sides cannot be made: the picture is not run for it.
    PictureHeader header;
    const bool headerRead = ReadPictureHeader(job.input, header) == FileError::None;
    if (headerRead && job.jpeg && std::max(header.width, header.height) > largestJpegSide) {
        report.error = WriteFailure(job, FileError::TooLargeForJpeg);
        return;
    }
    if (headerRead && !Reserve(JobMemoryNeed(header, options, engineThreads, denoise), reservation, report)) return;
    // The bar's shares of one picture, as a 12-megapixel photograph's time divides.
    ProgressPlace place{progressSlot, 0, 10};
    ShowBatchProgress(place, ProgressPhase::Starting, 0);
    Image image;
    if (const FileError error = LoadImageFile(job.input, image, LoadChoices{options.keepOrientation}); error != FileError::None) {
        report.error = ReadFailure(error);
        return;
    }
    report.width = image.header->biWidth;
    report.height = image.header->biHeight;
    if (reservation.bytes == 0) {
        header = PictureHeader{PictureKind::Bmp, static_cast<std::uint32_t>(report.width), static_cast<std::uint32_t>(report.height)};
        if (!Reserve(JobMemoryNeed(header, options, engineThreads, denoise), reservation, report)) return;
    }
    if (options.strip) image.metadata.clear();
    // Where no view follows the denoising, the file is written while the engine measures the
    // result (the disk's flush alone takes a tenth of a small picture's run); when no thread can be
    // had for it, once the run is over.
    std::string saveFailure;
    std::jthread saving;
    ResultReady resultReady;
    if (options.viewMode < 0)
        resultReady = [&] {
            try {
                saving = std::jthread([&] { saveFailure = Write(image, job, options.quality); });
            } catch (...) {  // std::system_error, or no memory for the thread's state
            }
        };
    place = {progressSlot, 10, 85};
    if (denoise && !Denoise(options, engineThreads, place, resultReady, image, report)) return;
    if (saving.joinable()) {
        saving.join();
    } else {
        if (options.viewMode >= 0)
            ApplyViewTransform(static_cast<std::int8_t>(options.viewMode), ColourSettingsOf(options), image.header,
                               image.bits, image.rows.get());
        ShowBatchProgress({progressSlot, 85, 100}, ProgressPhase::Starting, 0);
        saveFailure = Write(image, job, options.quality);
    }
    EndBatchProgress({progressSlot, 85, 100});
    ReportWrite(saveFailure, job, report);
}

}  // namespace

PictureReport RunPictureJob(const PictureJob& job, const QvnOptions& options, int engineThreads, int progressSlot,
                            MemoryGate& gate)
{
    const auto started = std::chrono::steady_clock::now();
    PictureReport report;
    report.input = job.input;
    report.error = job.error;
    if (report.error.empty()) Run(job, options, engineThreads, progressSlot, gate, report);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}
