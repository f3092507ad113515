#include "cli/job_plan.h"

#include <cctype>
#include <cwctype>
#include <filesystem>
#include <map>
#include <system_error>

#include "cli/output_name.h"
#include "support/replace_file.h"

namespace {

bool EndsWithNoCase(const std::string& text, const char* ending)
{
    const std::string tail(ending);
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[text.size() - tail.size() + i]);
        if (std::tolower(c) != tail[i]) return false;
    }
    return true;
}

// The format asked for: --format, else the extension of the -o name, else PNG.
OutputFormat WantedFormat(const QvnOptions& options)
{
    if (options.format != OutputFormat::Automatic) return options.format;
    if (EndsWithNoCase(options.output, ".bmp")) return OutputFormat::Bmp;
    if (EndsWithNoCase(options.output, ".jpg") || EndsWithNoCase(options.output, ".jpeg")) return OutputFormat::Jpeg;
    return OutputFormat::Png;
}

void NameOutput(const QvnOptions& options, bool converterPresent, PictureJob& job)
{
    const OutputFormat wanted = WantedFormat(options);
    // Without the converter module PNG falls back to BMP, as in the desktop program; a name given
    // with -o and a JPEG asked for are never filled with another format.
    const bool fallsBack = wanted == OutputFormat::Png && options.output.empty() && !converterPresent;
    job.png = wanted == OutputFormat::Png && !fallsBack;
    job.jpeg = wanted == OutputFormat::Jpeg;
    if (!options.output.empty()) {
        job.output = options.output;
    } else if (!SaveNameFor(job.input, job.jpeg ? "'.jpg" : job.png ? "'.png" : "'.bmp", job.output)) {
        job.error = "the file name is shorter than 4 characters, so no output name can be made from it (give -o)";
        return;
    }
    if ((job.png || job.jpeg) && !converterPresent)
        job.error = std::string("cannot write ") + (job.jpeg ? "JPEG" : "PNG") + " to " + job.output +
                    ": the converter module is missing (give --format bmp or a .bmp name)";
}

// One spelling per file, so that "a.bmp", "./a.bmp", "/here/a.bmp" and a link to it are seen as
// one, whether the file exists yet or not: an existing file by its resolved path, a new one by
// its resolved folder with its name appended.
std::string FileKey(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolute = fs::absolute(PathFromUtf8(path), error);
    if (error) return path;
    fs::path resolved = fs::canonical(absolute, error);
    if (error) resolved = fs::weakly_canonical(absolute.parent_path(), error) / absolute.filename();
    if (error) resolved = absolute.lexically_normal();
#ifdef _WIN32
    // Windows names ignore case: "A.png" and "a.png" are one file.
    std::wstring wide = resolved.wstring();
    for (wchar_t& c : wide) c = static_cast<wchar_t>(std::towlower(c));
    resolved = wide;
#endif
    const std::u8string key = resolved.u8string();
    return std::string(key.begin(), key.end());
}

// Refuses outputs that would replace an input of the batch or an earlier picture's result.
void RefuseCollisions(std::vector<PictureJob>& jobs)
{
    std::map<std::string, std::size_t> inputs;
    for (std::size_t i = 0; i < jobs.size(); ++i) inputs.emplace(FileKey(jobs[i].input), i);
    std::map<std::string, std::size_t> outputs;
    for (PictureJob& job : jobs) {
        if (!job.error.empty()) continue;
        const std::string key = FileKey(job.output);
        const auto input = inputs.find(key);
        const auto output = outputs.find(key);
        if (SameFile(job.output, job.input))
            job.error = "the output " + job.output + " is the input itself: refused, the picture stays as it is";
        else if (input != inputs.end())
            job.error = "the output " + job.output + " is the picture " + jobs[input->second].input + " of this batch: refused";
        else if (output != outputs.end())
            job.error = "the output " + job.output + " is already the result of " + jobs[output->second].input + ": refused";
        else
            outputs.emplace(key, static_cast<std::size_t>(&job - jobs.data()));
    }
}

}  // namespace

bool ResultsNeedConverter(const QvnOptions& options)
{
    return WantedFormat(options) != OutputFormat::Bmp;
}

std::vector<PictureJob> PlanJobs(const QvnOptions& options, bool converterPresent)
{
    std::vector<PictureJob> jobs;
    for (const std::string& picture : options.pictures) {
        PictureJob job;
        job.input = picture;
        NameOutput(options, converterPresent, job);
        jobs.push_back(job);
    }
    RefuseCollisions(jobs);
    return jobs;
}
