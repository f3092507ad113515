#include "support/usable_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

namespace {

constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

// The address space and the data the process holds now, from /proc/self/statm (in pages).
std::pair<std::uint64_t, std::uint64_t> ProcessBytes(std::uint64_t pageSize)
{
    std::uint64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    std::ifstream("/proc/self/statm") >> size >> resident >> shared >> text >> library >> data;
    return {size * pageSize, data * pageSize};
}

std::uint64_t LimitLeft(int resource, std::uint64_t held)
{
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return unlimited;
    const std::uint64_t allowed = static_cast<std::uint64_t>(limit.rlim_cur);
    return allowed > held ? allowed - held : 0;
}

// A limit file's number; "max" and anything unreadable mean no limit.
std::uint64_t LimitFile(const std::string& path)
{
    std::ifstream file(path);
    std::uint64_t value = 0;
    return file >> value ? value : unlimited;
}

// The smallest limit of the cgroup and of every cgroup above it, under one controller's mount.
std::uint64_t HierarchyLimit(const std::string& mount, std::string group, const char* file)
{
    std::uint64_t smallest = unlimited;
    for (;;) {
        smallest = std::min(smallest, LimitFile(mount + group + "/" + file));
        if (group.empty() || group == "/") return smallest;
        group.erase(group.rfind('/'));
    }
}

// The memory cgroup's limit: memory.max under cgroup v2, memory.limit_in_bytes under v1.
std::uint64_t CgroupLimit()
{
    std::ifstream groups("/proc/self/cgroup");
    std::uint64_t smallest = unlimited;
    for (std::string line; std::getline(groups, line);) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string group = line.substr(second + 1);
        if (controllers.empty()) {
            smallest = std::min({smallest, HierarchyLimit("/sys/fs/cgroup", group, "memory.max"),
                                 HierarchyLimit("/sys/fs/cgroup/unified", group, "memory.max")});
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            smallest = std::min(smallest, HierarchyLimit("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes"));
        }
    }
    return smallest;
}

}  // namespace

std::uint64_t UsableMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    std::uint64_t usable = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    // The address space and data limits count what the process already holds.
    const auto [size, data] = ProcessBytes(static_cast<std::uint64_t>(pageSize));
    usable = std::min(usable, LimitLeft(RLIMIT_AS, size));
    usable = std::min(usable, LimitLeft(RLIMIT_DATA, data));
    return std::min(usable, CgroupLimit());
}
