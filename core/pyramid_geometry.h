// Geometry of an image's level pyramid. Header only, so tools that show the
// pyramid need not link the image core.
#pragma once

#include <algorithm>

namespace korvalith {

struct PyramidGeometry {
    int levels = 0;         // 1 when min(W, H) ≤ 256, else 1 + the smallest k ≥ 1 with min(W, H) / 2^k ≤ 256
    int tileWidth = 0;      // W / 2^(levels−1) + 1
    int tileHeight = 0;     // H / 2^(levels−1) + 1
    double inverseMin = 0;  // 1 / min(W, H)
};

inline PyramidGeometry pyramidGeometry(int width, int height) {
    PyramidGeometry g;
    if (width <= 0 || height <= 0) return g;
    const int m = std::min(width, height);
    int levels = 1;
    if (m > 256) {
        int k = 1;
        while ((m >> k) > 256) ++k;
        levels = 1 + k;
    }
    g.levels = levels;
    g.tileWidth = (width >> (levels - 1)) + 1;
    g.tileHeight = (height >> (levels - 1)) + 1;
    g.inverseMin = 1.0 / static_cast<double>(m);
    return g;
}

}  // namespace korvalith
