// Median, 90th percentile and maximum of a benchmark's samples, the figures every bench prints.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    double median = 0, p90 = 0, max = 0;
    std::size_t n = 0;
};

inline Summary summarise(std::vector<double> v) {
    Summary s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.n = v.size();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.p90 = v[std::min(v.size() - 1, (v.size() * 9 + 9) / 10 - 1)];
    s.max = v.back();
    return s;
}

}  // namespace bench
