#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "sampler.h"
#include "test_support.h"

namespace {

using namespace korvalith;

TEST(LevelChoice, FootprintPicksLevelsAndBlendWeights) {
    // An image with 6 levels and tiles of 313 × 157: min(tw, th) = 157.
    const int L = 6, tw = 313, th = 157;
    const double r = 1.0 / 5000;
    const double t19 = std::pow(2.0, -1.9) / th;  // footprint giving t = 1.9
    const struct {
        double footprint, blend;
        int lo, hi;
        double weight;
    } cases[] = {
        {0, 0, 5, 5, 0},                // finest level
        {1e-9, 0.25, 5, 5, 0},          // below 1/min(W, H): still the finest
        {1.0 / th, 0.25, 0, 0, 0},      // one tile: the coarsest
        {-1.0 / th, 0.25, 0, 0, 0},     // the sign is ignored
        {10, 1, 0, 0, 0},               // larger than the image
        {t19, 0.25, 1, 2, 0.6},         // finer level fades in over the last quarter
        {t19, 0, 1, 2, 0},              // no blending
        {t19, 1, 1, 2, 0.9},            // over the whole step
        {t19, 0.05, 1, 2, 0},           // not yet in the last twentieth
        {std::nan(""), 0.25, 0, 0, 0},  // not a number: the coarsest
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.footprint) + " blend " + std::to_string(c.blend));
        const LevelChoice choice = chooseLevels(L, tw, th, r, c.footprint, c.blend);
        EXPECT_EQ(choice.lo, c.lo);
        EXPECT_EQ(choice.hi, c.hi);
        EXPECT_NEAR(choice.weight, c.weight, 1e-9);
    }
}

double centre(int pixel, int size) { return (pixel + 0.5) / size; }

TEST(Sampler, ChannelsMapBandsToColourAndScalar) {
    auto rgba = coretest::patternImage(300, 200, 4);  // one level at 300 × 200
    ASSERT_EQ(rgba->levelCount(), 1);
    const int x = 17, y = 9;
    const double uv[2] = {centre(x, 300), centre(y, 200)};
    float e[4];
    for (int b = 0; b < 4; ++b) e[b] = coretest::defaultPattern(x, y, b) * kScale8;
    const float avg = (e[0] + e[1] + e[2]) * 0.33333334f;
    const float lum = 0.299f * e[0] + 0.587f * e[1] + 0.114f * e[2];
    const struct {
        int channel;
        float r, g, b, a;
        bool scalarWritten;
        float scalar;
    } cases[] = {
        {0, e[0], e[1], e[2], e[3], true, e[3]},  // RGBA
        {1, e[0], e[1], e[2], 1, false, 0},        // RGB
        {2, e[0], e[0], e[0], 1, true, e[0]},      // Red
        {5, e[3], e[3], e[3], 1, true, e[3]},      // Alpha
        {6, avg, avg, avg, 1, true, avg},          // Average
        {7, lum, lum, lum, 1, true, lum},          // Luminance
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        float out[4] = {-1, -1, -1, -1};
        float scalar = -7;
        EXPECT_FLOAT_EQ(sampleImage(rgba.get(), uv, 0, 0, c.channel, out, &scalar, 0, 0), 1.0f);
        EXPECT_FLOAT_EQ(out[0], c.r);
        EXPECT_FLOAT_EQ(out[1], c.g);
        EXPECT_FLOAT_EQ(out[2], c.b);
        EXPECT_FLOAT_EQ(out[3], c.a);
        EXPECT_FLOAT_EQ(scalar, c.scalarWritten ? c.scalar : -7);
    }
}

TEST(Sampler, WhiteLuminanceIsOne) {
    auto white = coretest::patternImage(64, 64, 1, [](int, int, int) { return 255; });
    const double uv[2] = {0.4, 0.6};
    float out[4];
    float scalar = 0;
    EXPECT_FLOAT_EQ(sampleImage(white.get(), uv, 0, 0, 0, out, &scalar, 0, 0), 1.0f);
    for (float v : out) EXPECT_NEAR(v, 1.0f, 1e-6f);
    EXPECT_NEAR(scalar, 1.0f, 1e-6f);
}

TEST(Sampler, CornerInResetModeFadesWithCoverage) {
    auto image = coretest::patternImage(200, 100, 1);
    const double uv[2] = {0, 0};
    float out[4];
    float scalar = 0;
    EXPECT_FLOAT_EQ(sampleImage(image.get(), uv, 0, 0, 0, out, &scalar, kEdgeReset, kEdgeReset), 0.25f);
    EXPECT_FLOAT_EQ(out[0], 0.25f * coretest::defaultPattern(0, 0, 0) * kScale8);
    // Repeat wraps to the far side, so the whole footprint is covered.
    EXPECT_FLOAT_EQ(sampleImage(image.get(), uv, 0, 0, 0, out, &scalar, kEdgeRepeat, kEdgeRepeat), 1.0f);
    // Far outside in Reset mode nothing is covered and nothing read.
    const double outside[2] = {3, 3};
    EXPECT_FLOAT_EQ(sampleImage(image.get(), outside, 0, 0, 0, out, &scalar, kEdgeReset, kEdgeReset), 0.0f);
}

TEST(Sampler, BilinearBetweenPixels) {
    auto image = coretest::patternImage(300, 200, 1, [](int x, int y, int) { return x + 2 * y; });
    // A quarter of the way from pixel (10, 20) to (11, 21).
    const double uv[2] = {(10.75) / 300, (20.75) / 200};
    float out[4];
    float scalar;
    EXPECT_FLOAT_EQ(sampleImage(image.get(), uv, 0, 0, 0, out, &scalar, 0, 0), 1.0f);
    EXPECT_NEAR(scalar, (10.25 + 2 * 20.25) / 255.0, 1e-5);
}

// The sampler reads taps that share a tile straight from its cells; every
// result must stay bit for bit the bilinear mix of four fetched pixels, on
// tile seams, at the level's edges and beyond them in every edge mode.
TEST(Sampler, EqualsBilinearOfFetchedPixelsBitForBit) {
    const int cellTypes[] = {kCell8, kCell16, kCell32};
    for (int cellType : cellTypes) {
        auto image = coretest::patternImage(1500, 700, 3, coretest::defaultPattern, cellType);
        const int top = image->levelCount() - 1;
        Level& level = image->level(top);
        const ChannelSpec& channel = *image->source()->channel(0);
        std::vector<double> xs, ys;
        // Around every tile seam and both edges, plus a spread of points.
        for (int t = 0; t * image->tileWidth() <= level.width() + 1; ++t)
            for (double d : {-1.5, -1.0, -0.5, -0.25, 0.0, 0.3, 1.0})
                xs.push_back(t * image->tileWidth() + d);
        for (int t = 0; t * image->tileHeight() <= level.height() + 1; ++t)
            for (double d : {-1.5, -1.0, -0.5, 0.0, 0.7})
                ys.push_back(t * image->tileHeight() + d);
        for (double x : {double(level.width()) - 2.5, double(level.width()) - 1.5, double(level.width()) + 3.2})
            xs.push_back(x);
        for (double y : {double(level.height()) - 2.5, double(level.height()) - 1.5, -7.1}) ys.push_back(y);
        for (int mode : {kEdgeReset, kEdgeRepeat, kEdgeMirror, kEdgeClamp}) {
            size_t mismatches = 0;
            for (double fx : xs)
                for (double fy : ys) {
                    const double x0 = std::floor(fx), y0 = std::floor(fy);
                    const int64_t tx[2] = {int64_t(x0), int64_t(std::ceil(fx))};
                    const int64_t ty[2] = {int64_t(y0), int64_t(std::ceil(fy))};
                    float p[4][4] = {};
                    bool ok[4];
                    for (int k = 0; k < 4; ++k)
                        ok[k] = fetchPixel(level, p[k], tx[k & 1], ty[k >> 1], channel, mode, mode);
                    const float a = float(fx - x0), b = float(fy - y0);
                    const float w[4] = {float(ok[0]) * (1.0f - b) * (1.0f - a), float(ok[1]) * (1.0f - b) * a,
                                        float(ok[2]) * b * (1.0f - a), float(ok[3]) * b * a};
                    float expected[4] = {};
                    for (int i = 0; i < 3; ++i)
                        expected[i] = w[0] * p[0][i] + w[1] * p[1][i] + w[2] * p[2][i] + w[3] * p[3][i];
                    const float coverage = (ok[0] || ok[1] || ok[2] || ok[3]) ? w[0] + w[1] + w[2] + w[3] : 0.0f;

                    const double uv[2] = {(fx + 0.5) / level.width(), (fy + 0.5) / level.height()};
                    float out[4], s;
                    const float c = sampleImage(image.get(), uv, 0, 0, 0, out, &s, mode, mode);
                    // The uv round trip may move the position by an ulp;
                    // compare at the position the sampler actually used.
                    const double ux = level.width() * uv[0] - 0.5, uy = level.height() * uv[1] - 0.5;
                    if (ux != fx || uy != fy) continue;
                    if (c != coverage || (coverage != 0 && (out[0] != expected[0] || out[1] != expected[1] ||
                                                            out[2] != expected[2])))
                        ++mismatches;
                }
            EXPECT_EQ(mismatches, 0u) << "cell type " << cellType << ", edge mode " << mode;
        }
    }
}

TEST(Sampler, BlendMixesTheTwoLevels) {
    auto image = coretest::patternImage(2048, 2048, 1);  // 4 levels
    ASSERT_EQ(image->levelCount(), 4);
    const double uv[2] = {0.3, 0.7};
    const int tile = std::min(image->tileWidth(), image->tileHeight());
    float lo[4], hi[4], mixed[4];
    float s;
    // Exactly at levels 1 and 2, then halfway with a blend over the whole step.
    sampleImage(image.get(), uv, std::pow(2.0, -1.01) / tile, 0, 0, lo, &s, 0, 0);
    sampleImage(image.get(), uv, std::pow(2.0, -2.01) / tile, 0, 0, hi, &s, 0, 0);
    sampleImage(image.get(), uv, std::pow(2.0, -1.5) / tile, 1, 0, mixed, &s, 0, 0);
    EXPECT_NEAR(mixed[0], 0.5 * lo[0] + 0.5 * hi[0], 1e-6);
    // Without blending the same footprint reads the coarser level only.
    sampleImage(image.get(), uv, std::pow(2.0, -1.5) / tile, 0, 0, mixed, &s, 0, 0);
    EXPECT_FLOAT_EQ(mixed[0], lo[0]);
    EXPECT_EQ(image->levelIfPresent(3), nullptr);  // never needed
}

// The gradient entry takes four bilinear scalar samples at fx ± 0.75 and
// fy ± 0.75; its coverage is the mean of the two axes' mean coverages. On a
// ramp of x + 2y in a 64 × 64 level (c = 63, the tiles hold 0 … 62) the
// expected values follow from where each edge mode puts the outside taps:
// Repeat takes −1 to 0, −2 to 62, 63 to 0, 64 to 1 and 65 to 2; Mirror takes
// −1 to 1, −2 to 2, 63 and 64 to 62 and 65 to 61; Edge takes all to 0 or 62.
TEST(Sampler, GradientOfARampInsideAndAtEdgesAndCorners) {
    auto image = coretest::patternImage(64, 64, 1, [](int x, int y, int) { return x + 2 * y; });
    ASSERT_EQ(image->levelCount(), 1);
    const struct {
        const char* where;
        double fx, fy;  // level position of the sample
        int hmode, vmode;
        float coverage;
        double dx, dy;  // in steps of one 8-bit level
    } cases[] = {
        {"inside", 20, 30, kEdgeReset, kEdgeReset, 1, 1.5, 3},
        {"inside", 20, 30, kEdgeMirror, kEdgeRepeat, 1, 1.5, 3},
        {"left edge", -0.5, 30, kEdgeReset, kEdgeReset, 0.5f, 60.25, 1.5},
        {"left edge", -0.5, 30, kEdgeRepeat, kEdgeReset, 1, -15.25, 3},
        {"left edge", -0.5, 30, kEdgeMirror, kEdgeReset, 1, -1, 3},
        {"left edge", -0.5, 30, kEdgeClamp, kEdgeReset, 1, 0.25, 3},
        {"right edge", 63.5, 30, kEdgeReset, kEdgeReset, 0.0625f, -30.5, 0},
        {"right edge", 63.5, 30, kEdgeRepeat, kEdgeReset, 1, -14.25, 3},
        {"right edge", 63.5, 30, kEdgeMirror, kEdgeReset, 1, -0.25, 3},
        {"right edge", 63.5, 30, kEdgeClamp, kEdgeReset, 1, 0, 3},
        {"top left corner", -0.5, -0.5, kEdgeReset, kEdgeReset, 0.25f, 0.125, 0.25},
        {"top left corner", -0.5, -0.5, kEdgeReset, kEdgeClamp, 0.5f, 0.25, 0.25},
        {"top left corner", -0.5, -0.5, kEdgeClamp, kEdgeReset, 0.5f, 0.125, 0.5},
        {"bottom right corner", 63.5, 63.5, kEdgeRepeat, kEdgeMirror, 1, -14.25, -0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.where) + ", modes " + std::to_string(c.hmode) + " " + std::to_string(c.vmode));
        const double uv[2] = {(c.fx + 0.5) / 64, (c.fy + 0.5) / 64};
        float dx = 99, dy = 99;
        EXPECT_EQ(sampleGradient(image.get(), uv, 0, 0, 0, &dx, &dy, c.hmode, c.vmode), c.coverage);
        EXPECT_NEAR(dx, c.dx / 255, 1e-6);
        EXPECT_NEAR(dy, c.dy / 255, 1e-6);
    }
}

// The gradient reads its four taps from one tile when they all fall in it;
// dx, dy and coverage must stay bit for bit those of four bilinear mixes of
// fetched pixels, on tile seams, at the edges and beyond, in every mode.
TEST(Sampler, GradientEqualsFourBilinearTapsBitForBit) {
    for (int cellType : {kCell8, kCell16, kCell32}) {
        auto image = coretest::patternImage(700, 500, 1, coretest::defaultPattern, cellType);
        const int top = image->levelCount() - 1;
        Level& level = image->level(top);
        const ChannelSpec& channel = *image->source()->channel(0);
        std::vector<double> xs, ys;
        for (int t = 0; t * image->tileWidth() <= level.width() + 1; ++t)
            for (double d : {-2.0, -1.6, -1.0, -0.5, -0.2, 0.0, 0.25, 0.8, 1.3})
                xs.push_back(t * image->tileWidth() + d);
        for (int t = 0; t * image->tileHeight() <= level.height() + 1; ++t)
            for (double d : {-1.75, -1.0, -0.3, 0.0, 0.75, 1.1})
                ys.push_back(t * image->tileHeight() + d);
        for (double x : {double(level.width()) - 3.1, double(level.width()) - 2.25, -0.6}) xs.push_back(x);
        for (double y : {double(level.height()) - 3.1, double(level.height()) - 2.25, -0.6}) ys.push_back(y);
        // One tap as the sampler mixes it: bilinear weights in float.
        const auto tap = [&](double fx, double fy, int mode, float* value) {
            const double x0 = std::floor(fx), y0 = std::floor(fy);
            const int64_t tx[2] = {int64_t(x0), int64_t(std::ceil(fx))};
            const int64_t ty[2] = {int64_t(y0), int64_t(std::ceil(fy))};
            float p[4][4] = {};
            bool ok[4];
            for (int k = 0; k < 4; ++k) ok[k] = fetchPixel(level, p[k], tx[k & 1], ty[k >> 1], channel, mode, mode);
            if (!(ok[0] || ok[1] || ok[2] || ok[3])) return *value = 0, 0.0f;
            const float a = float(fx - x0), b = float(fy - y0);
            const float w[4] = {float(ok[0]) * (1.0f - b) * (1.0f - a), float(ok[1]) * (1.0f - b) * a,
                                float(ok[2]) * b * (1.0f - a), float(ok[3]) * b * a};
            *value = w[0] * p[0][0] + w[1] * p[1][0] + w[2] * p[2][0] + w[3] * p[3][0];
            return w[0] + w[1] + w[2] + w[3];
        };
        for (int mode : {kEdgeReset, kEdgeRepeat, kEdgeMirror, kEdgeClamp}) {
            size_t compared = 0, mismatches = 0;
            for (double x : xs)
                for (double y : ys) {
                    const double uv[2] = {(x + 0.5) / level.width(), (y + 0.5) / level.height()};
                    const double fx = level.width() * uv[0] - 0.5, fy = level.height() * uv[1] - 0.5;
                    float s[4], c[4];
                    c[0] = tap(fx - 0.75, fy, mode, &s[0]);
                    c[1] = tap(fx + 0.75, fy, mode, &s[1]);
                    c[2] = tap(fx, fy - 0.75, mode, &s[2]);
                    c[3] = tap(fx, fy + 0.75, mode, &s[3]);
                    const float coverage = ((c[0] + c[1]) * 0.5f + (c[2] + c[3]) * 0.5f) * 0.5f;
                    float dx = 99, dy = 99;
                    const float got = sampleGradient(image.get(), uv, 0, 0, 0, &dx, &dy, mode, mode);
                    ++compared;
                    if (got != coverage || dx != s[1] - s[0] || dy != s[3] - s[2]) ++mismatches;
                }
            EXPECT_GT(compared, 100u);
            EXPECT_EQ(mismatches, 0u) << "cell type " << cellType << ", edge mode " << mode;
        }
    }
}

// Two levels are mixed in double precision and the result stored as float:
// values value_hi·w + value_lo·(1 − w), coverage (1 − w)·c + w·c2, and the
// gradient's coverage, dx and dy alike. Mixing in float gives other floats
// for some of these inputs; the test makes sure such inputs are among them.
TEST(Sampler, TwoLevelsAreBlendedInDoublePrecision) {
    auto image = coretest::patternImage(1100, 1000, 4);  // levels of 275, 550 and 1100 columns
    ASSERT_EQ(image->levelCount(), 3);
    const int tile = std::min(image->tileWidth(), image->tileHeight());
    auto inDouble = [](float lo, float hi, double w) { return static_cast<float>(hi * w + lo * (1 - w)); };
    auto inFloat = [](float lo, float hi, double w) {
        const float wf = static_cast<float>(w);
        return hi * wf + lo * (1.0f - wf);
    };
    // Near the edges in Reset mode the two levels cover different shares.
    const double places[] = {0.0003, 0.0011, 0.1234, 0.377, 0.5, 0.8123, 0.9988, 0.9989};
    int valuesWhereFloatDiffers = 0, coveragesWhereFloatDiffers = 0, gradientsWhereFloatDiffers = 0;
    for (double step : {0.3, 0.55, 0.8173}) {
        const double footprint = std::pow(2.0, -(1 + step)) / tile;
        const LevelChoice choice = chooseLevels(3, image->tileWidth(), image->tileHeight(), image->inverseMin(),
                                                footprint, 1);
        ASSERT_EQ(choice.lo, 1);
        ASSERT_EQ(choice.hi, 2);
        const double w = choice.weight;
        for (double u : places)
            for (double v : places) {
                SCOPED_TRACE("uv " + std::to_string(u) + " " + std::to_string(v) + ", weight " + std::to_string(w));
                const double uv[2] = {u, v};
                // Level 1 alone (no blending), level 2 alone (the finest), then mixed.
                float lo[4], hi[4], mixed[4], s;
                const float cLo = sampleImage(image.get(), uv, footprint, 0, 0, lo, &s, kEdgeReset, kEdgeReset);
                const float cHi = sampleImage(image.get(), uv, 0, 0, 0, hi, &s, kEdgeReset, kEdgeReset);
                const float c = sampleImage(image.get(), uv, footprint, 1, 0, mixed, &s, kEdgeReset, kEdgeReset);
                ASSERT_GT(cLo, 0.0f);
                ASSERT_GT(cHi, 0.0f);
                EXPECT_EQ(c, static_cast<float>((1 - w) * cLo + w * cHi));
                coveragesWhereFloatDiffers += inFloat(cLo, cHi, w) != inDouble(cLo, cHi, w);
                for (int i = 0; i < 4; ++i) {
                    EXPECT_EQ(mixed[i], inDouble(lo[i], hi[i], w)) << "band " << i;
                    valuesWhereFloatDiffers += inFloat(lo[i], hi[i], w) != inDouble(lo[i], hi[i], w);
                }

                float g[3][3];  // coverage, dx, dy of level 1, level 2, mixed
                g[0][0] = sampleGradient(image.get(), uv, footprint, 0, 7, &g[0][1], &g[0][2], kEdgeReset, kEdgeReset);
                g[1][0] = sampleGradient(image.get(), uv, 0, 0, 7, &g[1][1], &g[1][2], kEdgeReset, kEdgeReset);
                g[2][0] = sampleGradient(image.get(), uv, footprint, 1, 7, &g[2][1], &g[2][2], kEdgeReset, kEdgeReset);
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(g[2][k], static_cast<float>((1 - w) * g[0][k] + w * g[1][k])) << "part " << k;
                    gradientsWhereFloatDiffers += inFloat(g[0][k], g[1][k], w) != inDouble(g[0][k], g[1][k], w);
                }
            }
    }
    EXPECT_GT(valuesWhereFloatDiffers, 0);
    EXPECT_GT(coveragesWhereFloatDiffers, 0);
    EXPECT_GT(gradientsWhereFloatDiffers, 0);
}

TEST(Sampler, NullImageAndBadChannelLeaveOutputsAlone) {
    auto image = coretest::patternImage(64, 64, 1);
    const double uv[2] = {0.5, 0.5};
    float out[4] = {9, 9, 9, 9};
    float scalar = 9;
    EXPECT_EQ(sampleImage(nullptr, uv, 0, 0, 0, out, &scalar, 0, 0), 0.0f);
    EXPECT_EQ(sampleImage(image.get(), uv, 0, 0, 5, out, &scalar, 0, 0), 0.0f);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(scalar, 9);
}

TEST(Sampler, AnyCoordinateIsSafe) {
    auto image = coretest::patternImage(300, 300, 3);
    const double values[] = {1e300, -1e300, std::nan(""), INFINITY, -INFINITY, 1e12, -3.5};
    float out[4];
    float s, dx, dy;
    for (double u : values)
        for (int mode = 0; mode < 4; ++mode) {
            const double uv[2] = {u, 0.5};
            const float c = sampleImage(image.get(), uv, 0, 0.5, 0, out, &s, mode, mode);
            EXPECT_TRUE(c >= 0 && c <= 1) << u << " mode " << mode;
            sampleGradient(image.get(), uv, 0.01, 0.5, 0, &dx, &dy, mode, mode);
        }
}

// Render threads sample one image while its levels and tiles are created.
TEST(Sampler, ThreadsSampleWhileTilesAreCreated) {
    auto reference = coretest::patternImage(4000, 3000, 3);
    auto shared = coretest::patternImage(4000, 3000, 3);
    constexpr int kSamples = 4000;
    std::vector<std::array<double, 3>> points(kSamples);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0, 1), foot(0, 0.01);
    for (auto& p : points) p = {unit(rng), unit(rng), foot(rng)};
    std::vector<std::array<float, 5>> expected(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        float s = 0;
        expected[i][4] = sampleImage(reference.get(), points[i].data(), points[i][2], 0.5, 0, expected[i].data(), &s,
                                     kEdgeRepeat, kEdgeMirror);
    }
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < kSamples; ++k) {
                const int i = (k * 7 + t * 1000) % kSamples;
                float out[4];
                float s = 0;
                const float c = sampleImage(shared.get(), points[i].data(), points[i][2], 0.5, 0, out, &s,
                                            kEdgeRepeat, kEdgeMirror);
                if (c != expected[i][4] || out[0] != expected[i][0] || out[2] != expected[i][2]) ++mismatches;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(shared->memoryUsed(), reference->memoryUsed());
}

}  // namespace

namespace {

// A cell type without a tile store still covers the image; it has no values.
TEST(Sampler, LevelWithoutStoreCoversButHasNoValues) {
    auto image = coretest::patternImage(64, 64, 1, coretest::defaultPattern, korvalith::kCell32Float);
    const double uv[2] = {0.5, 0.5};
    float out[4] = {9, 9, 9, 9};
    float scalar = 9;
    EXPECT_FLOAT_EQ(korvalith::sampleImage(image.get(), uv, 0, 0, 0, out, &scalar, 0, 0), 1.0f);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(image->memoryUsed(), 1152u + 72u);
}

}  // namespace
