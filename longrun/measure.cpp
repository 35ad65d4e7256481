#include "measure.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>

namespace {

PROCESS_MEMORY_COUNTERS_EX memory_counters()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&counters, sizeof counters);
    return counters;
}

} // namespace

long private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = memory_counters();
    return (long)(counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage);
}

long working_set_bytes() { return (long)memory_counters().WorkingSetSize; }

double microseconds_now()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1e6 / (double)frequency.QuadPart;
}

// The median of an even count is the mean of the middle two.
Spread spread_of(std::vector<double> samples)
{
    if (samples.empty()) return {0, 0, 0};
    std::sort(samples.begin(), samples.end());
    size_t middle = samples.size() / 2;
    double median = samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
    return {median, samples.front(), samples.back()};
}
