#pragma once
#include <cstdint>

#include "cli/job_plan.h"
#include "cli/json_report.h"
#include "cli/memory_gate.h"
#include "cli/options.h"

// Runs one planned picture on the calling worker thread, as the desktop program would with the
// same settings: read, denoise or view, write. The worker's own settings, figures and front end
// are set here, so pictures running at once on other workers never see them.
PictureReport RunPictureJob(const PictureJob& job, const QvnOptions& options, MemoryGate& gate);
