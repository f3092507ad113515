#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/job_plan.h"
#include "cli/json_report.h"
#include "cli/memory_gate.h"
#include "cli/options.h"
#include "cli/picture_job.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "imagefile/converter_library.h"

namespace {

// The engine's figures come as lines separated by blank lines, as in the desktop program's
// result box; printed, the blank lines go.
std::string FigureLines(const std::string& resultText)
{
    std::string lines;
    std::size_t start = 0;
    while (start < resultText.size()) {
        std::size_t end = resultText.find('\n', start);
        if (end == std::string::npos) end = resultText.size();
        if (end > start) lines += resultText.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return lines;
}

// Prints the reports in the order the pictures were given, each as soon as it and every one
// before it are done, whichever worker finished first.
struct ReportPrinter {
    std::mutex lock;
    const QvnOptions* options = nullptr;
    const QvnConsole* console = nullptr;
    std::vector<std::optional<PictureReport>> reports;
    std::size_t nextToPrint = 0;
    bool anyFailed = false;
};

void PrintReport(const ReportPrinter& printer, const PictureReport& report)
{
    const QvnOptions& options = *printer.options;
    if (!report.error.empty())
        PrintAboveBar(printer.console->err, "qvn: " + ShownText(report.input) + ": " + ShownText(report.error) + "\n");
    if (options.json) {
        PrintAboveBar(printer.console->out, JsonLine(report, options) + "\n");
    } else if (!options.quiet && report.error.empty()) {
        PrintAboveBar(printer.console->out,
                      ShownText(report.input) + " -> " + ShownText(report.output) + "\n" + FigureLines(report.resultText));
    }
}

void Deliver(ReportPrinter& printer, std::size_t index, PictureReport report)
{
    std::lock_guard<std::mutex> hold(printer.lock);
    if (!report.error.empty()) printer.anyFailed = true;
    printer.reports[index] = std::move(report);
    while (printer.nextToPrint < printer.reports.size() && printer.reports[printer.nextToPrint]) {
        PrintReport(printer, *printer.reports[printer.nextToPrint]);
        printer.reports[printer.nextToPrint].reset();
        ++printer.nextToPrint;
    }
}

// Asked for PNG without the means to write it: the results still come, as BMP, like the
// desktop program's, and the user learns why.
void NoteMissingConverter(const QvnOptions& options, const QvnConsole& console)
{
    if (options.format != OutputFormat::Png || !options.output.empty()) return;
    std::fprintf(console.err, "qvn: the converter module %s is not beside qvn: results are written as BMP\n",
                 ConverterModuleName());
}

void RunWorkers(const std::vector<PictureJob>& jobs, const QvnOptions& options, int workers, int cores,
                MemoryGate& gate, ReportPrinter& printer)
{
    // The pictures at once share the cores: each run spreads over its share only, so a batch
    // never starts more engine threads than there are cores (the bits do not depend on it).
    const int threadsPerPicture = std::max(1, cores / std::max(1, workers));
    std::atomic<std::size_t> next{0};
    const auto work = [&](int slot) {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            PictureReport report = RunPictureJob(jobs[i], options, threadsPerPicture, slot, gate);
            CountFinishedPicture(slot);
            Deliver(printer, i, std::move(report));
        }
    };
    // Pictures run on threads of their own, each with its progress slot; only when no thread can
    // be had does the caller do the work itself.
    std::vector<std::thread> threads;
    for (int slot = 0; slot < workers; ++slot) {
        try {
            threads.emplace_back(work, slot);
        } catch (...) {  // std::system_error, or no memory for the thread's state
            break;       // fewer threads than asked still finish the batch
        }
    }
    if (threads.empty()) work(0);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

int RunQvn(const std::vector<std::string>& args, const QvnConsole& console)
{
    QvnOptions options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(console.err, "qvn: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), console.out);
        return 0;
    }
    if (options.version) {
        std::fprintf(console.out, "qvn %s\n", QV_VERSION);
        return 0;
    }

    // Only PNG and JPEG results need the module before a picture is read (which loads it for a
    // picture that is not BMP), so BMP results never ask for it.
    const bool converterPresent = !ResultsNeedConverter(options) || ConverterLibraryLoaded();
    if (!converterPresent) NoteMissingConverter(options, console);
    const std::vector<PictureJob> jobs = PlanJobs(options, converterPresent);
    const int workers = WorkerCount(options.jobs, console.cores, static_cast<int>(jobs.size()));

    MemoryGate gate;
    gate.budget = console.memoryBytes > 0 ? console.memoryBytes : std::numeric_limits<std::uint64_t>::max();
    ReportPrinter printer;
    printer.options = &options;
    printer.console = &console;
    printer.reports.resize(jobs.size());

    StartProgressBoard(console.err, ShouldShowProgress(options.quiet, console.errorIsTerminal),
                       static_cast<int>(jobs.size()), workers);
    RunWorkers(jobs, options, workers, console.cores, gate, printer);
    EndProgressBoard();
    // A report lost to a full disk or a closed pipe is a failure too, not a silent success.
    if (std::fflush(console.out) != 0 || std::ferror(console.out)) {
        std::fprintf(console.err, "qvn: the report could not be written to standard output\n");
        return 1;
    }
    return printer.anyFailed ? 1 : 0;
}
