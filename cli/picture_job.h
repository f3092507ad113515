#pragma once
#include <cstdint>

#include "cli/job_plan.h"
#include "cli/json_report.h"
#include "cli/memory_gate.h"
#include "cli/options.h"

// Runs one planned picture on the calling worker thread, as the desktop program would with the
// same settings: read, denoise or view, write. The engine spreads the picture over up to
// engineThreads threads (0: one per processor).
PictureReport RunPictureJob(const PictureJob& job, const QvnOptions& options, int engineThreads, int progressSlot,
                            MemoryGate& gate);
