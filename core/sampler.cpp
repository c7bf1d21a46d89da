#include "sampler.h"

#include <cmath>

namespace korvalith {

namespace {

const double kInverseLn2 = 1.0 / std::log(2.0);

// Level coordinates beyond this are treated as far outside; keeps the
// conversion from double defined for any uv.
constexpr double kCoordinateLimit = 4.0e18;

// floor for |v| < kCoordinateLimit, without a library call on the hot path.
inline int64_t floorToInt(double v) {
    const int64_t t = static_cast<int64_t>(v);
    return t > v ? t - 1 : t;
}

// Reads one pixel through the store of a known cell type.
template <typename Cell>
inline bool fetchTyped(TileStore<Cell>& store, const Level& level, float* out, int64_t x, int64_t y,
                       const ChannelSpec& channel, int hmode, int vmode) {
    int64_t mx, my;
    if (!mapEdge(x, level.width() - 1, hmode, &mx) || !mapEdge(y, level.height() - 1, vmode, &my)) return false;
    const int ix = static_cast<int>(mx), iy = static_cast<int>(my);
    if (Tile<Cell>* tile = store.tile(ix / store.tileWidth(), iy / store.tileHeight()))
        tile->getPixel(channel, ix, iy, out);
    return true;
}

// Bilinear sample of n channel values at level position (fx, fy); fetch
// reads one level pixel and answers whether it lies inside.
template <typename Fetch>
float bilinear(Fetch&& fetch, double fx, double fy, int n, float* values) {
    if (!(std::fabs(fx) < kCoordinateLimit) || !(std::fabs(fy) < kCoordinateLimit)) return 0.0f;
    const double fx0 = std::floor(fx), fy0 = std::floor(fy);
    const int64_t x0 = static_cast<int64_t>(fx0), x1 = static_cast<int64_t>(std::ceil(fx));
    const int64_t y0 = static_cast<int64_t>(fy0), y1 = static_cast<int64_t>(std::ceil(fy));
    float p00[ChannelSpec::kMaxBands] = {}, p10[ChannelSpec::kMaxBands] = {};
    float p01[ChannelSpec::kMaxBands] = {}, p11[ChannelSpec::kMaxBands] = {};
    const bool ok00 = fetch(p00, x0, y0);
    const bool ok10 = fetch(p10, x1, y0);
    const bool ok01 = fetch(p01, x0, y1);
    const bool ok11 = fetch(p11, x1, y1);
    if (!(ok00 || ok10 || ok01 || ok11)) return 0.0f;
    const float p = static_cast<float>(fx - fx0);
    const float q = static_cast<float>(fy - fy0);
    const float w00 = static_cast<float>(ok00) * (1.0f - q) * (1.0f - p);
    const float w10 = static_cast<float>(ok10) * (1.0f - q) * p;
    const float w01 = static_cast<float>(ok01) * q * (1.0f - p);
    const float w11 = static_cast<float>(ok11) * q * p;
    for (int i = 0; i < n; ++i) values[i] = w00 * p00[i] + w10 * p10[i] + w01 * p01[i] + w11 * p11[i];
    return w00 + w10 + w01 + w11;
}

// Bilinear sample at level position (fx, fy) whose four taps, from
// (ix, iy) = floor(fx, fy), lie in the tile's cells.
template <typename Cell>
inline float tapCells(const Tile<Cell>& tile, int64_t ix, int64_t iy, double fx, double fy, const ChannelSpec& channel,
                      float* values) {
    const int cx = static_cast<int>(ix), cy = static_cast<int>(iy);
    const size_t bands = static_cast<size_t>(tile.bands);
    const Cell* c00 = tile.data.get() + (static_cast<size_t>(cy - tile.ys) * static_cast<size_t>(tile.pw) +
                                         static_cast<size_t>(cx - tile.xs)) * bands;
    const Cell* c01 = c00 + static_cast<size_t>(tile.pw) * bands;
    const float p = static_cast<float>(fx - static_cast<double>(ix));
    const float q = static_cast<float>(fy - static_cast<double>(iy));
    const float w00 = (1.0f - q) * (1.0f - p);
    const float w10 = (1.0f - q) * p;
    const float w01 = q * (1.0f - p);
    const float w11 = q * p;
    constexpr float scale = CellTraits<Cell>::scale;
    for (int i = 0; i < channel.bandCount; ++i) {
        const size_t b = static_cast<size_t>(channel.bands[i]);
        values[i] = w00 * (static_cast<float>(c00[b]) * scale) + w10 * (static_cast<float>(c00[bands + b]) * scale) +
                    w01 * (static_cast<float>(c01[b]) * scale) + w11 * (static_cast<float>(c01[bands + b]) * scale);
    }
    return w00 + w10 + w01 + w11;
}

// Bilinear sample through a tile store. Each axis is edge-mapped once, and
// the tiles of the four taps are found with two divisions: the taps of one
// sample nearly always share a tile.
template <typename Cell>
float bilinearTyped(TileStore<Cell>& store, const Level& level, double fx, double fy, const ChannelSpec& channel,
                    int hmode, int vmode, float* values) {
    if (!(std::fabs(fx) < kCoordinateLimit) || !(std::fabs(fy) < kCoordinateLimit)) return 0.0f;
    const int64_t ix = floorToInt(fx), iy = floorToInt(fy);
    const double fx0 = static_cast<double>(ix), fy0 = static_cast<double>(iy);
    if (ix >= 0 && iy >= 0 && ix + 1 <= level.width() - 2 && iy + 1 <= level.height() - 2) {
        // All four taps lie inside the level, where no edge mode applies;
        // when they also share a tile, read them straight from its cells.
        const int cx = static_cast<int>(ix), cy = static_cast<int>(iy);
        const int tx = cx / store.tileWidth(), ty = cy / store.tileHeight();
        Tile<Cell>* tile = store.tile(tx, ty);
        if (tile && tile->data.get() && cx + 1 - tile->xs < tile->pw && cy + 1 - tile->ys < tile->ph) {
            tile->setUsed(true);
            return tapCells(*tile, ix, iy, fx, fy, channel, values);
        }
    }
    const int64_t x[2] = {ix, ix + (fx != fx0)};  // the ceiling
    const int64_t y[2] = {iy, iy + (fy != fy0)};
    int64_t mx[2], my[2];
    bool okx[2], oky[2];
    okx[0] = mapEdge(x[0], level.width() - 1, hmode, &mx[0]);
    okx[1] = x[1] == x[0] ? (mx[1] = mx[0], okx[0]) : mapEdge(x[1], level.width() - 1, hmode, &mx[1]);
    oky[0] = mapEdge(y[0], level.height() - 1, vmode, &my[0]);
    oky[1] = y[1] == y[0] ? (my[1] = my[0], oky[0]) : mapEdge(y[1], level.height() - 1, vmode, &my[1]);
    if (!(okx[0] || okx[1]) || !(oky[0] || oky[1])) return 0.0f;

    // Tile column and row of each mapped coordinate. Mapped coordinates lie
    // inside the level, so 32-bit division (much cheaper than 64-bit) holds.
    auto tilesOf = [](const int64_t* m, const bool* ok, int size, int* t) {
        const int first = ok[0] ? 0 : 1;
        t[first] = static_cast<int>(m[first]) / size;
        const int other = 1 - first;
        if (ok[other]) {
            const int64_t start = static_cast<int64_t>(t[first]) * size;
            t[other] = m[other] >= start && m[other] < start + size ? t[first] : static_cast<int>(m[other]) / size;
        }
    };
    int tx[2] = {0, 0}, ty[2] = {0, 0};
    tilesOf(mx, okx, store.tileWidth(), tx);
    tilesOf(my, oky, store.tileHeight(), ty);

    float p[4][ChannelSpec::kMaxBands] = {};
    bool ok[4];
    Tile<Cell>* tile = nullptr;
    int lastTx = -1, lastTy = -1;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            ok[j * 2 + i] = okx[i] && oky[j];
            if (!ok[j * 2 + i]) continue;
            if (tx[i] != lastTx || ty[j] != lastTy) {
                lastTx = tx[i];
                lastTy = ty[j];
                tile = store.tile(lastTx, lastTy);
            }
            if (tile) tile->getPixel(channel, static_cast<int>(mx[i]), static_cast<int>(my[j]), p[j * 2 + i]);
        }
    const float pf = static_cast<float>(fx - fx0);
    const float qf = static_cast<float>(fy - fy0);
    const float w00 = static_cast<float>(ok[0]) * (1.0f - qf) * (1.0f - pf);
    const float w10 = static_cast<float>(ok[1]) * (1.0f - qf) * pf;
    const float w01 = static_cast<float>(ok[2]) * qf * (1.0f - pf);
    const float w11 = static_cast<float>(ok[3]) * qf * pf;
    for (int i = 0; i < channel.bandCount; ++i)
        values[i] = w00 * p[0][i] + w10 * p[1][i] + w01 * p[2][i] + w11 * p[3][i];
    return w00 + w10 + w01 + w11;
}

// Bilinear sample of one level at level position (fx, fy), dispatched on
// the cell type. A level without a store has pixels inside the edges that
// hold no values.
float bilinearLevel(Level& level, double fx, double fy, const ChannelSpec& channel, int hmode, int vmode,
                    float* values) {
    TileStoreBase* store = level.store();
    if (!store) {
        return bilinear(
            [&](float*, int64_t x, int64_t y) {
                int64_t mx, my;
                return mapEdge(x, level.width() - 1, hmode, &mx) && mapEdge(y, level.height() - 1, vmode, &my);
            },
            fx, fy, channel.bandCount, values);
    }
    switch (store->cellType()) {
        case kCell8:
            return bilinearTyped(static_cast<TileStore<uint8_t>&>(*store), level, fx, fy, channel, hmode, vmode, values);
        case kCell16:
            return bilinearTyped(static_cast<TileStore<int16_t>&>(*store), level, fx, fy, channel, hmode, vmode, values);
        default:
            return bilinearTyped(static_cast<TileStore<int32_t>&>(*store), level, fx, fy, channel, hmode, vmode, values);
    }
}

// Bilinear sample of one level, with the used flag set.
float levelSample(Level& level, const double uv[2], const ChannelSpec& channel, int hmode, int vmode, float* values) {
    level.setUsed(true);
    const double fx = level.width() * uv[0] - 0.5;
    const double fy = level.height() * uv[1] - 0.5;
    return bilinearLevel(level, fx, fy, channel, hmode, vmode, values);
}

inline float reduceToScalar(const ChannelSpec& channel, const float* e) {
    if (channel.bandCount < 3) return e[0];
    if (channel.kind == kChannelLuminance) return 0.299f * e[0] + 0.587f * e[1] + 0.114f * e[2];
    return (e[0] + e[1] + e[2]) * 0.33333334f;
}

struct Gradient {
    float coverage = 0, dx = 0, dy = 0;
};

// The scalar's differences across the level position (fx, fy): four taps
// three quarters of a pixel either side, read through one fetch.
template <typename Sample>
Gradient fourTaps(Sample&& sample, double fx, double fy, const ChannelSpec& channel) {
    Gradient g;
    float e[4][ChannelSpec::kMaxBands] = {};
    const double at[4][2] = {{fx - 0.75, fy}, {fx + 0.75, fy}, {fx, fy - 0.75}, {fx, fy + 0.75}};
    float c[4];
    float s[4];
    for (int k = 0; k < 4; ++k) {
        c[k] = sample(at[k][0], at[k][1], e[k]);
        s[k] = reduceToScalar(channel, e[k]);
    }
    g.dx = s[1] - s[0];
    g.dy = s[3] - s[2];
    g.coverage = ((c[0] + c[1]) * 0.5f + (c[2] + c[3]) * 0.5f) * 0.5f;
    return g;
}

// The four taps through a tile store. When every pixel they read lies
// inside the level and in one tile, that tile is found once and each tap
// reads its cells as a lone sample would; otherwise each tap on its own.
template <typename Cell>
Gradient typedGradient(TileStore<Cell>& store, const Level& level, double fx, double fy, const ChannelSpec& channel,
                       int hmode, int vmode) {
    // Far from the limit the taps' coordinates convert like the centre's.
    if (std::fabs(fx) < kCoordinateLimit * 0.5 && std::fabs(fy) < kCoordinateLimit * 0.5) {
        const int64_t x0 = floorToInt(fx - 0.75), x1 = floorToInt(fx + 0.75) + 1;
        const int64_t y0 = floorToInt(fy - 0.75), y1 = floorToInt(fy + 0.75) + 1;
        if (x0 >= 0 && y0 >= 0 && x1 <= level.width() - 2 && y1 <= level.height() - 2) {
            const int cx = static_cast<int>(x0), cy = static_cast<int>(y0);
            Tile<Cell>* tile = store.tile(cx / store.tileWidth(), cy / store.tileHeight());
            if (tile && tile->data.get() && static_cast<int>(x1) - tile->xs < tile->pw &&
                static_cast<int>(y1) - tile->ys < tile->ph) {
                tile->setUsed(true);
                return fourTaps(
                    [&](double x, double y, float* e) {
                        return tapCells(*tile, floorToInt(x), floorToInt(y), x, y, channel, e);
                    },
                    fx, fy, channel);
            }
        }
    }
    return fourTaps([&](double x, double y, float* e) { return bilinearTyped(store, level, x, y, channel, hmode, vmode, e); },
                    fx, fy, channel);
}

// The gradient on one level, with the used flag set; the cell type is
// dispatched once for all four taps.
Gradient levelGradient(Level& level, const double uv[2], const ChannelSpec& channel, int hmode, int vmode) {
    level.setUsed(true);
    const double fx = level.width() * uv[0] - 0.5;
    const double fy = level.height() * uv[1] - 0.5;
    TileStoreBase* store = level.store();
    if (!store) {
        return fourTaps([&](double x, double y, float* e) { return bilinearLevel(level, x, y, channel, hmode, vmode, e); },
                        fx, fy, channel);
    }
    switch (store->cellType()) {
        case kCell8: return typedGradient(static_cast<TileStore<uint8_t>&>(*store), level, fx, fy, channel, hmode, vmode);
        case kCell16: return typedGradient(static_cast<TileStore<int16_t>&>(*store), level, fx, fy, channel, hmode, vmode);
        default: return typedGradient(static_cast<TileStore<int32_t>&>(*store), level, fx, fy, channel, hmode, vmode);
    }
}

// The channel and the level or two levels a sample reads, created on first
// use; no channel when the image cannot be sampled.
struct Levels {
    const ChannelSpec* channel = nullptr;
    Level* lo = nullptr;
    Level* hi = nullptr;  // only when the finer level takes part
    double weight = 0;
};

Levels levelsFor(CoreImage* image, int channelIndex, double footprint, double blendWidth) {
    Levels levels;
    if (!image || !image->source() || image->levelCount() <= 0) return levels;
    levels.channel = image->source()->channel(channelIndex);
    if (!levels.channel) return levels;
    const double finestT = image->finestLevelT();
    const LevelChoice choice = chooseLevels(image->levelCount(), image->tileWidth(), image->tileHeight(),
                                            image->inverseMin(), footprint, blendWidth, &finestT);
    levels.lo = image->levelFor(choice.lo);
    if (choice.hi != choice.lo && choice.weight != 0) levels.hi = image->levelFor(choice.hi);
    // A level that cannot be created (no memory) gives no sample at all.
    if (!levels.lo || (choice.hi != choice.lo && choice.weight != 0 && !levels.hi)) levels.channel = nullptr;
    levels.weight = choice.weight;
    return levels;
}

}  // namespace

double levelOf(double g) { return std::log(1.0 / g) * kInverseLn2; }

LevelChoice chooseLevels(int levelCount, int tileWidth, int tileHeight, double inverseMin, double footprint,
                         double blendWidth, const double* finestT) {
    LevelChoice choice;
    const double a = std::fabs(footprint) * static_cast<double>(tileWidth < tileHeight ? tileWidth : tileHeight);
    double t;
    if (a < inverseMin) t = finestT ? *finestT : levelOf(inverseMin);
    else t = a < 1.0 ? levelOf(a) : 0.0;  // log(1) is 0
    const double top = levelCount - 1;
    if (!(t >= 0)) t = 0;
    if (t > top) t = top;
    choice.t = t;
    // t lies in 0 … L − 1 here, so conversion is the floor.
    choice.lo = static_cast<int>(t);
    choice.hi = choice.lo + (t != choice.lo);
    if (choice.hi > levelCount - 1) choice.hi = levelCount - 1;
    if (choice.lo < 0) choice.lo = 0;
    if (blendWidth != 0) {
        double w = ((t - choice.lo) - 1 + blendWidth) / blendWidth;
        if (!(w >= 0)) w = 0;  // also not a number
        if (w > 1) w = 1;
        choice.weight = w;
    }
    return choice;
}

bool mapEdge(int64_t v, int64_t c, int mode, int64_t* out) {
    // A level one pixel wide holds no pixels in its tiles.
    if (c <= 0) return false;
    if (v < 0 || v >= c) {
        switch (mode) {
            case kEdgeReset: return false;
            case kEdgeRepeat:
                if (v < 0) v += 1;
                v %= c;
                if (v < 0) v += c;
                break;
            case kEdgeMirror: {
                const float q = std::floor(static_cast<float>(v) / static_cast<float>(c));
                int64_t r = v % c;
                if (r < 0) r += c;
                v = std::fmod(q, 2.0f) != 0.0f ? c - r : r;
                break;
            }
            case kEdgeClamp:
                if (v < 0) v = 0;
                else if (v > c) v = c;
                break;
            default: break;
        }
    }
    if (v < 0) v = 0;
    if (v > c - 1) v = c - 1;
    *out = v;
    return true;
}

bool fetchPixel(Level& level, float* out, int64_t x, int64_t y, const ChannelSpec& channel, int hmode, int vmode) {
    TileStoreBase* store = level.store();
    if (!store) {
        int64_t mx, my;
        return mapEdge(x, level.width() - 1, hmode, &mx) && mapEdge(y, level.height() - 1, vmode, &my);
    }
    switch (store->cellType()) {
        case kCell8: return fetchTyped(static_cast<TileStore<uint8_t>&>(*store), level, out, x, y, channel, hmode, vmode);
        case kCell16: return fetchTyped(static_cast<TileStore<int16_t>&>(*store), level, out, x, y, channel, hmode, vmode);
        default: return fetchTyped(static_cast<TileStore<int32_t>&>(*store), level, out, x, y, channel, hmode, vmode);
    }
}

float sampleImage(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channelIndex,
                  float rgba[4], float* scalar, int hmode, int vmode) {
    const Levels levels = levelsFor(image, channelIndex, footprint, blendWidth);
    if (!levels.channel) return 0.0f;
    const ChannelSpec* channel = levels.channel;
    const double w = levels.weight;

    const int n = channel->bandCount;
    float e[ChannelSpec::kMaxBands] = {};
    float coverage = levelSample(*levels.lo, uv, *channel, hmode, vmode, e);
    if (levels.hi) {
        float e2[ChannelSpec::kMaxBands] = {};
        const float c2 = levelSample(*levels.hi, uv, *channel, hmode, vmode, e2);
        for (int i = 0; i < n; ++i) e[i] = static_cast<float>(e2[i] * w + e[i] * (1 - w));
        coverage = static_cast<float>((1 - w) * coverage + w * c2);
    }

    if (n == 4) {
        rgba[0] = e[0], rgba[1] = e[1], rgba[2] = e[2], rgba[3] = e[3];
        *scalar = e[3];
    } else if (n == 3 && channel->kind == kChannelBands) {
        rgba[0] = e[0], rgba[1] = e[1], rgba[2] = e[2], rgba[3] = 1.0f;
    } else if (n == 3) {
        const float s = channel->kind == kChannelAverage ? (e[0] + e[1] + e[2]) * 0.33333334f
                                                         : 0.299f * e[0] + 0.587f * e[1] + 0.114f * e[2];
        rgba[0] = rgba[1] = rgba[2] = s;
        rgba[3] = 1.0f;
        *scalar = s;
    } else {
        rgba[0] = rgba[1] = rgba[2] = e[0];
        rgba[3] = 1.0f;
        *scalar = e[0];
    }
    return coverage;
}

float sampleGradient(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channelIndex,
                     float* dx, float* dy, int hmode, int vmode) {
    const Levels levels = levelsFor(image, channelIndex, footprint, blendWidth);
    if (!levels.channel) return 0.0f;
    const ChannelSpec* channel = levels.channel;
    const double w = levels.weight;

    Gradient g = levelGradient(*levels.lo, uv, *channel, hmode, vmode);
    if (levels.hi) {
        const Gradient g2 = levelGradient(*levels.hi, uv, *channel, hmode, vmode);
        g.coverage = static_cast<float>((1 - w) * g.coverage + w * g2.coverage);
        g.dx = static_cast<float>((1 - w) * g.dx + w * g2.dx);
        g.dy = static_cast<float>((1 - w) * g.dy + w * g2.dy);
    }
    *dx = g.dx;
    *dy = g.dy;
    return g.coverage;
}

}  // namespace korvalith
