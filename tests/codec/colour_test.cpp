// From components to delivered bands: components subsampled alike cover
// their cells of the reference grid, channel definitions give the colour
// order, e-sYCC and CMYK become RGB exactly as OpenJPEG's decoder tool makes
// them, and embedded ICC profiles are reported but not applied.

#include "codec_test_support.h"
#include "jp2_boxes.h"

namespace korvalith::codec::test {
namespace {

namespace jp2 = testfiles::jp2;

// Writes a JP2 file around a codestream made by OpenJPEG.
fs::path wrap(const TempDir& dir, const std::string& name, const fs::path& codestream, const OpjSource& src,
              const std::vector<jp2::Bytes>& boxes) {
    const fs::path path = dir / name;
    const int bits = src.components[0].precision;
    testfiles::writeBytes(path.string(), jp2::file(readBytes(codestream),
                                                   jp2::imageHeader(src.width, src.height, int(src.components.size()), bits),
                                                   boxes));
    return path;
}

// The tool's sYCC conversion of one pixel (src/bin/common/color.c, sycc_to_rgb).
void toolSycc(int precision, int y, int cb, int cr, int rgb[3]) {
    const int offset = 1 << (precision - 1), upb = (1 << precision) - 1;
    cb -= offset;
    cr -= offset;
    rgb[0] = std::clamp(y + int(1.402 * float(cr)), 0, upb);
    rgb[1] = std::clamp(y - int(0.344 * float(cb) + 0.714 * float(cr)), 0, upb);
    rgb[2] = std::clamp(y + int(1.772 * float(cb)), 0, upb);
}

// Level pixels of a reference decode at reduction r: each component sample
// repeated over its dx x dy cell of the level's grid.
int32_t onGrid(const RefComponent& c, int x, int y) {
    return c.at(std::min(x / c.dx, c.w - 1), std::min(y / c.dy, c.h - 1));
}

TEST(CodecColour, ComponentsSubsampledAlikeCoverTheirCellsOfTheReferenceGrid) {
    TempDir dir;
    struct Case {
        int components, d, tile;
        bool syccBox;
    };
    const Case cases[] = {
        {1, 2, 0, false}, {1, 4, 64, false}, {3, 2, 0, false}, {3, 4, 0, false},
        {3, 2, 64, false}, {3, 4, 64, true}, {3, 2, 0, true},
    };
    for (const Case& c : cases) {
        // Even sizes, and the odd grid of (n - 1) d + 1 pixels that
        // opj_compress -s writes.
        for (int width : {204, 4 * 50 + 1}) {
            const int height = width == 204 ? 152 : 4 * 37 + 1;
            SCOPED_TRACE(std::to_string(c.components) + " components of " + std::to_string(c.d) + " x " +
                         std::to_string(c.d) + ", tiles " + std::to_string(c.tile) + (c.syccBox ? ", sYCC" : "") +
                         ", " + std::to_string(width) + " x " + std::to_string(height));
            OpjSource src;
            src.width = width;
            src.height = height;
            src.components.assign(size_t(c.components), sampled(c.d, c.d));
            src.tile = c.tile;
            src.levels = 2;
            src.sample = [](int comp, int x, int y) { return (x * 5 + y * 3 + comp * 70 + (x * y) % 13) & 255; };
            const fs::path codestream = dir / "sub.j2k";
            ASSERT_TRUE(opjEncode(codestream, src));
            const fs::path path = c.syccBox ? wrap(dir, "sub.jp2", codestream, src, {jp2::enumeratedColour(18)})
                                            : codestream;

            auto file = File::open(path.string());
            ASSERT_TRUE(file);
            ASSERT_EQ(file->info().width, width);
            ASSERT_EQ(file->info().height, height);
            ASSERT_EQ(file->info().bands, c.components);
            // The whole image at full resolution and at the reduced levels:
            // output pixel i takes level pixel i W / (w 2^r).
            for (int r = 0; r <= 2; ++r) {
                SCOPED_TRACE("reduction " + std::to_string(r));
                RefImage ref;
                ASSERT_TRUE(opjDecode(codestream, r, ref));
                const int w = width >> r, h = height >> r;
                ViewPixels<uint8_t> got;
                ASSERT_EQ(readView(*file, w, h, 0, 0, width - 1, height - 1, got), Status::Ok) << file->lastError();
                for (int j = 0; j < h; ++j)
                    for (int i = 0; i < w; ++i) {
                        const int x = i * width / (w << r), y = j * height / (h << r);
                        int want[3];
                        for (int b = 0; b < c.components; ++b) want[b] = onGrid(ref.comps[size_t(b)], x, y);
                        if (c.syccBox) toolSycc(8, want[0], want[1], want[2], want);
                        for (int b = 0; b < c.components; ++b)
                            ASSERT_EQ(got.at(b, i, j), want[b]) << "band " << b << " at " << i << "," << j;
                    }
            }
            // A window that starts and ends inside cells.
            RefImage ref;
            ASSERT_TRUE(opjDecode(codestream, 0, ref));
            const int x0 = 37, y0 = 23, x1 = 150, y1 = 101;
            ViewPixels<uint8_t> got;
            ASSERT_EQ(readView(*file, x1 - x0 + 1, y1 - y0 + 1, x0, y0, x1, y1, got), Status::Ok) << file->lastError();
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    int want[3];
                    for (int b = 0; b < c.components; ++b) want[b] = onGrid(ref.comps[size_t(b)], x, y);
                    if (c.syccBox) toolSycc(8, want[0], want[1], want[2], want);
                    for (int b = 0; b < c.components; ++b)
                        ASSERT_EQ(got.at(b, x - x0, y - y0), want[b]) << "band " << b << " at " << x << "," << y;
                }
        }
    }
}

// Three components written by OpenJPEG, 8 bits each, every one different.
OpjSource distinctComponents(int count, int precision = 8) {
    OpjSource src;
    src.width = 96;
    src.height = 64;
    src.components.assign(size_t(count), sampled(1, 1, precision));
    src.tile = 32;
    src.levels = 2;
    const int top = (1 << precision) - 1;
    src.sample = [top](int c, int x, int y) { return (x * (c + 1) * 3 + y * (7 - c) + c * 41) % (top + 1); };
    return src;
}

TEST(CodecColour, ChannelDefinitionsDeliverColourOrder) {
    TempDir dir;
    struct Case {
        const char* what;
        int components;
        std::vector<jp2::ChannelDefinition> definitions;
        std::vector<int> componentOfBand;
    };
    const Case cases[] = {
        {"third colour first", 3, {{0, 0, 3}, {1, 0, 2}, {2, 0, 1}}, {2, 1, 0}},
        {"definitions listed out of order", 3, {{2, 0, 1}, {0, 0, 3}, {1, 0, 2}}, {2, 1, 0}},
        {"colours rotated", 3, {{0, 0, 2}, {1, 0, 3}, {2, 0, 1}}, {2, 0, 1}},
        {"opacity stored first", 4, {{0, 1, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}}, {1, 2, 3, 0}},
        {"opacity between reversed colours", 4, {{0, 0, 3}, {1, 1, 0}, {2, 0, 2}, {3, 0, 1}}, {3, 2, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpjSource src = distinctComponents(c.components);
        const fs::path codestream = dir / "cdef.j2k";
        ASSERT_TRUE(opjEncode(codestream, src));
        const fs::path path =
            wrap(dir, "cdef.jp2", codestream, src, {jp2::enumeratedColour(16), jp2::channelDefinitions(c.definitions)});
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        ASSERT_EQ(file->info().bands, c.components);
        for (int r : {0, 1}) {
            SCOPED_TRACE("reduction " + std::to_string(r));
            RefImage ref;
            ASSERT_TRUE(opjDecode(codestream, r, ref));
            const int w = src.width >> r, h = src.height >> r;
            ViewPixels<uint8_t> got;
            ASSERT_EQ(readView(*file, w, h, 0, 0, src.width - 1, src.height - 1, got), Status::Ok)
                << file->lastError();
            for (int b = 0; b < c.components; ++b)
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(got.at(b, x, y), ref.comps[size_t(c.componentOfBand[size_t(b)])].at(x, y))
                            << "band " << b << " at " << x << "," << y;
        }
    }
}

// color_esycc_to_rgb of OpenJPEG's tool, for one pixel: Cb and Cr as stored
// when signed, else less half the range; float arithmetic, + 0.5, truncated.
void toolEsycc(int precision, int y, int cb, int cr, bool cbSigned, bool crSigned, int rgb[3]) {
    const int flip = 1 << (precision - 1), max = (1 << precision) - 1;
    if (!cbSigned) cb -= flip;
    if (!crSigned) cr -= flip;
    const float v[3] = {
        float(y) - float(0.0000368) * float(cb) + float(1.40199) * float(cr) + float(0.5),
        float(1.0003) * float(y) - float(0.344125) * float(cb) - float(0.7141128) * float(cr) + float(0.5),
        float(0.999823) * float(y) + float(1.77204) * float(cb) - float(0.000008) * float(cr) + float(0.5),
    };
    for (int i = 0; i < 3; ++i) rgb[i] = std::clamp(int(v[i]), 0, max);
}

// color_cmyk_to_rgb of OpenJPEG's tool: 8-bit R, G, B from the inverted,
// scaled C, M, Y and K.
void toolCmyk(const int cmyk[4], const int precision[4], int rgb[3]) {
    float v[4];
    for (int i = 0; i < 4; ++i) v[i] = 1.0F - float(cmyk[i]) * (1.0F / float((1 << precision[i]) - 1));
    for (int i = 0; i < 3; ++i) rgb[i] = int(255.0F * v[i] * v[3]);
}

TEST(CodecColour, EsyccBecomesRgbAsOpenJpegsToolMakesIt) {
    TempDir dir;
    for (bool chromaSigned : {false, true}) {
        SCOPED_TRACE(chromaSigned ? "signed chroma" : "unsigned chroma");
        OpjSource src = distinctComponents(3);
        src.components[1].isSigned = src.components[2].isSigned = chromaSigned;
        // Chroma across its whole range, so the conversion clamps at both ends.
        src.sample = [chromaSigned](int c, int x, int y) {
            if (c == 0) return (x * 3 + y * 2) % 256;
            const int v = (x * (c == 1 ? 7 : 5) + y * (c == 1 ? 3 : 11)) % 256;
            return chromaSigned ? v - 128 : v;
        };
        const fs::path codestream = dir / "esycc.j2k";
        ASSERT_TRUE(opjEncode(codestream, src));
        const fs::path path = wrap(dir, "esycc.jp2", codestream, src, {jp2::enumeratedColour(24)});
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        ASSERT_EQ(file->info().bands, 3);
        EXPECT_FALSE(file->info().isSigned);
        RefImage ref;
        ASSERT_TRUE(opjDecode(codestream, 0, ref));
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, src.width, src.height, 0, 0, src.width - 1, src.height - 1, got), Status::Ok);
        int clamped = 0;
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                int rgb[3];
                toolEsycc(8, ref.comps[0].at(x, y), ref.comps[1].at(x, y), ref.comps[2].at(x, y), chromaSigned,
                          chromaSigned, rgb);
                for (int b = 0; b < 3; ++b) {
                    clamped += rgb[b] == 0 || rgb[b] == 255;
                    ASSERT_EQ(got.at(b, x, y), rgb[b]) << "band " << b << " at " << x << "," << y;
                }
            }
        EXPECT_GT(clamped, 0);
    }
}

TEST(CodecColour, CmykBecomesThreeRgbBandsAsOpenJpegsToolMakesThem) {
    TempDir dir;
    struct Case {
        int precision;
        bool opacity;  // a fifth component, defined as opacity
    };
    for (Case c : {Case{8, false}, Case{12, false}, Case{8, true}}) {
        SCOPED_TRACE(std::to_string(c.precision) + " bits" + (c.opacity ? " with opacity" : ""));
        const OpjSource src = distinctComponents(c.opacity ? 5 : 4, c.precision);
        const fs::path codestream = dir / "cmyk.j2k";
        ASSERT_TRUE(opjEncode(codestream, src));
        std::vector<jp2::Bytes> boxes = {jp2::enumeratedColour(12)};
        if (c.opacity)
            boxes.push_back(jp2::channelDefinitions({{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 0, 4}, {4, 1, 0}}));
        const fs::path path = wrap(dir, "cmyk.jp2", codestream, src, boxes);
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        const FileInfo& info = file->info();
        ASSERT_EQ(info.bands, c.opacity ? 4 : 3);
        EXPECT_EQ(info.precision, 8);
        EXPECT_EQ(info.cellType, c.opacity && c.precision > 8 ? 1 : 0);
        RefImage ref;
        ASSERT_TRUE(opjDecode(codestream, 0, ref));
        ViewPixels<int16_t> got;
        ASSERT_EQ(readView(*file, src.width, src.height, 0, 0, src.width - 1, src.height - 1, got), Status::Ok);
        const int precision[4] = {c.precision, c.precision, c.precision, c.precision};
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                const int cmyk[4] = {ref.comps[0].at(x, y), ref.comps[1].at(x, y), ref.comps[2].at(x, y),
                                     ref.comps[3].at(x, y)};
                int rgb[3];
                toolCmyk(cmyk, precision, rgb);
                for (int b = 0; b < 3; ++b)
                    ASSERT_EQ(got.at(b, x, y), normalised(rgb[b], 8, false, 32767)) << "band " << b << " at " << x << "," << y;
                if (c.opacity) {
                    ASSERT_EQ(got.at(3, x, y), normalised(ref.comps[4].at(x, y), c.precision, false, 32767));
                }
            }
    }
}

TEST(CodecColour, EmbeddedIccProfilesAreReportedAndNotApplied) {
    TempDir dir;
    const OpjSource src = distinctComponents(3);
    const fs::path codestream = dir / "icc.j2k";
    ASSERT_TRUE(opjEncode(codestream, src));
    const jp2::Bytes profile(560, 0x5A);
    struct Case {
        const char* what;
        std::vector<jp2::Bytes> boxes;
        bool icc;
        uint32_t bytes;
    };
    const Case cases[] = {
        {"ICC profile", {jp2::iccColour(profile)}, true, 560},
        {"enumerated sRGB", {jp2::enumeratedColour(16)}, false, 0},
        {"ICC profile after an enumerated space", {jp2::enumeratedColour(16), jp2::iccColour(profile)}, false, 0},
    };
    RefImage ref;
    ASSERT_TRUE(opjDecode(codestream, 0, ref));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path path = wrap(dir, "icc.jp2", codestream, src, c.boxes);
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        EXPECT_EQ(file->info().hasIccProfile, c.icc);
        EXPECT_EQ(file->info().iccProfileBytes, c.bytes);
        ViewPixels<uint8_t> got;
        ASSERT_EQ(readView(*file, src.width, src.height, 0, 0, src.width - 1, src.height - 1, got), Status::Ok);
        for (int b = 0; b < 3; ++b)
            for (int y = 0; y < src.height; ++y)
                for (int x = 0; x < src.width; ++x) ASSERT_EQ(got.at(b, x, y), ref.comps[size_t(b)].at(x, y));
    }
    auto raw = File::open(codestream.string());
    ASSERT_TRUE(raw);
    EXPECT_FALSE(raw->info().hasIccProfile);
}

}  // namespace
}  // namespace korvalith::codec::test
