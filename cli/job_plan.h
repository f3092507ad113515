#pragma once
#include <string>
#include <vector>

#include "cli/options.h"

// One picture of a batch with the file its result goes to. A job whose error is set is not run:
// its output name could not be made, or writing it would destroy an input or another result.
struct PictureJob {
    std::string input;
    std::string output;
    bool png = false;
    bool jpeg = false;
    std::string error;
};

// Whether the results are PNG or JPEG, which the converter module writes.
bool ResultsNeedConverter(const QvnOptions& options);

// Plans every picture's output. PNG and JPEG need the converter module; without it the results
// are BMP, as in the desktop program, except that a name given with -o or a JPEG asked for is
// never filled with another format.
std::vector<PictureJob> PlanJobs(const QvnOptions& options, bool converterPresent);
