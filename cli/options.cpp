#include "cli/options.h"

#include <cctype>
#include <cstring>
#include <optional>

#include "cli/json_report.h"
#include "colour/view_keys.h"

const char* const toneNames[4] = {"none", "bright", "natural", "dark"};

namespace {

enum class Id { Method, Strength, Tone, NoBrightness, NoRgb, View, Output, Format, Quality, KeepOrientation, Strip, Jobs, Json, Quiet, Help,
               Version };

struct OptionEntry {
    const char* longName;
    char shortName;  // 0 when there is only the long form
    bool takesValue;
    Id id;
};

constexpr OptionEntry optionEntries[] = {
    {"method", 'm', true, Id::Method},
    {"strength", 's', true, Id::Strength},
    {"tone", 't', true, Id::Tone},
    {"no-brightness-correction", 0, false, Id::NoBrightness},
    {"no-rgb-correction", 0, false, Id::NoRgb},
    {"view", 0, true, Id::View},
    {"output", 'o', true, Id::Output},
    {"format", 0, true, Id::Format},
    {"quality", 0, true, Id::Quality},
    {"keep-orientation", 0, false, Id::KeepOrientation},
    {"strip", 0, false, Id::Strip},
    {"jobs", 'j', true, Id::Jobs},
    {"json", 0, false, Id::Json},
    {"quiet", 'q', false, Id::Quiet},
    {"help", 'h', false, Id::Help},
    {"version", 0, false, Id::Version},
};

constexpr int largestJobs = 1024;

// A whole decimal number in [low, high]; no sign, blanks or trailing characters.
bool ParseWhole(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 9) return false;
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high) return false;
    value = number;
    return true;
}

// The view letters as the desktop program's keys have them, either case accepted.
std::string ViewKeyList()
{
    std::string list;
    for (const ViewKey& view : viewKeys) {
        if (!list.empty()) list += ' ';
        list += view.key;
    }
    return list;
}

std::string Named(const OptionEntry& entry)
{
    std::string name;
    if (entry.shortName) {
        name += '-';
        name += entry.shortName;
        name += ", ";
    }
    name += "--";
    name += entry.longName;
    return name;
}

bool ApplyValue(const OptionEntry& entry, const std::string& value, QvnOptions& options, std::string& error)
{
    const std::string bad = "invalid value '" + ShownText(value) + "' for " + Named(entry) + ": ";
    switch (entry.id) {
    case Id::Method:
        if (const std::optional<Method> method = MethodNamed(value)) {
            options.method = *method;
            return true;
        }
        error = bad + "accepted are classic, fine";
        return false;
    case Id::Strength:
        if (ParseWhole(value, 1, 99, options.strength)) return true;
        error = bad + "accepted is a whole number from 1 to 99";
        return false;
    case Id::Tone:
        for (int i = 0; i < 4; ++i) {
            if (value == toneNames[i]) {
                options.tone = i;
                return true;
            }
        }
        error = bad + "accepted are none, bright, natural, dark";
        return false;
    case Id::View: {
        const int key = value.size() == 1 ? std::toupper(static_cast<unsigned char>(value[0])) : 0;
        if (ViewModeForKey(key) >= 0) {
            options.viewMode = ViewModeForKey(key);
            options.viewKey = static_cast<char>(key);
            return true;
        }
        error = bad + "accepted are " + ViewKeyList();
        return false;
    }
    case Id::Output:
        if (!value.empty()) {
            options.output = value;
            return true;
        }
        error = bad + "accepted is a file name";
        return false;
    case Id::Format:
        if (value == "png" || value == "bmp" || value == "jpg" || value == "jpeg") {
            options.format = value == "png" ? OutputFormat::Png : value == "bmp" ? OutputFormat::Bmp : OutputFormat::Jpeg;
            return true;
        }
        error = bad + "accepted are png, bmp, jpg";
        return false;
    case Id::Quality:
        if (ParseWhole(value, 1, 100, options.quality)) return true;
        error = bad + "accepted is a whole number from 1 to 100";
        return false;
    case Id::Jobs:
        if (ParseWhole(value, 1, largestJobs, options.jobs)) return true;
        error = bad + "accepted is a whole number from 1 to " + std::to_string(largestJobs);
        return false;
    default:
        return false;
    }
}

void ApplyFlag(const OptionEntry& entry, QvnOptions& options)
{
    switch (entry.id) {
    case Id::NoBrightness: options.brightnessCorrection = false; break;
    case Id::NoRgb: options.rgbCorrection = false; break;
    case Id::KeepOrientation: options.keepOrientation = true; break;
    case Id::Strip: options.strip = true; break;
    case Id::Json: options.json = true; break;
    case Id::Quiet: options.quiet = true; break;
    case Id::Help: options.help = true; break;
    case Id::Version: options.version = true; break;
    default: break;
    }
}

std::string AllLongNames()
{
    std::string names;
    for (const OptionEntry& entry : optionEntries)
        names += (names.empty() ? "--" : ", --") + std::string(entry.longName);
    return names;
}

// An exact long name wins; otherwise a prefix must fit exactly one option.
const OptionEntry* FindLong(const std::string& name, std::string& error)
{
    const OptionEntry* found = nullptr;
    int matches = 0;
    for (const OptionEntry& entry : optionEntries) {
        if (name == entry.longName) return &entry;
        if (!name.empty() && std::strncmp(entry.longName, name.c_str(), name.size()) == 0) {
            found = &entry;
            ++matches;
        }
    }
    if (matches == 1) return found;
    error = (matches == 0 ? "unknown option '--" : "ambiguous option '--") + ShownText(name) + "': accepted are " + AllLongNames();
    return nullptr;
}

const OptionEntry* FindShort(char letter)
{
    for (const OptionEntry& entry : optionEntries)
        if (entry.shortName == letter) return &entry;
    return nullptr;
}

bool ParseLong(const std::vector<std::string>& args, std::size_t& i, QvnOptions& options, std::string& error)
{
    const std::string body = args[i].substr(2);
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    const OptionEntry* entry = FindLong(name, error);
    if (!entry) return false;
    if (!entry->takesValue) {
        if (equals != std::string::npos) {
            error = "option --" + std::string(entry->longName) + " takes no value";
            return false;
        }
        ApplyFlag(*entry, options);
        return true;
    }
    if (equals != std::string::npos) return ApplyValue(*entry, body.substr(equals + 1), options, error);
    if (i + 1 >= args.size()) {
        error = "option " + Named(*entry) + " needs a value";
        return false;
    }
    return ApplyValue(*entry, args[++i], options, error);
}

bool ParseShortGroup(const std::vector<std::string>& args, std::size_t& i, QvnOptions& options, std::string& error)
{
    const std::string& group = args[i];
    for (std::size_t k = 1; k < group.size(); ++k) {
        const OptionEntry* entry = FindShort(group[k]);
        if (!entry) {
            error = "unknown option '-" + ShownText(std::string(1, group[k])) + "': accepted are -m, -s, -t, -o, -j, -q, -h";
            return false;
        }
        if (!entry->takesValue) {
            ApplyFlag(*entry, options);
            continue;
        }
        if (k + 1 < group.size()) return ApplyValue(*entry, group.substr(k + 1), options, error);
        if (i + 1 >= args.size()) {
            error = "option " + Named(*entry) + " needs a value";
            return false;
        }
        return ApplyValue(*entry, args[++i], options, error);
    }
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, QvnOptions& options, std::string& error)
{
    options = QvnOptions{};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.pictures.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg[1] == '-') {
            if (!ParseLong(args, i, options, error)) return false;
        } else if (!ParseShortGroup(args, i, options, error)) {
            // "-dash.png" is more likely a picture than a bundle of options.
            if (arg.find('.') != std::string::npos)
                error += " (a picture whose name begins with '-' goes after --: qvn -- " + ShownText(arg) + ")";
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (options.pictures.empty()) {
        error = "no picture given: usage is qvn [options] PICTURE... (qvn --help lists the options)";
        return false;
    }
    if (options.method == Method::Fine && (options.tone != 0 || !options.brightnessCorrection || !options.rgbCorrection)) {
        error = "options --tone, --no-brightness-correction and --no-rgb-correction belong to the classic method, not to -m fine";
        return false;
    }
    if (!options.output.empty() && options.pictures.size() > 1) {
        error = "option -o, --output takes one picture, but " + std::to_string(options.pictures.size()) + " were given";
        return false;
    }
    return true;
}

std::string UsageText()
{
    return "Usage: qvn [options] PICTURE...\n"
           "Removes noise from photographs (24-bit BMP; JPEG and PNG with the converter module).\n"
           "Each result is written beside its picture: the name less its last 4 characters,\n"
           "plus \"'.png\" (or \"'.bmp\" without the converter module or with --format bmp,\n"
           "\"'.jpg\" with --format jpg). Photographs are turned upright by their orientation tag;\n"
           "their colour profile and EXIF data go into PNG and JPEG results.\n"
           "\n"
           "  -m, --method classic|fine   classic (default): the desktop program's denoising;\n"
           "                              fine: measures the noise of each picture and keeps\n"
           "                              more detail (only --strength applies to it)\n"
           "  -s, --strength N            filter strength, 1 ... 99 (default 50)\n"
           "  -t, --tone CURVE            tone curve: none (default), bright, natural, dark\n"
           "      --no-brightness-correction\n"
           "                              leave out the brightness correction\n"
           "      --no-rgb-correction     leave out the RGB correction\n"
           "      --view KEY              write a channel view instead of denoising:\n"
           "                              H hue, S saturation, Y luma, U blue difference,\n"
           "                              V red difference, I in-phase, Q quadrature,\n"
           "                              L lightness, A red-green, B yellow-blue,\n"
           "                              N negative, P the picture as read,\n"
           "                              D difference from the denoised picture\n"
           "  -o, --output FILE           write to FILE (one picture only)\n"
           "      --format png|bmp|jpg    format of the written pictures\n"
           "      --quality N             JPEG quality, 1 ... 100 (default 92)\n"
           "      --keep-orientation      leave photographs as stored, ignoring their orientation tag\n"
           "      --strip                 write results without colour profile and EXIF data\n"
           "  -j, --jobs N                pictures processed at once (default: the number of\n"
           "                              cores, fewer when their planes would not fit in memory)\n"
           "      --json                  one JSON object per picture on standard output\n"
           "  -q, --quiet                 no progress bar and no figures\n"
           "  -h, --help                  show this text\n"
           "      --version               show the version\n"
           "\n"
           "Exit status: 0 when every picture was written, 1 when any failed, 2 for bad usage.\n";
}
