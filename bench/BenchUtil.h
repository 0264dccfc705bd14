// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

// Median wall time of a few runs, in milliseconds, after one warm-up run unless it is too long to
// spend one on.
template <typename F> double medianMs(int runs, F &&work, bool warmUp = true)
{
    if (warmUp)
        work();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline double peakResidentMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

inline void report(const char *what, double ms, double baselineMs)
{
    std::printf("  %-52s %9.2f ms   %5.2fx baseline\n", what, ms, ms / baselineMs);
}
