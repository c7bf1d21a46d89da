#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "colour_correction.h"

namespace {

using korvalith::SimpleColourCorrection;

struct Settings {
    double brightness = 1, contrast = 1, hue = 0, saturation = 1, gamma = 1;
    bool invert = false;
};

// A correction with cached values only (no host parameters behind them).
void apply(SimpleColourCorrection& c, const Settings& s) {
    c.brightness.setValue(s.brightness);
    c.contrast.setValue(s.contrast);
    c.hue.setValue(s.hue);
    c.saturation.setValue(s.saturation);
    c.gamma.setValue(s.gamma);
    c.invert = s.invert;
    c.updateCorrection(0);
}

TEST(ColourCorrection, ScalarCases) {
    struct Case {
        const char* what;
        Settings settings;
        float in, out;
    } cases[] = {
        {"neutral", {}, 0.37f, 0.37f},
        {"brightness halves", {0.5, 1, 0, 1, 1, false}, 0.8f, 0.4f},
        {"contrast 2 low", {1, 2, 0, 1, 1, false}, 0.25f, 0.0f},
        {"contrast 2 high", {1, 2, 0, 1, 1, false}, 0.75f, 1.0f},
        {"contrast does not clamp", {1, 2, 0, 1, 1, false}, 1.0f, 1.5f},
        {"gamma 2", {1, 1, 0, 1, 2, false}, 0.25f, 0.5f},
        {"invert", {1, 1, 0, 1, 1, true}, 0.25f, 0.75f},
        {"hue and saturation leave scalars", {1, 1, 1.0, 0.2, 1, false}, 0.6f, 0.6f},
    };
    for (const auto& c : cases) {
        SimpleColourCorrection cc;
        apply(cc, c.settings);
        EXPECT_FLOAT_EQ(cc.correctScalar(c.in), c.out) << c.what;
    }
}

TEST(ColourCorrection, ColourCases) {
    struct Case {
        const char* what;
        Settings settings;
        float in[3], out[3];
    } cases[] = {
        {"neutral", {}, {0.2f, 0.5f, 0.9f}, {0.2f, 0.5f, 0.9f}},
        {"hue 60 degrees turns red yellow", {1, 1, 3.14159265358979 / 3, 1, 1, false}, {1, 0, 0}, {1, 1, 0}},
        {"brightness halves the value", {0.5, 1, 0, 1, 1, false}, {0.8f, 0.4f, 0.2f}, {0.4f, 0.2f, 0.1f}},
        {"saturation 0 gives grey of the value", {1, 1, 0, 0, 1, false}, {0.8f, 0.4f, 0.2f}, {0.8f, 0.8f, 0.8f}},
        {"gamma per component", {1, 1, 0, 1, 2, false}, {0.25f, 0.04f, 1}, {0.5f, 0.2f, 1}},
        {"invert", {1, 1, 0, 1, 1, true}, {0.25f, 0, 1}, {0.75f, 1, 0}},
        {"black stays black", {1, 1, 1.0, 2, 1, false}, {0, 0, 0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SimpleColourCorrection cc;
        apply(cc, c.settings);
        float rgb[3] = {c.in[0], c.in[1], c.in[2]};
        cc.correctColour(rgb);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], c.out[i], 2e-6f) << c.what << " component " << i;
    }
}

// (0.8, 0.5, 0.4) has value 0.8, saturation 0.5 and a hue a quarter into
// sector 0, so a shift of k · 60° lands a quarter into sector k, where
// p = 0.4, q = 0.8 (1 − 0.5 · 0.25) = 0.7 and t = 0.8 (1 − 0.5 · 0.75) = 0.5
// are all different and a sector mixed up with another shows.
TEST(ColourCorrection, HueShiftsReachEverySector) {
    constexpr double sixth = 3.14159265358979 / 3;
    struct Case {
        const char* what;
        double hue;
        float out[3];
    } cases[] = {
        {"sector 1: (q, v, p)", 1 * sixth, {0.7f, 0.8f, 0.4f}},
        {"sector 2: (p, v, t)", 2 * sixth, {0.4f, 0.8f, 0.5f}},
        {"sector 3: (p, q, v)", 3 * sixth, {0.4f, 0.7f, 0.8f}},
        {"sector 4: (t, p, v)", 4 * sixth, {0.5f, 0.4f, 0.8f}},
        {"sector 5: (v, p, q)", 5 * sixth, {0.8f, 0.4f, 0.7f}},
        {"a whole turn wraps to sector 0: (v, t, p)", 6 * sixth, {0.8f, 0.5f, 0.4f}},
        {"a negative shift wraps to sector 5", -1 * sixth, {0.8f, 0.4f, 0.7f}},
    };
    for (const auto& c : cases) {
        SimpleColourCorrection cc;
        apply(cc, {1, 1, c.hue, 1, 1, false});
        float rgb[3] = {0.8f, 0.5f, 0.4f};
        cc.correctColour(rgb);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], c.out[i], 2e-6f) << c.what << " component " << i;
    }
}

// A hue a hair below zero wraps to just under a whole turn, which single
// precision rounds to exactly six sectors: that is sector 0 again, so
// (0.8, 0.4, 0.4) stays as it is and does not turn magenta.
TEST(ColourCorrection, AHueJustBelowZeroKeepsTheColour) {
    SimpleColourCorrection cc;
    apply(cc, {1, 1, -1e-7, 1, 1, false});
    float rgb[3] = {0.8f, 0.4f, 0.4f};
    cc.correctColour(rgb);
    EXPECT_NEAR(rgb[0], 0.8f, 1e-6f);
    EXPECT_NEAR(rgb[1], 0.4f, 1e-6f);
    EXPECT_NEAR(rgb[2], 0.4f, 1e-6f);
}

// A hue of many turns is brought into one turn in a single step, so the
// colour keeps its value and saturation: (0.9, 0.3, 0.1) has value 0.9 and
// saturation 8/9, so its largest component stays 0.9 and its smallest 0.1.
// A hue that is infinite or not a number gives no angle at all: the result
// is the colour's value and saturation at hue 0, red.
TEST(ColourCorrection, HugeHuesKeepValueAndSaturationAndInvalidOnesGiveRed) {
    for (double hue : {1e7, -3e8, 1e30, -1e30}) {
        SimpleColourCorrection cc;
        apply(cc, {1, 1, hue, 1, 1, false});
        float rgb[3] = {0.9f, 0.3f, 0.1f};
        cc.correctColour(rgb);
        EXPECT_NEAR(std::max({rgb[0], rgb[1], rgb[2]}), 0.9f, 1e-6f) << hue;
        EXPECT_NEAR(std::min({rgb[0], rgb[1], rgb[2]}), 0.1f, 1e-6f) << hue;
    }
    for (double hue : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        SimpleColourCorrection cc;
        apply(cc, {1, 1, hue, 1, 1, false});
        float rgb[3] = {0.9f, 0.3f, 0.1f};
        cc.correctColour(rgb);
        const float red[3] = {0.9f, 0.1f, 0.1f};
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], red[i], 1e-6f) << hue << " component " << i;
    }
}

TEST(ColourCorrection, ResetKeepsInvertAndMarksChanged) {
    SimpleColourCorrection cc;
    apply(cc, {0.3, 2, 1, 0.5, 3, true});
    cc.clearChanged();
    cc.resetCorrection();
    EXPECT_TRUE(cc.changed());
    cc.updateCorrection(0);
    EXPECT_FALSE(cc.adjustActive);
    EXPECT_FALSE(cc.gammaActive);
    EXPECT_TRUE(cc.invert);
    EXPECT_FLOAT_EQ(cc.correctScalar(0.25f), 0.75f);
}

TEST(ColourCorrection, CopyTakesSettingsAndFlags) {
    SimpleColourCorrection a, b;
    apply(a, {0.5, 1, 0, 1, 2, true});
    b.copyFrom(a);
    EXPECT_TRUE(b.adjustActive);
    EXPECT_TRUE(b.gammaActive);
    EXPECT_TRUE(b.invert);
    EXPECT_DOUBLE_EQ(b.brightness.x(), 0.5);
    b.updateCorrection(0);
    EXPECT_FLOAT_EQ(b.correctScalar(0.8f), a.correctScalar(0.8f));
}

}  // namespace
