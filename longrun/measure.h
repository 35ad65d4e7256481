// What the benchmarks measure of their own process, and how they sum up
// repeated rounds.
#ifndef TOBRISK_BENCH_MEASURE_H
#define TOBRISK_BENCH_MEASURE_H

#include <vector>

// Committed private memory. PagefileUsage is that figure on Windows and,
// unlike PrivateUsage, is filled in by Wine.
long private_bytes();
long working_set_bytes();

// A steady clock in microseconds.
double microseconds_now();

struct Spread {
    double median;
    double min;
    double max;
};
Spread spread_of(std::vector<double> samples);

#endif
