#pragma once
#include <cstddef>

// Asks the system to back a large block that nothing has touched yet with huge pages where it can.
// A run's planes are hundreds of megabytes: faulting them in 4 KiB at a time, and walking them
// with the transposition through that many page-table entries, costs more than a whole pass of
// arithmetic; a photograph's pixels are tens of megabytes, which the loader faults in page by page
// inside the read. A hint only: the block's content and every result stay the same.
void AdviseHugePages(void* block, std::size_t bytes);
