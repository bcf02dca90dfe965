// The figures the system keeps on this process: only what Prometheus' client libraries read on
// Linux, from the same places.
#include <ctime>
#include <fstream>
#include <sstream>

#include "automation/metrics.h"

namespace skarvel {

MonitorHealth processHealth() {
    MonitorHealth health;
#ifdef __linux__
    // glibc's clock() is the process's CPU time, every thread's, user and system.
    if (const std::clock_t cpu = std::clock(); cpu != std::clock_t(-1))
        health.cpuSeconds = double(cpu) / CLOCKS_PER_SEC;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (!line.starts_with("VmRSS:")) continue;
        std::istringstream fields(line.substr(6));
        std::uint64_t kibibytes = 0;
        if (fields >> kibibytes) health.residentBytes = kibibytes * 1024;
        break;
    }
#endif
    return health;
}

}  // namespace skarvel
