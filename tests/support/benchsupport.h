#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

// The q-quantile (0..1) of timing samples, by the nearest rank below; sorts the samples. 0 for none.
inline double Percentile(std::vector<double>& samples, double q)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<size_t>(q * static_cast<double>(samples.size()));
    return samples[std::min(samples.size() - 1, rank)];
}

// Runs the benchmarks the command line selects (Google Benchmark's own options).
inline void RunBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
