// Level-of-detail sampling: a texture coordinate and a footprint become
// image values, filtered bilinearly on the level that matches the footprint
// and faded into the next finer one. Called from many render threads at
// once; takes locks only where a level or a tile is created.
#pragma once

#include <cstdint>

#include "channel.h"
#include "core_image.h"

namespace korvalith {

// Edge modes per axis.
enum EdgeMode : int { kEdgeReset = 0, kEdgeRepeat = 1, kEdgeMirror = 2, kEdgeClamp = 3 };

struct LevelChoice {
    int lo = 0;       // coarser level
    int hi = 0;       // finer level
    double t = 0;     // continuous level
    double weight = 0;  // weight of the finer level
};
// finestT, when given, is log2(1 / inverseMin) as chooseLevels computes it;
// images keep it, so footprints below one finest pixel need no logarithm.
LevelChoice chooseLevels(int levelCount, int tileWidth, int tileHeight, double inverseMin, double footprint,
                         double blendWidth, const double* finestT = nullptr);
// log2(1 / g) the way the level choice computes it.
double levelOf(double g);

// Maps a level coordinate by the edge mode, with c = level size − 1, into
// 0 … c − 1. False when the mode leaves nothing to read.
bool mapEdge(int64_t v, int64_t c, int mode, int64_t* out);

// The values of one level pixel for the channel; false when the edge mode
// puts it outside. Writes nothing for a tile without pixels.
bool fetchPixel(Level& level, float* out, int64_t x, int64_t y, const ChannelSpec& channel, int hmode, int vmode);

// Colour, scalar and coverage at uv with the footprint. Returns the coverage.
float sampleImage(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channel,
                  float rgba[4], float* scalar, int hmode, int vmode);
// Coverage and the scalar's differences across uv.
float sampleGradient(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channel,
                     float* dx, float* dy, int hmode, int vmode);

}  // namespace korvalith
