// Lines and standard designs the design tests share, on electrode indices of a TDesignProblem.
#pragma once

#include <vector>

#include "design/resolution.h"

inline std::vector<double> RegularLine(int electrodes, double a = 1.0) {
    std::vector<double> x;
    for (int i = 0; i < electrodes; ++i) x.push_back(i * a);
    return x;
}

// Dipole-dipole (levels 1-6), dipole-dipole with dipoles 2a (levels 1-6) and Wenner-Schlumberger
// (levels 1-10): a usual standard design of a line.
inline std::vector<TDesignQuad> StandardDesign(int n) {
    std::vector<TDesignQuad> d;
    for (int dipole : {1, 2})
        for (int level = 1; level <= 6; ++level)
            for (int i = 0; i + dipole * (level + 2) < n; ++i)
                d.push_back({i, i + dipole, i + dipole * (level + 1), i + dipole * (level + 2)});
    for (int level = 1; level <= 10; ++level)
        for (int i = 0; i + 2 * level + 1 < n; ++i)
            d.push_back({i, i + 2 * level + 1, i + level, i + level + 1});
    return d;
}
