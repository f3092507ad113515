#pragma once
#include <cstdint>

// Memory the process may use for its pictures: the smallest of the physical memory, what the
// process's address-space and data limits leave (RLIMIT_AS, RLIMIT_DATA) and its memory cgroup's
// limit (memory.max, or memory.limit_in_bytes under cgroup v1); on Windows the physical memory and
// the address space left. 0 when unknown.
std::uint64_t UsableMemoryBytes();
