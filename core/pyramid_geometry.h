// Geometry of an image's level pyramid. Level 0 is the coarsest level; level
// L − 1 holds the full-resolution pixels. Header only, so tools that show
// the pyramid need not link the image core.
#pragma once

#include <algorithm>
#include <cstdint>

namespace korvalith {

struct PyramidGeometry {
    int levels = 0;             // 1 when min(W, H) ≤ 256, else 1 + the smallest k ≥ 1 with min(W, H) / 2^k ≤ 256
    int64_t tileWidth = 0;      // W / 2^(levels−1) + 1
    int64_t tileHeight = 0;     // H / 2^(levels−1) + 1
    double inverseMin = 0;      // 1 / min(W, H)
};

// Sizes up to 2^31 − 1 on each side. The tile size is one more than the
// coarsest level's size, so it needs 64 bits: an image 2147483647 pixels
// wide and at most 256 high is one level of one tile 2^31 pixels wide.
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
    g.tileWidth = int64_t{width >> (levels - 1)} + 1;
    g.tileHeight = int64_t{height >> (levels - 1)} + 1;
    g.inverseMin = 1.0 / static_cast<double>(m);
    return g;
}

}  // namespace korvalith
