#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace kelvane::bench {

using Clock = std::chrono::steady_clock;

template <typename Work>
double secondsFor(Work&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace kelvane::bench
