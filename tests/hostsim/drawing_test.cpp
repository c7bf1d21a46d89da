#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "canvas.h"
#include "host.h"
#include "lwserver.h"
#include "lwxpanel.h"

namespace {

using hostsim::Canvas;
using hostsim::Rgb;

class Drawing : public ::testing::Test {
protected:
    const LWXPDrawFuncs* draw() {
        auto* xp = static_cast<const LWXPanelFuncs*>(hostsim::Host::lookupFunction()(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        return xp ? xp->drawf : nullptr;
    }
    hostsim::Host host;
    Canvas canvas{40, 30};
};

TEST_F(Drawing, BoxesAndPixelsClipToTheCanvasAndClampTheirColours) {
    ASSERT_NE(draw(), nullptr);
    EXPECT_EQ(canvas.count({0, 0, 0}), 40 * 30) << "a canvas starts black";
    draw()->drawRGBBox(canvas.area(), 300, 128, -5, 30, 20, 100, 100);  // runs off two edges
    EXPECT_EQ(canvas.count({255, 128, 0}), 10 * 10);
    EXPECT_EQ(canvas.pixel(30, 20), (Rgb{255, 128, 0}));
    EXPECT_EQ(canvas.pixel(29, 20), (Rgb{0, 0, 0}));

    draw()->drawRGBBox(canvas.area(), 1, 2, 3, -10, -10, 12, 11);  // runs off the other two
    EXPECT_EQ(canvas.count({1, 2, 3}), 2 * 1);
    draw()->drawRGBBox(canvas.area(), 9, 9, 9, 5, 5, 0, 10);  // empty
    draw()->drawRGBBox(canvas.area(), 9, 9, 9, 5, 5, -3, 10);
    draw()->drawRGBBox(canvas.area(), 9, 9, 9, 0x7ffffff0, 0x7ffffff0, 0x7fffffff, 0x7fffffff);
    EXPECT_EQ(canvas.count({9, 9, 9}), 0);

    draw()->drawRGBPixel(canvas.area(), 7, 8, 9, 39, 29);
    draw()->drawRGBPixel(canvas.area(), 7, 8, 9, 40, 0);
    draw()->drawRGBPixel(canvas.area(), 7, 8, 9, 0, -1);
    EXPECT_EQ(canvas.count({7, 8, 9}), 1);
    EXPECT_EQ(canvas.pixel(39, 29), (Rgb{7, 8, 9}));
}

// The drawing functions take writable text, as the SDK declares them.
char kDate[] = "Aug 18", kEmpty[] = "", kX[] = "x", kVersion[] = "V1.0", kOdd[] = "\x01\xc3\xa9~";

TEST_F(Drawing, PaletteColoursDrawPixelsBoxesAndLines) {
    const int ink = 4137;
    const Rgb colour = hostsim::paletteColour(ink);
    draw()->drawPixel(canvas.area(), ink, 39, 29);
    draw()->drawPixel(canvas.area(), ink, 40, 29);  // off the canvas
    EXPECT_EQ(canvas.pixel(39, 29), colour);
    EXPECT_EQ(canvas.count(colour), 1);
    draw()->drawBox(canvas.area(), ink, 35, 25, 10, 10);  // clipped to 5 x 5
    EXPECT_EQ(canvas.count(colour), 25);

    // Lines include both ends, run in either direction and clip.
    struct Case {
        int x, y, x2, y2;
        long pixels;
        std::vector<std::pair<int, int>> on;
    } cases[] = {
        {0, 0, 9, 0, 10, {{0, 0}, {9, 0}}},
        {9, 3, 0, 3, 10, {{0, 3}, {9, 3}}},
        {2, 2, 2, 2, 1, {{2, 2}}},
        {0, 0, 5, 5, 6, {{0, 0}, {3, 3}, {5, 5}}},
        {0, 0, 6, 3, 7, {{0, 0}, {6, 3}}},
        {-5, 10, 44, 10, 40, {{0, 10}, {39, 10}}},
        {-100, -100, -1, 50, 0, {}},
        {0, -2000000000, 0, 2000000000, 30, {{0, 0}, {0, 29}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " to " << c.x2 << "," << c.y2);
        Canvas lines(40, 30);
        draw()->drawLine(lines.area(), ink, c.x, c.y, c.x2, c.y2);
        EXPECT_EQ(lines.count(colour), c.pixels);
        for (auto [x, y] : c.on) EXPECT_EQ(lines.pixel(x, y), colour) << x << "," << y;
    }
}

TEST_F(Drawing, BordersAreIndentThickAndDividersHaveNoHeight) {
    Canvas box(20, 20);
    draw()->drawBorder(box.area(), 2, 2, 2, 10, 8);
    const Rgb inside = box.pixel(6, 6), light = box.pixel(2, 2), dark = box.pixel(11, 9);
    EXPECT_EQ(inside, (Rgb{0, 0, 0})) << "only the border is drawn";
    EXPECT_NE(light, dark);
    EXPECT_EQ(box.pixel(3, 3), light);
    EXPECT_EQ(box.pixel(4, 4), inside) << "two pixels thick";
    EXPECT_EQ(box.pixel(10, 8), dark);
    EXPECT_EQ(box.count(light) + box.count(dark), 10 * 8 - 6 * 4);

    Canvas divider(20, 10);
    draw()->drawBorder(divider.area(), 1, 0, 4, 20, 0);
    EXPECT_EQ(divider.count(dark), 20);
    EXPECT_EQ(divider.count(light), 20);
    EXPECT_EQ(divider.pixel(5, 4), dark);
    EXPECT_EQ(divider.pixel(5, 5), light);
    draw()->drawBorder(divider.area(), 0, 0, 0, 20, 10);  // no thickness: nothing
    draw()->drawBorder(divider.area(), 3, 0, 0, 20, -1);
    EXPECT_EQ(divider.count({0, 0, 0}), 20 * 10 - 40);
}

TEST_F(Drawing, TextIsRecordedDrawnInItsCellAndMeasuredWithFixedMetrics) {
    EXPECT_EQ(draw()->textWidth(canvas.area(), kDate), 6 * Canvas::kCharWidth);
    EXPECT_EQ(draw()->textWidth(canvas.area(), kEmpty), 0);
    EXPECT_EQ(draw()->textHeight(canvas.area(), kX), Canvas::kLineHeight);

    Canvas wide(100, 40);
    draw()->drawText(wide.area(), kVersion, 4137, 10, 5);
    ASSERT_EQ(wide.texts().size(), 1u);
    EXPECT_EQ(wide.texts()[0], (hostsim::DrawnText{"V1.0", 4137, 10, 5}));
    const Rgb ink = hostsim::paletteColour(4137);
    const long inked = wide.count(ink);
    EXPECT_GT(inked, 10);
    long inside = 0;
    for (int y = 5; y < 5 + Canvas::kLineHeight; ++y)
        for (int x = 10; x < 10 + 4 * Canvas::kCharWidth; ++x) inside += wide.pixel(x, y) == ink;
    EXPECT_EQ(inside, inked) << "glyphs stay inside their cells";

    // Characters without a glyph and text running off the canvas are safe.
    draw()->drawText(wide.area(), kOdd, 0, 90, 35);
    EXPECT_EQ(wide.texts().size(), 2u);
}

TEST_F(Drawing, HandlesThatAreNoLiveCanvasAreIgnored) {
    // The handle of a canvas that no longer exists, kept as a number so
    // that only its value is used.
    auto gone = std::make_unique<Canvas>(10, 10);
    volatile uintptr_t number = reinterpret_cast<uintptr_t>(gone->area());
    gone.reset();
    const auto stale = reinterpret_cast<LWXPDrAreaID>(number);
    draw()->drawRGBBox(stale, 1, 1, 1, 0, 0, 5, 5);
    draw()->drawRGBPixel(nullptr, 1, 1, 1, 0, 0);
    draw()->drawText(reinterpret_cast<LWXPDrAreaID>(&canvas + 1), kX, 0, 0, 0);
    draw()->drawLine(stale, 1, 0, 0, 5, 5);
    draw()->drawBorder(stale, 1, 0, 0, 5, 5);
    draw()->drawPixel(stale, 1, 0, 0);
    draw()->drawBox(stale, 1, 0, 0, 5, 5);
    EXPECT_EQ(Canvas::fromArea(stale), nullptr);
    EXPECT_EQ(Canvas::fromArea(canvas.area()), &canvas);
}

TEST_F(Drawing, CanvasesAreWrittenAsPngAndPpm) {
    canvas.fillBox(0, 0, 20, 30, {200, 10, 20});
    canvas.setPixel(39, 0, {1, 2, 3});
    const auto dir = std::filesystem::temp_directory_path();
    const std::string png = (dir / "korvalith_canvas_test.png").string();
    const std::string ppm = (dir / "korvalith_canvas_test.ppm").string();
    ASSERT_TRUE(canvas.writePNG(png));
    ASSERT_TRUE(canvas.writePPM(ppm));

    int w = 0, h = 0, n = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 40 * 30 * 3), canvas.rgb());
    stbi_image_free(pixels);

    std::ifstream in(ppm, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = "P6\n40 30\n255\n";
    ASSERT_EQ(all.size(), header.size() + 40 * 30 * 3);
    EXPECT_EQ(all.substr(0, header.size()), header);
    EXPECT_EQ(std::vector<uint8_t>(all.begin() + static_cast<long>(header.size()), all.end()), canvas.rgb());
    std::filesystem::remove(png);
    std::filesystem::remove(ppm);

    EXPECT_FALSE(canvas.writePPM((dir / "no_such_dir" / "x.ppm").string()));
}

}  // namespace
